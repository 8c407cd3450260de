#include "schedule/FProgramacion.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTreeWidget>

#include "plan/FBackupForm.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Settings.h"
#include "platform/Pictures.h"

// Resources of a static library register only when asked to, and only from
// the global namespace.
static void RegisterSchedulePictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(schedule);
        return true;
    }();
    (void)registered;
}

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kCream(254, 255, 232);

QFont TahomaFont(bool bold) {
    QFont font(QStringLiteral("Tahoma"), 8);
    font.setBold(bold);
    return font;
}

void SetColours(QWidget* widget, const QColor& text, const QColor& background = QColor()) {
    QPalette palette = widget->palette();
    if (text.isValid()) {
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Text, text);
    }
    if (background.isValid()) {
        // Buttons fill their background with the Button role.
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

QPixmap Picture(const QString& name, const QSize& size) {
    RegisterSchedulePictures();
    return platform::RenderPicture(QStringLiteral(":/schedule/") + name, size);
}

// One number of the time field: one or two digits with blanks around them.
bool ReadNumber(const QString& part, int maximum, int* value) {
    const QString digits = part.trimmed();
    if (digits.isEmpty() || digits.size() > 2) return false;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return false;
    }
    *value = digits.toInt();
    return *value <= maximum;
}

void WriteScheduleValue(platform::SettingsStore& store, const QString& name, const QString& value) {
    try {
        store.WriteString(kScheduleKey, name, value);
    } catch (const platform::SettingsError&) {
        throw ScheduleStoreError(
            QStringLiteral("Failed to set data for '%1'").arg(name).toStdString());
    }
}

}  // namespace

bool ParseScheduleTime(const QString& text, QTime* time) {
    const QStringList parts = text.split(u':');
    int hours = 0;
    int minutes = 0;
    if (parts.size() != 2 || !ReadNumber(parts[0], 23, &hours) ||
        !ReadNumber(parts[1], 59, &minutes)) {
        return false;
    }
    if (time != nullptr) *time = QTime(hours, minutes);
    return true;
}

// ---- the day boxes -----------------------------------------------------------

TLeftTextCheckBox::TLeftTextCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent) {}

