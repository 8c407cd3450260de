#include "app/FMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <cstdlib>
#include <utility>

#include "app/FAvisoCerrarPrograma.h"
#include "db/FData.h"
#include "logview/ShowBackupLog.h"
#include "plan/FBackupForm.h"
#include "plan/Help.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/DesktopNotification.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Pictures.h"
#include "platform/RunEntry.h"
#include "platform/Settings.h"
#include "restore/FRestoreForm.h"
#include "schedule/FProgramacion.h"
#include "schedule/ScheduledRunGuard.h"

// Resources of a static library register only when asked to, and only from
// the global namespace.
static void RegisterPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace {

QString g_helpFilePath;

// The main window's help context.
constexpr int kHelpContext = 3;

void DefaultExit(int exitCode) { std::exit(exitCode); }

TMainForm::ExitFunction& ExitFunctionInForce() {
    static TMainForm::ExitFunction exitFunction = DefaultExit;
    return exitFunction;
}

std::function<bool()>& TrayAvailability() {
    static std::function<bool()> available;
    return available;
}

// The program that starts with the session. On Windows the Run value holds
// the install root with "Quillbasebackup.exe" appended as it stands; the
// autostart entry elsewhere runs this very executable.
QString StartupProgram([[maybe_unused]] const QString& installRoot) {
#ifdef Q_OS_WIN
    return installRoot + QStringLiteral("Quillbasebackup.exe");
#else
    return QCoreApplication::applicationFilePath();
#endif
}

QFont TahomaFont(int pointSize, bool bold) {
    QFont font(QStringLiteral("Tahoma"), pointSize);
    font.setBold(bold);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void SetWhiteBackground(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

QString ScheduleDayList(const QString& dias) {
    // Monday first, Sunday last, whatever the order of the digits.
    static const std::pair<QChar, const char16_t*> kDays[] = {
        {u'2', u"Lunes"},   {u'3', u"Martes"}, {u'4', u"Miércoles"}, {u'5', u"Jueves"},
        {u'6', u"Viernes"}, {u'7', u"Sábado"}, {u'1', u"Domingo"},
    };
    QStringList names;
    for (const auto& [digit, name] : kDays) {
        if (dias.contains(digit)) names.append(QString::fromUtf16(name));
    }
    if (names.size() < 2) return names.value(0);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" y ") + last;
}

QString ScheduledRunNotice(const ScheduledRunOutcome& outcome) {
    const QString run = QStringLiteral("Copia programada del ") +
                        outcome.At.toString(QStringLiteral("dd/MM/yyyy HH:mm")) +
                        QStringLiteral(": ");
    if (outcome.Busy) return run + QStringLiteral("no se ha realizado, había otra copia en curso");
    if (outcome.Failed == 0) return QString();
    return run + QStringLiteral("%1 de %2 empresas con errores")
                     .arg(outcome.Failed)
                     .arg(outcome.Companies);
}

QString HelpFilePath() { return g_helpFilePath; }

void SetHelpFilePath(const QString& path) { g_helpFilePath = path; }

QString HelpFilePathFor(const QString& root) {
    // Roots written by a Windows installation use "\"; a POSIX root keeps "/".
    const bool posix = root.startsWith(u'/') || (root.contains(u'/') && !root.contains(u'\\'));
    return root + (posix ? u'/' : u'\\') + QStringLiteral("QuillbaseBackup.chm");
}

QPixmap ResourcePicture(const QString& name, const QSize& size) {
    RegisterPictures();
    return platform::RenderPicture(QStringLiteral(":/") + name, size);
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(ResourcePicture(QStringLiteral("app.svg"), QSize(side, side)));
    }
    return icon;
}

void TPictureLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TPictureLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    // The program lives on while the window hides in the notification area and
    // ends only when the main window's close goes ahead (FormClose).
    QGuiApplication::setQuitOnLastWindowClosed(false);
    BuildControls();
    FormCreate();
    SetMainWindowLink(this);
    SetScheduleOwner(this);
}

TMainForm::~TMainForm() {
    FormDestroy();
    if (CurrentScheduleOwner() == this) SetScheduleOwner(nullptr);
    if (CurrentMainWindowLink() == this) SetMainWindowLink(nullptr);
}

void TMainForm::SetExitFunction(ExitFunction exitFunction) {
    ExitFunctionInForce() = exitFunction ? std::move(exitFunction) : ExitFunction(DefaultExit);
}

void TMainForm::SetTrayAvailability(std::function<bool()> available) {
    TrayAvailability() = std::move(available);
}

