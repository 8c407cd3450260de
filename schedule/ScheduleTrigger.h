#pragma once
// The schedule trigger: at every tick of the main window's Timer1 it
// compares the clock with the schedule, and in the one second that matches
// it starts the unattended run of the whole plan on a backup window, or,
// when an interactive backup is in progress, writes a row saying so.
//
// Runs on the GUI thread inside the timer's handler; the run itself lets
// window messages be processed, so other handlers run in the middle of it.

#include <QDateTime>
#include <QString>

class ScheduleOwner;
class QWidget;
class TBackupForm;

class TScheduleTrigger {
public:
    // The remark of the row written instead of a run.
    static inline const QString kBusyRemark =
        QStringLiteral("En ese momento se estaba realizando otra copia de seguridad");

    explicit TScheduleTrigger(ScheduleOwner& owner);

    // Timer1's tick: reads the clock once and, in the scheduled second,
    // starts. True when this tick started (a run or the busy row).
    bool Timer1Timer();

    // The pause before the run, during which no window message is
    // processed. Tests shorten it.
    int StartDelayMs = 2000;

private:
    void Start(const QDateTime& now);
    void WriteBusyRow(TBackupForm& window, const QDateTime& now);

    ScheduleOwner& owner_;
};

// The open window of the application with this instance name, or nullptr.
QWidget* FindOpenWindow(const QString& name);
