#include "logview/FViewErrorLog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <memory>

#include "backup/BackupLog.h"
#include "logview/LogPictures.h"

namespace {

const QString kDetailSelect = QStringLiteral(
    "select fecha,hora,servidor,empresa,destino,exito,observaciones from backuplog ");
const QString kDetailWhere = QStringLiteral(
    "where fecha = :fecha and hora = :hora and servidor = :servidor and empresa = :empresa");

// The designed client area; the observations and the button follow a larger
// window.
constexpr int kDesignWidth = 634;
constexpr int kDesignHeight = 362;
const QRect kMemoDesign(12, 198, 607, 113);
const QRect kButtonDesign(519, 322, 100, 28);

QFont WindowFont(int pixelSize = 11, bool bold = false) {
    // Tahoma, or a face of like width where it is not installed.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel* Caption(const QString& name, const QString& text, int left, int top, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* Field(const QString& name, int left, int top, int width, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    edit->setGeometry(left, top, width, 21);
    return edit;
}

QLabel* Banner(const QString& name, const QString& text, const QColor& colour, int left, int top,
               QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(WindowFont(22, true));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->move(left, top);
    label->adjustSize();
    label->hide();
    return label;
}

QLabel* Picture(const QString& name, const QString& picture, int left, int top, QWidget* parent) {
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setGeometry(left, top, 48, 48);
    image->setPixmap(LogPicture(picture, QSize(48, 48)));
    image->hide();
    return image;
}

}  // namespace

TViewErrorLog::TViewErrorLog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ViewErrorLog"));
    setWindowTitle(QStringLiteral("Información ampliada"));
    setFont(WindowFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    // The button comes first, so that it is first in the tab order.
    BitBtn1 = new QPushButton(QStringLiteral("Continuar"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(kButtonDesign);
    BitBtn1->setIcon(LogIcon(QStringLiteral("continuar"), QSize(16, 16)));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    Image1 = Picture(QStringLiteral("Image1"), QStringLiteral("copia_error"), 12, 8, this);
    Label6 = Banner(QStringLiteral("Label6"), QStringLiteral("Error en la copia"),
                    QColor(0x80, 0x00, 0x00), 70, 19, this);
    Image2 = Picture(QStringLiteral("Image2"), QStringLiteral("copia_ok"), 330, 8, this);
    Label8 = Banner(QStringLiteral("Label8"), QStringLiteral("Copia satisfactoria"),
                    QColor(0x00, 0x80, 0x00), 388, 19, this);

    Label1 = Caption(QStringLiteral("Label1"), QStringLiteral("Fecha"), 12, 72, this);
    Edit1 = Field(QStringLiteral("Edit1"), 84, 68, 113, this);
    Label2 = Caption(QStringLiteral("Label2"), QStringLiteral("Hora"), 216, 72, this);
    Edit2 = Field(QStringLiteral("Edit2"), 254, 68, 113, this);
    Label3 = Caption(QStringLiteral("Label3"), QStringLiteral("Servidor"), 12, 100, this);
    Edit3 = Field(QStringLiteral("Edit3"), 84, 96, 537, this);
    Label4 = Caption(QStringLiteral("Label4"), QStringLiteral("Empresa"), 12, 128, this);
    Edit4 = Field(QStringLiteral("Edit4"), 84, 124, 537, this);
    Label5 = Caption(QStringLiteral("Label5"), QStringLiteral("Destino"), 12, 156, this);
    Edit5 = Field(QStringLiteral("Edit5"), 84, 152, 537, this);
    Label7 = Caption(QStringLiteral("Label7"), QStringLiteral("Observaciones"), 12, 182, this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setGeometry(kMemoDesign);

    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children) child->installEventFilter(this);
    installEventFilter(this);

    resize(kDesignWidth, kDesignHeight);
    setMinimumSize(kDesignWidth, kDesignHeight);
    BitBtn1->setFocus();
}

void TViewErrorLog::resizeEvent(QResizeEvent* event) {
    const int wider = width() - kDesignWidth;
    const int taller = height() - kDesignHeight;
    Memo1->setGeometry(kMemoDesign.adjusted(0, 0, wider, taller));
    BitBtn1->move(kButtonDesign.topLeft() + QPoint(wider, taller));
    QDialog::resizeEvent(event);
}

bool TViewErrorLog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TViewErrorLog::FormKeyPress(int key) {
    if (key != Qt::Key_Escape) return false;
    close();
    return true;
}

void TViewErrorLog::ShowBanner(const QString& exito) {
    if (exito == u"T") {
        Image1->hide();
        Label6->hide();
        Image2->move(Image1->pos());
        Image2->show();
        Label8->move(Label6->pos());
        Label8->show();
    } else if (exito == u"F") {
        Image2->hide();
        Label8->hide();
        Image1->show();
        Label6->show();
    }
}

void TViewErrorLog::ShowObservations(const QString& observaciones) {
    QString text = observaciones;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    // Every remark ends its line; the last line break opens no empty line.
    if (text.endsWith(u'\n')) text.chop(1);
    Memo1->clear();
    Memo1->appendPlainText(text);
}

void ShowLogEntry(TData& data, const TLogRow& row, QWidget* owner) {
    if (owner == nullptr) owner = QApplication::activeWindow();
    auto window = std::make_unique<TViewErrorLog>(owner);
    {
        struct SessionCloser {
            TData& data;
            ~SessionCloser() { data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup); }
        } closer{data};
        data.IBDBackup.Disconnect();
        data.ReopenDatabaseSession(data.IBDBackup, BackupLogName());
        fb::Statement& statement = data.IBSQLBackup;
        data.IBTBackup.RollbackQuietly();
        statement.SetSql(kDetailSelect + kDetailWhere);
        data.IBTBackup.StartTransaction();
        statement.SetParam(QStringLiteral("fecha"), row.Fecha);
        statement.SetParam(QStringLiteral("hora"), row.Hora);
        statement.SetParam(QStringLiteral("servidor"), row.Servidor);
        statement.SetParam(QStringLiteral("empresa"), row.Empresa);
        statement.Execute();
        if (statement.Next()) {
            const auto show = [&](QLineEdit* edit, const QString& column) {
                edit->setText(statement.Field(column));
                edit->setCursorPosition(0);  // long paths show their beginning
            };
            show(window->Edit1, QStringLiteral("fecha"));
            show(window->Edit2, QStringLiteral("hora"));
            show(window->Edit3, QStringLiteral("servidor"));
            show(window->Edit4, QStringLiteral("empresa"));
            show(window->Edit5, QStringLiteral("destino"));
            window->ShowBanner(statement.Field(QStringLiteral("exito")));
            window->ShowObservations(statement.Field(QStringLiteral("observaciones")));
        }
        statement.Close();
    }
    window->exec();
}