bool TMainForm::TrayAvailable() {
    if (TrayAvailability()) return TrayAvailability()();
    // Asked first: the kind of notification area is fixed when Qt first looks.
    platform::HostDrawsTrayMenu();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TMainForm::BuildControls() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(platform::kAppTitle);
    setWindowIcon(ApplicationIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(724, 439);
    setFont(TahomaFont(8, false));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    // Banner with the picture buttons in two columns at its right-hand end.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 724, 73);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 724, 73);
    Image1->setPixmap(ResourcePicture(QStringLiteral("banner.svg"), Image1->size()));

    const auto pictureButton = [this](const char16_t* name, const char16_t* picture, int x, int y,
                                      const QString& hint) {
        auto* button = new TPictureLabel(Panel1);
        button->setObjectName(QString::fromUtf16(name));
        button->setGeometry(x, y, 115, 24);
        button->setPixmap(ResourcePicture(QString::fromUtf16(picture), button->size()));
        button->setCursor(Qt::PointingHandCursor);
        button->setToolTip(hint);
        return button;
    };
    ImageHacerCopia = pictureButton(u"ImageHacerCopia", u"btn_copias.svg", 474, 11,
                                    QStringLiteral("Hacer una copia de seguridad"));
    ImageRestaurar = pictureButton(u"ImageRestaurar", u"btn_restaurar.svg", 474, 38,
                                   QStringLiteral("Restaurar una copia de seguridad"));
    ImageVerLog = pictureButton(u"ImageVerLog", u"btn_historial.svg", 597, 11,
                                QStringLiteral("Ver el historial de copias de seguridad"));
    Image2 = pictureButton(u"Image2", u"btn_ayuda.svg", 597, 38, QString());
    connect(ImageHacerCopia, &TPictureLabel::clicked, this, &TMainForm::ImageHacerCopiaClick);
    connect(ImageRestaurar, &TPictureLabel::clicked, this, &TMainForm::ImageRestaurarClick);
    connect(ImageVerLog, &TPictureLabel::clicked, this, &TMainForm::ImageVerLogClick);
    connect(Image2, &TPictureLabel::clicked, this, &TMainForm::Image2Click);

    // Lower area: background picture, welcome text, the box and the status lines.
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 73, 724, 366);
    Image4 = new QLabel(Panel2);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->setGeometry(0, 0, 724, 366);
    Image4->setPixmap(ResourcePicture(QStringLiteral("fondo.svg"), Image4->size()));

    const auto textLine = [this](const char16_t* name, const QString& text, int y, int pointSize,
                                 int height) {
        auto* label = new QLabel(text, Panel2);
        label->setObjectName(QString::fromUtf16(name));
        label->setFont(TahomaFont(pointSize, true));
        label->setGeometry(32, y, label->sizeHint().width(), height);
        return label;
    };
    Label6 = textLine(u"Label6", QStringLiteral("Bienvenido a Quillbase Backup"), 48, 9, 15);
    Label1 = textLine(u"Label1",
                      QStringLiteral("Realice copias de seguridad de sus ficheros Quillbase "
                                     "diariamente"),
                      80, 8, 13);
    Label3 = textLine(u"Label3",
                      QStringLiteral("Es recomendable realizar la copia a un dispositivo "
                                     "externo, así en "),
                      112, 8, 13);
    Label2 = textLine(u"Label2",
                      QStringLiteral("caso de fallo de su disco, siempre podrá recuperar todos "
                                     "sus datos"),
                      127, 8, 13);
    Label4 = textLine(u"Label4",
                      QStringLiteral("Con esta utilidad, puede seguir trabajando mientras el "
                                     "programa"),
                      158, 8, 13);
    Label5 = textLine(u"Label5",
                      QStringLiteral("se encarga de realizar todas las operaciones necesarias"),
                      173, 8, 13);

    chInicioWindows = new QCheckBox(QStringLiteral("Cargar al iniciar windows"), Panel2);
    chInicioWindows->setObjectName(QStringLiteral("chInicioWindows"));
    chInicioWindows->setFont(TahomaFont(8, true));
    SetTextColour(chInicioWindows, QColor(128, 0, 0));
    SetWhiteBackground(chInicioWindows);
    chInicioWindows->setBackgroundRole(QPalette::Window);  // a button's own role is grey
    chInicioWindows->setCursor(Qt::PointingHandCursor);
    chInicioWindows->setGeometry(32, 212, chInicioWindows->sizeHint().width() + 6, 19);
    // Only the operator's clicks run the handling; setting the box does not.
    connect(chInicioWindows, &QCheckBox::clicked, this, &TMainForm::chInicioWindowsClick);

    st2 = new QLabel(Panel2);
    st2->setObjectName(QStringLiteral("st2"));
    st2->setGeometry(32, 304, 660, 16);
    SetWhiteBackground(st2);
    st1 = new QLabel(Panel2);
    st1->setObjectName(QStringLiteral("st1"));
    st1->setGeometry(32, 322, 660, 16);
    SetWhiteBackground(st1);

    Label7 = new TPictureLabel(Panel2);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setGeometry(6, 6, 146, 29);
    Label7->setFont(TahomaFont(8, false));
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setWordWrap(true);
    Label7->setCursor(Qt::PointingHandCursor);
    Label7->hide();
    connect(Label7, &TPictureLabel::clicked, this, &TMainForm::Label7Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // Never early: two ticks must not fall into the same second.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);
    connect(Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);

    for (const char16_t* picture : {u"reloj.svg", u"copiando.svg"}) {
        QIcon icon;
        for (const int side : {16, 22, 24, 32, 48}) {
            icon.addPixmap(ResourcePicture(QString::fromUtf16(picture), QSize(side, side)));
        }
        ImageList1.append(icon);
    }

    // The notification-area menu; the icon's handler pops it up itself, just
    // above the pointer, unless the notification area draws it (UpdateTrayIcon).
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AbrirQuillbaseBackup1 = PopupMenu1->addAction(QStringLiteral("Abrir Quillbase Backup"));
    AbrirQuillbaseBackup1->setObjectName(QStringLiteral("AbrirQuillbaseBackup1"));
    connect(AbrirQuillbaseBackup1, &QAction::triggered, this,
            &TMainForm::AbrirQuillbaseBackup1Click);

    Notifier = new platform::DesktopNotifier(this);
    // Once the notice's own handling is over: the log browser is modal. No
    // click of a window brings this one, so the scheduled run's guard of
    // the operator's input is asked here.
    connect(
        Notifier, &platform::DesktopNotifier::Activated, this,
        [this] {
            if (!ScheduledRunGuard::Refuse()) ImageVerLogClick();
        },
        Qt::QueuedConnection);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus != nullptr && focus != windowHandle()) firstShowingActivationPending_ = false;
    });
}

