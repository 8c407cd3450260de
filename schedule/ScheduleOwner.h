#pragma once
// What the schedule dialog and the schedule trigger need of the main window,
// beyond what a backup run needs of it (MainWindowLink): the copy of the
// schedule that the trigger compares with the clock, the schedule notice,
// the busy timer and the picture of the notification-area icon. The main
// window implements this and registers itself.

#include <QDateTime>

#include "backup/MainWindowLink.h"
#include "schedule/ScheduleSettings.h"

// How one scheduled start ended: when it began, how many companies its run
// wrote a row for and how many of those failed, or that an interactive
// backup was in progress and a busy row was written instead of a run.
struct ScheduledRunOutcome {
    QDateTime At;
    int Companies = 0;
    int Failed = 0;
    bool Busy = false;
};

class ScheduleOwner : public MainWindowLink {
public:
    // The main window's copy of the stored schedule (ScheduleSettings).
    virtual TScheduleSettings& ScheduleCopy() = 0;
    // Brings the schedule notice up to date and arms Timer1 when the schedule
    // is active; never disarms it.
    virtual void UpdateScheduleNotice() = 0;
    // Arms or disarms Timer2, which shows the busy picture while a
    // scheduled run works.
    virtual void SetBusyTimer(bool armed) = 0;
    // Shows picture `index` of ImageList1 (0 idle, 1 busy) as the
    // notification-area icon; no effect while there is no icon.
    virtual void SetTrayPicture(int index) = 0;
    // Told once every scheduled start has ended, after its closing steps.
    // Must return at once and must not throw.
    virtual void ScheduledRunEnded(const ScheduledRunOutcome& outcome) { (void)outcome; }
};

// The registered main window, or nullptr.
ScheduleOwner* CurrentScheduleOwner();
// Registers the main window (nullptr when it goes away).
void SetScheduleOwner(ScheduleOwner* owner);