void TLeftTextCheckBox::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    const int indicatorWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
    const int indicatorHeight = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    QStyleOptionButton indicator = option;
    indicator.rect = QRect(width() - indicatorWidth - 1, (height() - indicatorHeight) / 2,
                           indicatorWidth, indicatorHeight);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

    const QRect textArea(0, 0, indicator.rect.left() - 4, height());
    painter.drawItemText(textArea, Qt::AlignLeft | Qt::AlignVCenter, option.palette, isEnabled(),
                         text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics()
                         .boundingRect(textArea, Qt::AlignLeft | Qt::AlignVCenter, text())
                         .adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool TLeftTextCheckBox::hitButton(const QPoint& position) const {
    return rect().contains(position);
}

// ---- the dialog ----------------------------------------------------------------

TProgramacion::TProgramacion(QWidget* parent, ScheduleOwner* owner)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      owner_(owner) {
    BuildControls();
    platform::Guarded([this] { FormCreate(); });
}

void TProgramacion::BuildControls() {
    setObjectName(QStringLiteral("Programacion"));
    setWindowTitle(QStringLiteral("Programación"));
    setFixedSize(309, 408);
    setFont(TahomaFont(false));
    SetColours(this, QColor(), kCream);

    Label1 = new QLabel(QStringLiteral("La copia se iniciará a las "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(TahomaFont(true));
    SetColours(Label1, kNavy);
    Label1->adjustSize();
    Label1->move(18, 24);

    edit1 = new QLineEdit(this);
    edit1->setObjectName(QStringLiteral("edit1"));
    edit1->setFont(TahomaFont(true));
    SetColours(edit1, kNavy);
    // Two optional digits, ":" and two more; a blank position shows "_".
    edit1->setInputMask(QStringLiteral("99:99;_"));
    edit1->setMaxLength(5);
    edit1->setGeometry(Label1->geometry().right() + 3, 20, 46, 22);

    Label3 = new QLabel(QStringLiteral("horas"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(TahomaFont(true));
    SetColours(Label3, kNavy);
    Label3->adjustSize();
    Label3->move(edit1->geometry().right() + 7, 24);

    Label2 = new QLabel(QStringLiteral("Días de la semana"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(TahomaFont(true));
    SetColours(Label2, kMaroon);
    Label2->adjustSize();
    Label2->move(26, 66);

    Shape1 = new QWidget(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(24, 84, 261, 232);
    Shape1->setStyleSheet(
        QStringLiteral("#Shape1 { background: white; border: 1px solid #000080; }"));
    Shape1->setAttribute(Qt::WA_StyledBackground);

    const auto dayBox = [this](const char16_t* name, const char16_t* caption, int row) {
        auto* box = new TLeftTextCheckBox(QString::fromUtf16(caption), this);
        box->setObjectName(QString::fromUtf16(name));
        box->setFont(TahomaFont(true));
        SetColours(box, QColor(), Qt::white);
        box->setGeometry(60, 98 + row * 30, 170, 20);
        box->setCursor(Qt::PointingHandCursor);
        return box;
    };
    chlunes = dayBox(u"chlunes", u"Lunes", 0);
    chMartes = dayBox(u"chMartes", u"Martes", 1);
    chMiercoles = dayBox(u"chMiercoles", u"Miércoles", 2);
    chJueves = dayBox(u"chJueves", u"Jueves", 3);
    chViernes = dayBox(u"chViernes", u"Viernes", 4);
    chSabado = dayBox(u"chSabado", u"Sábado", 5);
    chDomingo = dayBox(u"chDomingo", u"Domingo", 6);

    btAceptar = new QPushButton(QStringLiteral("Aceptar"), this);
    btAceptar->setObjectName(QStringLiteral("btAceptar"));
    btAceptar->setIcon(QIcon(Picture(QStringLiteral("aceptar.svg"), QSize(20, 20))));
    btAceptar->setIconSize(QSize(20, 20));
    btAceptar->setCursor(Qt::PointingHandCursor);
    // No default button: Enter presses a button only when it has the focus.
    btAceptar->setAutoDefault(false);
    btAceptar->setGeometry(101, 330, 107, 32);
    connect(btAceptar, &QPushButton::clicked, this, &TProgramacion::btAceptarClick);

    chDesactivar = new QCheckBox(QStringLiteral("Desactivar programación"), this);
    chDesactivar->setObjectName(QStringLiteral("chDesactivar"));
    chDesactivar->setGeometry(12, 380, 180, 20);
    chDesactivar->setCursor(Qt::PointingHandCursor);

    QWidget* order[] = {edit1,     chlunes,  chMartes,  chMiercoles, chJueves,
                        chViernes, chSabado, chDomingo, btAceptar,   chDesactivar};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    for (QLabel* label : {Label1, Label2, Label3}) label->setFocusPolicy(Qt::NoFocus);
    edit1->setFocus();

    // The dialog sees key strokes, presses and the field's exit before the
    // controls do.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

QList<QPair<QCheckBox*, QChar>> TProgramacion::DayBoxes() const {
    return {{chlunes, u'2'},   {chMartes, u'3'}, {chMiercoles, u'4'}, {chJueves, u'5'},
            {chViernes, u'6'}, {chSabado, u'7'}, {chDomingo, u'1'}};
}

QString TProgramacion::TimeText() const {
    // Qt's text() drops blank positions; the schedule keeps them as spaces.
    QString text = edit1->displayText();
    text.replace(u'_', u' ');
    return text;
}

void TProgramacion::SetTimeText(const QString& text) {
    // setText would move the digits of " 7:05" to the front.
    edit1->clear();
    for (int i = 0; i < qMin(text.size(), 5); ++i) {
        if (i == 2 || text[i] < u'0' || text[i] > u'9') continue;
        edit1->setCursorPosition(i);
        edit1->insert(QString(text[i]));
    }
    edit1->setCursorPosition(0);
    edit1->setModified(false);
}

void TProgramacion::FormCreate() {
    const platform::SettingsStore store;
    if (!store.KeyExists(kScheduleKey)) return;
    const QString dias = store.ReadString(kScheduleKey, QStringLiteral("dias"));
    const QString hora = store.ReadString(kScheduleKey, QStringLiteral("hora"));
    const QString activada = store.ReadString(kScheduleKey, QStringLiteral("Activada"));
    chDesactivar->setChecked(activada == u"F");
    SetTimeText(hora.left(5));
    for (const auto& [box, digit] : DayBoxes()) box->setChecked(dias.contains(digit));
}

void TProgramacion::showEvent(QShowEvent* event) {
    // Centred over the main window, or the screen without one.
    QWidget* main = owner_ != nullptr ? owner_->MainWindow() : nullptr;
    QRect over;
    if (main != nullptr && main->isVisible() && !main->isMinimized()) {
        over = main->frameGeometry();
    } else if (const QScreen* screen = this->screen()) {
        over = screen->availableGeometry();
    }
    if (over.isValid()) move(over.center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}

bool TProgramacion::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (FormKeyPress(static_cast<QKeyEvent*>(event))) return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            // The press that took the focus away from the time field checks the
            // field before the pressed control sees it: a wrong time gets the
            // focus back and the press is lost, so that "Aceptar" never saves it.
            if (mouseLeftTimeField_) {
                mouseLeftTimeField_ = false;
                if (!edit1Exit()) return true;
            }
            break;
        case QEvent::FocusOut:
            if (watched == edit1) {
                // A change of the active window is no exit. A press moves the
                // focus before the pressed control gets the press; keyboard
                // moves are checked once the focus has settled.
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason == Qt::MouseFocusReason) mouseLeftTimeField_ = true;
                if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                    reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason ||
                    reason == Qt::OtherFocusReason) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, reason] {
                            if (reason == Qt::MouseFocusReason && !mouseLeftTimeField_) return;
                            mouseLeftTimeField_ = false;
                            edit1Exit();
                        },
                        Qt::QueuedConnection);
                }
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

bool TProgramacion::FormKeyPress(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            focusNextChild();
        }
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

bool TProgramacion::edit1Exit() {
    const QString text = TimeText();
    if (text == kBlankTime || ParseScheduleTime(text)) return true;
    platform::ShowErrorBox(QStringLiteral("Hora errónea"), QStringLiteral("ERROR"));
    edit1->setFocus();
    return false;
}

void TProgramacion::btAceptarClick() {
    platform::Guarded([this] {
        bool someDay = false;
        for (const auto& [box, digit] : DayBoxes()) someDay |= box->isChecked();
        const bool blank = TimeText() == kBlankTime;

        if (!blank && !someDay) {
            platform::ShowInformation(QStringLiteral("Indique al menos un día de la semana"));
            return;
        }
        if (someDay && blank) {
            platform::ShowInformation(QStringLiteral("Indique la hora de inicio de la copia"));
            return;
        }
        if (chDesactivar->isChecked() && someDay && !blank &&
            platform::CurrentDialogs().Message(
                platform::MsgIcon::Information, QStringLiteral("Información"),
                QStringLiteral("La programación de la copia será desactivada"),
                platform::MsgButtons::OkCancel) != platform::MsgResult::Ok) {
            return;
        }
        // No day and a blank time get here too: the save removes the schedule.
        SaveSchedule();
        if (owner_ != nullptr) {
            owner_->StopScheduleTimer();
            owner_->UpdateScheduleNotice();
        }
        accept();
    });
}

void TProgramacion::SaveSchedule() {
    QString dias;
    for (const auto& [box, digit] : DayBoxes()) {
        if (box->isChecked()) dias += digit;
    }
    const QString time = TimeText();
    const QString hora = time == kBlankTime ? QString() : time + QStringLiteral(":00");
    const QString activada = chDesactivar->isChecked() ? QStringLiteral("F") : QStringLiteral("T");

    platform::SettingsStore store;
    // Opening the key belongs to the first write: its failure is told as
    // that value's.
    try {
        if (!store.KeyExists(kScheduleKey)) store.CreateKey(kScheduleKey);
    } catch (const platform::SettingsError&) {
        throw ScheduleStoreError(
            QStringLiteral("Failed to set data for '%1'").arg(QStringLiteral("hora")).toStdString());
    }
    WriteScheduleValue(store, QStringLiteral("hora"), hora);
    WriteScheduleValue(store, QStringLiteral("dias"), dias);
    WriteScheduleValue(store, QStringLiteral("Activada"), activada);

    if (owner_ != nullptr) owner_->ScheduleCopy() = TScheduleSettings{dias, hora, activada};
}

// ---- the backup window's button ------------------------------------------------

void ProgramacionFromBackupForm(TBackupForm& form) {
    if (form.TreeView->topLevelItemCount() == 0) {
        platform::ShowInformation(
            QStringLiteral("Seleccione primero los ficheros de los que desea hacer la copia"));
        return;
    }
    if (!form.Plan.PlanDestinationsComplete()) {
        platform::ShowInformation(kMissingDestinationWarning);
        return;
    }
    TProgramacion dialog(&form);
    dialog.exec();
}

void InstallScheduleDialogHook() { TBackupForm::ScheduleDialogHook = &ProgramacionFromBackupForm; }