template <typename Read>
void TMainForm::ReadSettings(Read&& read) {
    try {
        read();
        settingsFailureReported_ = false;
    } catch (const std::exception& error) {
        if (settingsFailureReported_) return;
        settingsFailureReported_ = true;
        platform::ReportUnhandledError(error);
    }
}

void TMainForm::FormCreate() {
    bool secondCopy = false;
    platform::Guarded([&secondCopy, this] {
        if (instanceGuard_.Acquire() == platform::SingleInstanceGuard::Outcome::AlreadyRunning) {
            secondCopy = true;
            platform::ShowPlainMessage(QStringLiteral("El programa ya se está ejecutando..."));
            ExitFunctionInForce()(0);
        }
    });
    if (secondCopy) return;
    // Outcome NoGuard: the program runs without a guard. A second copy has
    // ended above: only the copy that runs touches the settings file. A
    // settings file that can be neither read nor put aside is reported, and
    // the program starts all the same with whatever it could read.
    ReadSettings([this] { SetAsideUnreadableSettings(); });
    firstShowing_ = true;
    st1->clear();
    st2->clear();
    ReadSettings([this] { ScheduleSettings = LoadScheduleSettings(); });
}

void TMainForm::SetAsideUnreadableSettings() {
    const std::optional<platform::SetAsideSettingsFile> setAside =
        platform::SettingsStore::SetAsideUnreadableFile(platform::CurrentClock().Now());
    if (!setAside) return;
    // Without this the program would fail at every reading of its settings;
    // the operator learns that the plan and the schedule start empty.
    platform::ShowWarning(
        QStringLiteral("No se ha podido leer el fichero de configuración\n\r") + setAside->file +
        QStringLiteral("\n\r\n\rSe ha guardado aparte, sin cambios, como\n\r") + setAside->keptAs +
        QStringLiteral("\n\r\n\rEl programa continúa con la configuración vacía: la selección de "
                       "servidores y empresas y la programación de copias deben configurarse de "
                       "nuevo."));
}

