#pragma once
// The main window: banner with the picture buttons, welcome text, the
// start-with-the-session box, the status lines of the unattended run and the
// schedule notice. Its life cycle is the program's: creating it runs the
// single-instance guard, and once its close goes ahead the program ends.

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>

#include "platform/SingleInstance.h"
#include "schedule/ScheduleOwner.h"
#include "schedule/ScheduleSettings.h"
#include "schedule/ScheduleTrigger.h"

class QAction;
namespace platform {
class DesktopNotifier;
}
class QCheckBox;
class QCloseEvent;
class QMenu;
class QTimer;

inline const QString kBackupKey =
    QStringLiteral("Software\\Orvalenta Software\\Quillbase\\1.0\\backup");
// The value of the start-with-the-session entry.
inline const QString kRunEntryName = QStringLiteral("QuillbaseBackup");

// The weekday names of `dias` from Monday to Sunday, the last two joined with
// " y " and the others with ", ": "2461" gives "Lunes, Miércoles, Viernes y
// Domingo". Repeated digits count once; other characters are ignored.
QString ScheduleDayList(const QString& dias);

// The desktop notification of a scheduled start that went wrong: some
// company failed, or a busy row was written instead of a run. Empty when
// every company succeeded: such a night says nothing.
QString ScheduledRunNotice(const ScheduledRunOutcome& outcome);

// The help file of the installation: the install root followed by
// "QuillbaseBackup.chm". Empty until the main window first becomes active.
QString HelpFilePath();
void SetHelpFilePath(const QString& path);
// The help path for an install root, joined with the separator the root
// already uses ("\" unless the root is a "/" path).
QString HelpFilePathFor(const QString& root);

// The program's pictures, drawn at the given size from the SVGs of resources/.
QPixmap ResourcePicture(const QString& name, const QSize& size);
QIcon ApplicationIcon();

// A picture or text that reacts to a click of the left mouse button.
class TPictureLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// The main window is also what the backup run (MainWindowLink), the schedule
// dialog and the schedule trigger (ScheduleOwner) see of it; it registers
// itself for both while it exists.
class TMainForm : public QWidget, public ScheduleOwner {
    Q_OBJECT
public:
    enum class TrayAction { Add, Delete };
    using ExitFunction = std::function<void(int exitCode)>;

    // Builds the window and runs FormCreate; a second copy of the program
    // ends here through the exit function.
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // How a second copy ends the process (std::exit unless replaced; an empty
    // function brings std::exit back). Tests replace it; when it returns,
    // the constructor returns without loading anything.
    static void SetExitFunction(ExitFunction exitFunction);
    // Whether there is a notification area (QSystemTrayIcon's answer unless
    // replaced; an empty function brings that back). Tests replace it.
    static void SetTrayAvailability(std::function<bool()> available);
    static bool TrayAvailable();

    // Shows the schedule notice for a stored schedule and arms Timer1 when the
    // schedule is active. Never disarms Timer1.
    void UpdateScheduleNotice() override;
    // Puts the program's icon into the notification area or takes it out.
    // Without a notification area, Add minimises the window instead, so that
    // a program that refuses a second start is never left invisible.
    void UpdateTrayIcon(TrayAction action);

    // MainWindowLink and ScheduleOwner.
    QWidget* MainWindow() override { return this; }
    void StopScheduleTimer() override;
    void RearmScheduleTimer() override;
    void SetSt1(const QString& text) override;
    void SetSt2(const QString& text) override;
    TScheduleSettings& ScheduleCopy() override { return ScheduleSettings; }
    void SetBusyTimer(bool armed) override;
    void SetTrayPicture(int index) override;
    // A night with errors says so on the desktop; activating the notice
    // opens the log as ImageVerLog does.
    void ScheduledRunEnded(const ScheduledRunOutcome& outcome) override;

    // The copy of the stored schedule that the schedule trigger uses.
    TScheduleSettings ScheduleSettings;
    // The install root read the last time the window became active.
    QString InstallRoot;
    // The trigger that Timer1 drives.
    TScheduleTrigger Trigger{*this};

    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    TPictureLabel* ImageHacerCopia = nullptr;
    TPictureLabel* ImageRestaurar = nullptr;
    TPictureLabel* ImageVerLog = nullptr;
    TPictureLabel* Image2 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Image4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QCheckBox* chInicioWindows = nullptr;
    QLabel* st2 = nullptr;
    QLabel* st1 = nullptr;
    TPictureLabel* Label7 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    // The pictures of the notification-area icon: 0 idle (the clock), 1 busy
    // (a drive with an arrow).
    QList<QIcon> ImageList1;
    QMenu* PopupMenu1 = nullptr;
    QAction* AbrirQuillbaseBackup1 = nullptr;
    // Present only while the program sits in the notification area.
    QSystemTrayIcon* TrayIcon = nullptr;
    // The desktop's notifications of scheduled runs with errors.
    platform::DesktopNotifier* Notifier = nullptr;

public slots:
    void ImageHacerCopiaClick();
    void ImageRestaurarClick();
    void ImageVerLogClick();
    void Image2Click();
    void Label7Click();
    void chInicioWindowsClick();
    void AbrirQuillbaseBackup1Click();
    void Timer1Timer();
    void Timer2Timer();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void FormCreate();
    // A settings file that cannot be read is put aside, and the operator
    // told, before anything reads the settings.
    void SetAsideUnreadableSettings();
    void FormActivate();
    // Runs a reading of the settings at creation or activation. A failure
    // is reported once, until a reading succeeds again: the report's box,
    // when it closes, activates the window anew, and a settings file that
    // stays unreadable must not bring its box back for ever.
    template <typename Read>
    void ReadSettings(Read&& read);
    void FormClose(QCloseEvent* event);
    void FormDestroy();
    void FormHelp();
    void WMSysCommand(QEvent* event);
    void WMTrayIcon(QSystemTrayIcon::ActivationReason reason);

    platform::SingleInstanceGuard instanceGuard_;
    bool firstShowing_ = false;
    bool settingsFailureReported_ = false;
    // Set when the first showing has run FormActivate: the activation that a
    // window manager gives that same showing is not a second one. Cleared
    // when the window hides or another window becomes active.
    bool firstShowingActivationPending_ = false;
};
