#include "restore/FRestoreForm.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "db/ServerPath.h"
#include "logview/HistoryChoice.h"
#include "logview/ShowBackupLog.h"
#include "plan/DirDlg.h"
#include "plan/Help.h"
#include "platform/ErrorReport.h"
#include "restore/FInformaRestore.h"
#include "restore/RestoreLook.h"

using namespace restorelook;

namespace {

constexpr int kHelpContext = 2;

const QString kServerHint =
    QStringLiteral("Dirección IP del ordenador donde se encuentra la copia de seguridad");
const QString kBackupFileHint =
    QStringLiteral("Escriba el fichero (*.fbk) desde el que se restaurarán los datos");
const QString kTargetHint = QStringLiteral("Escriba la ruta y nombre del fichero que desea crear");
const QString kCompanyDatabase = QStringLiteral("Quillbase.orv");

FileChooserFunction& Chooser() {
    static FileChooserFunction chooser;
    return chooser;
}

// "*.fbk|*.fbk" (what the list shows, then the pattern) as Qt writes a filter.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2 || parts.at(0) == parts.at(1)) return parts.value(0);
    return parts.at(0) + QStringLiteral(" (") + parts.at(1) + u')';
}

std::optional<QString> ShowOpenDialog(QWidget* owner, const TOpenDialog& dialog) {
    QFileDialog chooser(owner);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilter(QtFilter(dialog.Filter));
    chooser.setDefaultSuffix(dialog.DefaultExt);
    if (!dialog.InitialDir.isEmpty() && QFileInfo(dialog.InitialDir).isDir())
        chooser.setDirectory(dialog.InitialDir);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chooser.selectedFiles().first());
}

// Everything up to and including the path's last separator; "" without one.
QString FolderPart(const QString& path) {
    const qsizetype last = path.lastIndexOf(serverpath::SeparatorOf(path));
    return last < 0 ? QString() : path.left(last + 1);
}

QLabel* Caption(QWidget* parent, const QString& name, const QString& text, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(BoldFont(11));
    label->setGeometry(place);
    return label;
}

QLineEdit* Field(QWidget* parent, const QString& name, const QRect& place) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(place);
    return edit;
}

// A coloured band with its white title.
QLabel* BandTitle(QWidget* parent, const QString& name, const QString& text, const QRect& band) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(BoldFont(11));
    Paint(label, Qt::white);
    label->setGeometry(band.adjusted(10, 0, 0, 0));
    return label;
}

}  // namespace

void SetFileChooser(FileChooserFunction chooser) { Chooser() = std::move(chooser); }