void TMainForm::FormActivate() {
    UpdateScheduleNotice();
    ReadSettings([this] {
        platform::SettingsStore store;
        if (firstShowing_) {
            firstShowing_ = false;
            // Shows the stored state only: setChecked does not run the click handling.
            if (store.KeyExists(kBackupKey)) {
                chInicioWindows->setChecked(
                    store.ReadString(kBackupKey, QStringLiteral("InicioWindows")) ==
                    QStringLiteral("T"));
            }
        }

        // The ini-style view of the settings creates its base key when missing.
        if (!store.KeyExists(platform::kQuillbaseKey)) store.CreateKey(platform::kQuillbaseKey);
        InstallRoot = store.ReadString(platform::kQuillbaseKey + QStringLiteral("\\1.0"),
                                       QStringLiteral("Root"));
        SetHelpFilePath(HelpFilePathFor(InstallRoot));
    });
}

void TMainForm::UpdateScheduleNotice() {
    Label7->hide();
    if (ScheduleActive(ScheduleSettings)) {
        if (!Timer1->isActive()) Timer1->start();
        Label7->setText(QStringLiteral("Existe una copia programada"));
        SetTextColour(Label7, QColor(0, 128, 0));
        Label7->show();
    } else if (ScheduleSwitchedOff(ScheduleSettings)) {
        SetTextColour(Label7, QColor(128, 0, 0));
        Label7->setText(QStringLiteral("Existe una copia programada sin activar"));
        Label7->show();
    }
}

void TMainForm::Label7Click() {
    platform::Guarded([this] {
        // Whatever the dialog saves is in ScheduleSettings, the notice and
        // Timer1 when it closes.
        TProgramacion dialog(this, this);
        dialog.exec();
    });
}

void TMainForm::FormClose(QCloseEvent* event) {
    // An error while deciding keeps the window open; the error report shows it.
    event->ignore();
    platform::Guarded([this, event] {
        // Read afresh: the schedule may have changed since start-up. Activada does
        // not matter here, a stored schedule that is switched off also warns.
        // A store damaged since start-up is reported, and the schedule known
        // until then decides: the program can still be closed.
        TScheduleSettings stored = ScheduleSettings;
        try {
            stored = LoadScheduleSettings();
        } catch (const platform::SettingsError& error) {
            platform::ReportUnhandledError(error);
        }
        bool keepRunning = false;
        if (!stored.dias.isEmpty() || !stored.hora.isEmpty()) {
            TAvisoCerrarPrograma aviso(this);
            aviso.Label2->setText(ScheduleDayList(stored.dias));
            aviso.Label3->setText(stored.hora);
            keepRunning = aviso.Run() == QDialog::Accepted;
        }
        if (keepRunning) {
            hide();
            QCoreApplication::processEvents();
            UpdateTrayIcon(TrayAction::Add);
            return;
        }
        event->accept();
        QCoreApplication::quit();
    });
}

void TMainForm::FormDestroy() {
    platform::Guarded([this] { UpdateTrayIcon(TrayAction::Delete); });
}

void TMainForm::UpdateTrayIcon(TrayAction action) {
    if (action == TrayAction::Delete) {
        // Gone once the running handler returns: the host's click on the
        // menu item arrives through the icon's own bus connection.
        if (TrayIcon != nullptr) TrayIcon->deleteLater();
        TrayIcon = nullptr;
        return;
    }
    if (!TrayAvailable()) {
        // Never invisible without an icon to come back through. The state
        // change this makes is no minimise to take over (WMSysCommand).
        showMinimized();
        return;
    }
    if (TrayIcon == nullptr) {
        TrayIcon = new QSystemTrayIcon(this);
        TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
        connect(TrayIcon, &QSystemTrayIcon::activated, this, &TMainForm::WMTrayIcon);
        if (platform::HostDrawsTrayMenu()) {
            // The host shows the menu's items beside the icon. Qt exports a
            // menu once per icon, so each icon gets a menu of its own.
            auto* hostMenu = new QMenu(this);
            hostMenu->addAction(AbrirQuillbaseBackup1);
            connect(TrayIcon, &QObject::destroyed, hostMenu, &QObject::deleteLater);
            TrayIcon->setContextMenu(hostMenu);
        }
    }
    TrayIcon->setIcon(windowIcon());
    TrayIcon->setToolTip(platform::kAppTitle);
    TrayIcon->show();
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        if (firstShowingActivationPending_) {
            firstShowingActivationPending_ = false;
        } else {
            FormActivate();
        }
    }
    return QWidget::event(event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A desktop may show a window and never activate it (no window manager,
    // focus-stealing prevention at login): the first showing itself counts
    // as the first activation, so that a stored schedule is armed from
    // start-up on.
    if (firstShowing_) {
        FormActivate();
        firstShowingActivationPending_ = true;
    }
}

void TMainForm::hideEvent(QHideEvent* event) {
    firstShowingActivationPending_ = false;
    QWidget::hideEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) { FormClose(event); }

void TMainForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) WMSysCommand(event);
    QWidget::changeEvent(event);
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        FormHelp();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainForm::WMSysCommand(QEvent* event) {
    // Only a minimise is taken over: the window goes into the notification
    // area instead. Without a notification area it stays minimised, so that
    // the program can always be found again.
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool minimising =
        isMinimized() && !(change->oldState() & Qt::WindowMinimized) && isVisible();
    if (!minimising || !TrayAvailable()) return;
    // Hidden once the window system has finished the state change.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isMinimized() || !isVisible()) return;
            hide();
            UpdateTrayIcon(TrayAction::Add);
        },
        Qt::QueuedConnection);
}

