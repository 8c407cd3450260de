#pragma once
// What the backup run needs of the main window: its schedule timer Timer1,
// its two status lines and its place on the screen. The main window
// implements this and registers itself; without one (a test, a run without
// a main window) the run switches no timer and shows no status lines.

#include <QString>

class QWidget;

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    // The main window, over which the run's windows are centred.
    virtual QWidget* MainWindow() = 0;
    // Switches Timer1 off.
    virtual void StopScheduleTimer() = 0;
    // Arms Timer1 if the schedule is active at this moment; leaves it off
    // otherwise.
    virtual void RearmScheduleTimer() = 0;
    // The status lines st1 (latest output line) and st2 (server and database).
    virtual void SetSt1(const QString& text) = 0;
    virtual void SetSt2(const QString& text) = 0;
    // Lets pending window messages be processed.
    virtual void ProcessMessages();
};

// The registered main window, or nullptr.
MainWindowLink* CurrentMainWindowLink();
// Registers the main window (nullptr when it goes away).
void SetMainWindowLink(MainWindowLink* link);

// Lets pending window messages be processed, through the registered main
// window when there is one.
void ProcessPendingMessages();