bool TOpenDialog::Execute(QWidget* owner) {
    const std::optional<QString> chosen =
        Chooser() ? Chooser()(owner, *this) : ShowOpenDialog(owner, *this);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

TRestoreForm::TRestoreForm(TData& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), data_(data) {
    setObjectName(QStringLiteral("RestoreForm"));
    setFont(NormalFont());
    BuildControls();
    setFixedSize(800, 456);
    FormCreate();
}

QToolButton* TRestoreForm::PictureButton(QWidget* parent, const QString& name,
                                         const QString& picture, const QString& hint,
                                         const QRect& place, int iconSize) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setGeometry(place);
    button->setIcon(Icon(picture, QSize(iconSize, iconSize)));
    button->setIconSize(QSize(iconSize, iconSize));
    button->setToolTip(hint);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TRestoreForm::BuildControls() {
    // The banner.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 800, 73);
    Panel1->setAutoFillBackground(true);
    QPalette navy = Panel1->palette();
    navy.setColor(QPalette::Window, QColor(0x0A, 0x2B, 0x55));
    Panel1->setPalette(navy);
    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(1, 1, 560, 71);
    Image2->setPixmap(Picture(QStringLiteral("banner"), QSize(560, 71)));
    Image3 = new QLabel(Panel1);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(561, 1, 238, 71);
    Image3->setPixmap(Picture(QStringLiteral("banner_fondo"), QSize(238, 71)));

    // The tool bar.
    Panel8 = new QWidget(this);
    Panel8->setObjectName(QStringLiteral("Panel8"));
    Panel8->setGeometry(0, 73, 800, 46);
    spRestore = PictureButton(Panel8, QStringLiteral("spRestore"), QStringLiteral("restaurar"),
                              QStringLiteral("Restaurar datos"), QRect(5, 4, 38, 38), 32);
    spAyuda = PictureButton(Panel8, QStringLiteral("spAyuda"), QStringLiteral("ayuda"),
                            QStringLiteral("Ayuda"), QRect(711, 4, 38, 38), 32);
    spSalir = PictureButton(Panel8, QStringLiteral("spSalir"), QStringLiteral("salir"),
                            QStringLiteral("Salir de esta pantalla"), QRect(759, 4, 38, 38), 32);

    // The choice from the log.
    Shape3 = new TShape(QColor(0xF2, 0xF6, 0xFB), kNavy, this);
    Shape3->setObjectName(QStringLiteral("Shape3"));
    Shape3->setGeometry(16, 130, 330, 40);
    Label4 = new QLabel(QStringLiteral("Seleccionar copia desde histórico"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(BoldFont(12));
    Paint(Label4, kNavy);
    Label4->setGeometry(28, 130, 260, 40);
    spLeerLog = PictureButton(this, QStringLiteral("spLeerLog"), QStringLiteral("historial"),
                              QString(), QRect(300, 134, 32, 32), 26);

    // Where the copy is.
    const QRect origin(16, 190, 768, 22);
    Shape1 = new TShape(kGreenBand, QColor(), this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(origin);
    Label8 = BandTitle(this, QStringLiteral("Label8"), QStringLiteral("ORIGEN"), origin);
    Label3 = Caption(this, QStringLiteral("Label3"), QStringLiteral("Dirección IP"),
                     QRect(28, 222, 90, 21));
    Edit3 = Field(this, QStringLiteral("Edit3"), QRect(120, 222, 145, 21));
    Label1 =
        Caption(this, QStringLiteral("Label1"), QStringLiteral("Fichero "), QRect(28, 252, 90, 21));
    Edit1 = Field(this, QStringLiteral("Edit1"), QRect(120, 252, 631, 21));
    spBuscar = PictureButton(this, QStringLiteral("spBuscar"), QStringLiteral("buscar"), QString(),
                             QRect(755, 250, 25, 25), 20);

    // Where it goes.
    const QRect target(16, 292, 768, 22);
    Shape2 = new TShape(kBlueBand, QColor(), this);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(target);
    Label9 = BandTitle(this, QStringLiteral("Label9"), QStringLiteral("DESTINO"), target);
    Label5 = Caption(this, QStringLiteral("Label5"), QStringLiteral("Dirección IP"),
                     QRect(28, 324, 90, 21));
    Edit4 = Field(this, QStringLiteral("Edit4"), QRect(120, 324, 145, 21));
    Edit4->setReadOnly(true);
    QPalette silver = Edit4->palette();
    silver.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    Edit4->setPalette(silver);
    Label2 = Caption(this, QStringLiteral("Label2"), QStringLiteral("Restaurar en"),
                     QRect(28, 354, 90, 21));
    Edit2 = Field(this, QStringLiteral("Edit2"), QRect(120, 354, 631, 21));
    spRestaurarEn = PictureButton(this, QStringLiteral("spRestaurarEn"), QStringLiteral("carpeta"),
                                  QString(), QRect(755, 352, 25, 25), 20);

    // The status line.
    st1 = new QLabel(this);
    st1->setObjectName(QStringLiteral("st1"));
    st1->setFont(BoldFont(11));
    st1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    st1->setGeometry(2, 430, 796, 24);

    // The server field comes first in the tab order.
    setTabOrder(Edit3, Edit1);
    setTabOrder(Edit1, Edit4);
    setTabOrder(Edit4, Edit2);

    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) edit->installEventFilter(this);

    connect(spRestore, &QToolButton::clicked, this, &TRestoreForm::spRestoreClick);
    connect(spAyuda, &QToolButton::clicked, this, &TRestoreForm::spAyudaClick);
    connect(spSalir, &QToolButton::clicked, this, &TRestoreForm::spSalirClick);
    connect(spLeerLog, &QToolButton::clicked, this, &TRestoreForm::spLeerLogClick);
    connect(spBuscar, &QToolButton::clicked, this, &TRestoreForm::spBuscarClick);
    connect(spRestaurarEn, &QToolButton::clicked, this, &TRestoreForm::spRestaurarEnClick);
}

void TRestoreForm::FormCreate() {
    st1->clear();
    UpdateBrowseButtons();
    Edit3->setFocus();
}

bool TRestoreForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate) deactivatedByRestore_ = restoreRunning_;
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

void TRestoreForm::FormActivate() {
    // The restore sets the six buttons itself; an activation during it, or
    // the one that comes back from its own windows after it, keeps them so.
    const bool fromRestore = restoreRunning_ || deactivatedByRestore_;
    deactivatedByRestore_ = false;
    if (fromRestore) return;
    platform::Guarded([this] { UpdateBrowseButtons(); });
}

bool TRestoreForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
            Edit3MouseEnter(watched);
            break;
        case QEvent::Leave:
            Edit3MouseLeave();
            break;
        case QEvent::FocusOut: {
            // Only a move to another control of this window leaves the
            // field; the window losing its activation does not.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (watched == Edit3 && reason != Qt::ActiveWindowFocusReason &&
                reason != Qt::PopupFocusReason)
                Edit3Exit();
            break;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void TRestoreForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        FormHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TRestoreForm::UpdateBrowseButtons() {
    const bool local = Edit3->text().compare(QStringLiteral("LOCAL"), Qt::CaseInsensitive) == 0;
    spBuscar->setEnabled(local);
    spRestaurarEn->setEnabled(local);
}

void TRestoreForm::Edit3Exit() {
    platform::Guarded([this] { Edit4->setText(Edit3->text()); });
}

void TRestoreForm::Edit3MouseEnter(QObject* field) {
    if (field == Edit3)
        st1->setText(kServerHint);
    else if (field == Edit1)
        st1->setText(kBackupFileHint);
    else if (field == Edit2)
        st1->setText(kTargetHint);
}

void TRestoreForm::Edit3MouseLeave() { st1->clear(); }

void TRestoreForm::spRestoreClick() {
    // The restore's error report is one of its own boxes too.
    restoreRunning_ = true;
    buttonsLockedByRun_ = false;
    platform::Guarded([this] {
        RunRestore(data_, RestoreRequest{Edit3->text(), Edit1->text(), Edit2->text()}, *this);
    });
    restoreRunning_ = false;
    // A run that ended before it began (a missing field, Cancel) left the
    // buttons alone, and its box's activation was skipped: the browse
    // buttons follow the server field now, as an activation would do.
    if (!buttonsLockedByRun_) platform::Guarded([this] { UpdateBrowseButtons(); });
}

void TRestoreForm::spAyudaClick() { FormHelp(); }

void TRestoreForm::FormHelp() {
    platform::Guarded([] { OpenHelp(kHelpContext); });
}

void TRestoreForm::spSalirClick() { done(QDialog::Accepted); }

void TRestoreForm::spLeerLogClick() {
    platform::Guarded([this] {
        ShowBackupLog(data_, 1, this);
        Edit3->setText(HistoryChoice.Server);
        Edit1->setText(HistoryChoice.BackupFile);
        Edit2->setText(HistoryChoice.TargetDatabase);
        Edit4->setText(HistoryChoice.Server);
        for (QLineEdit* edit : {Edit3, Edit1, Edit2, Edit4}) edit->setCursorPosition(0);
        UpdateBrowseButtons();
    });
}

void TRestoreForm::spBuscarClick() {
    platform::Guarded([this] {
        OpenDialog1.InitialDir = Edit1->text();
        OpenDialog1.Filter = QStringLiteral("*.fbk|*.fbk");
        OpenDialog1.DefaultExt = QStringLiteral("fbk");
        if (OpenDialog1.Execute(this)) Edit1->setText(OpenDialog1.FileName);
    });
}

void TRestoreForm::spRestaurarEnClick() {
    platform::Guarded([this] {
        QString folder;
        if (BrowseForFolder(QStringLiteral("Carpeta "), FolderPart(Edit2->text()), QString(),
                            folder))
            Edit2->setText(serverpath::Join(folder, kCompanyDatabase));
    });
}

bool TRestoreForm::ConfirmRestore(const RestoreRequest& request) {
    TInformaRestore confirmation(this);
    confirmation.Fill(request.Server, request.BackupFile, request.TargetDatabase);
    return confirmation.exec() != QDialog::Rejected;
}

void TRestoreForm::LockButtons() {
    buttonsLockedByRun_ = true;
    for (QToolButton* button : {spRestore, spSalir, spAyuda, spLeerLog, spBuscar, spRestaurarEn})
        button->setEnabled(false);
}

void TRestoreForm::ResetWindow() {
    for (QLineEdit* edit : {Edit3, Edit1, Edit4, Edit2}) edit->clear();
    Edit3->setFocus();
    for (QToolButton* button : {spRestore, spSalir, spAyuda, spLeerLog, spBuscar, spRestaurarEn})
        button->setEnabled(true);
}