void TMainForm::WMTrayIcon(QSystemTrayIcon::ActivationReason reason) {
    platform::Guarded([this, reason] {
        // Left clicks and double clicks do nothing; a host that draws the
        // menu itself has no use for one that the program pops up.
        if (reason != QSystemTrayIcon::Context || platform::HostDrawsTrayMenu()) return;
        const QPoint pointer = QCursor::pos();
        QCoreApplication::processEvents();
        // The menu grabs the mouse and keyboard as it opens, so that a click
        // anywhere else closes it.
        PopupMenu1->popup(QPoint(pointer.x(), pointer.y() - 20));
    });
}

void TMainForm::ImageHacerCopiaClick() {
    platform::Guarded([this] {
        TBackupForm form(*Data, this);
        form.setWindowTitle(windowTitle());
        form.exec();
    });
}

void TMainForm::ImageRestaurarClick() {
    platform::Guarded([this] {
        TRestoreForm form(*Data, this);
        form.setWindowTitle(windowTitle());
        form.exec();
    });
}

void TMainForm::ImageVerLogClick() {
    platform::Guarded([this] { ShowBackupLog(*Data, 0, this); });
}

void TMainForm::Image2Click() { FormHelp(); }

void TMainForm::FormHelp() {
    platform::Guarded([] { OpenHelp(kHelpContext); });
}

void TMainForm::chInicioWindowsClick() {
    platform::Guarded([this] {
        platform::SettingsStore store;
        if (chInicioWindows->isChecked()) {
            // A failure here ends the click: the box stays checked and
            // "InicioWindows" keeps its value.
            platform::WriteRunEntry(kRunEntryName, StartupProgram(InstallRoot));
            store.WriteString(kBackupKey, QStringLiteral("InicioWindows"), QStringLiteral("T"));
        } else {
            platform::DeleteRunEntry(kRunEntryName);  // missing or not removable: no error
            store.WriteString(kBackupKey, QStringLiteral("InicioWindows"), QStringLiteral("F"));
        }
    });
}

void TMainForm::AbrirQuillbaseBackup1Click() {
    platform::Guarded([this] {
        showNormal();
        UpdateTrayIcon(TrayAction::Delete);
    });
}

void TMainForm::Timer1Timer() {
    platform::Guarded([this] { Trigger.Timer1Timer(); });
}

void TMainForm::Timer2Timer() { SetTrayPicture(1); }

void TMainForm::StopScheduleTimer() { Timer1->stop(); }

void TMainForm::RearmScheduleTimer() {
    if (ScheduleActive(ScheduleSettings) && !Timer1->isActive()) Timer1->start();
}

void TMainForm::SetSt1(const QString& text) { st1->setText(text); }

void TMainForm::SetSt2(const QString& text) { st2->setText(text); }

void TMainForm::SetBusyTimer(bool armed) {
    if (armed) {
        Timer2->start();
    } else {
        Timer2->stop();
    }
}

void TMainForm::ScheduledRunEnded(const ScheduledRunOutcome& outcome) {
    try {
        const QString notice = ScheduledRunNotice(outcome);
        if (!notice.isEmpty()) Notifier->Notify(platform::kAppTitle, notice);
    } catch (...) {
        // Told from the trigger's closing steps, which may be unwinding an
        // error: a notice that cannot be sent is no news of its own.
    }
}

void TMainForm::SetTrayPicture(int index) {
    if (TrayIcon == nullptr || index < 0 || index >= ImageList1.size()) return;
    // Timer2 asks ten times a second; only a change reaches the shell.
    if (TrayIcon->icon().cacheKey() != ImageList1[index].cacheKey()) {
        TrayIcon->setIcon(ImageList1[index]);
    }
}
