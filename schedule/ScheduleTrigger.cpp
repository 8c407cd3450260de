#include "schedule/ScheduleTrigger.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <optional>

#include "backup/BackupLog.h"
#include "backup/BackupRun.h"
#include "plan/FBackupForm.h"
#include "platform/Clock.h"
#include "schedule/ScheduleOwner.h"
#include "schedule/ScheduledRunGuard.h"

QWidget* FindOpenWindow(const QString& name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == name) return window;
    }
    return nullptr;
}

TScheduleTrigger::TScheduleTrigger(ScheduleOwner& owner) : owner_(owner) {}

bool TScheduleTrigger::Timer1Timer() {
    const QDateTime now = platform::CurrentClock().Now();
    if (!IsScheduledSecond(owner_.ScheduleCopy(), now)) return false;
    Start(now);
    return true;
}

void TScheduleTrigger::Start(const QDateTime& now) {
    owner_.StopScheduleTimer();

    // The closing steps, in this order, however the start ends; then the
    // main window learns how the start went.
    struct Closing {
        ScheduleOwner& owner;
        QPointer<TBackupForm> backupButtonToEnable;
        std::unique_ptr<TBackupForm> created;
        ScheduledRunOutcome outcome;
        QPointer<TBackupForm> ran;
        // Holds the operator's input back for the run's length; goes last.
        std::optional<ScheduledRunGuard> guard;
        ~Closing() {
            owner.SetBusyTimer(false);
            owner.SetTrayPicture(0);
            if (backupButtonToEnable) backupButtonToEnable->spBackup->setEnabled(true);
            owner.RearmScheduleTimer();
            if (ran) {
                outcome.Companies = ran->ScheduledCompanies;
                outcome.Failed = ran->ScheduledFailures;
            }
            created.reset();
            owner.ScheduledRunEnded(outcome);
        }
    } closing{owner_, {}, {}, {now}, {}, {}};

    QPointer<TBackupForm> window =
        qobject_cast<TBackupForm*>(FindOpenWindow(QStringLiteral("BackupForm")));
    if (window != nullptr &&
        (window->InteractiveRun || FindOpenWindow(QStringLiteral("Progreso")) != nullptr)) {
        // An interactive backup is in progress, perhaps between its windows:
        // no second run.
        closing.outcome.Busy = true;
        WriteBusyRow(*window, now);
        return;
    }
    closing.guard.emplace();
    if (window != nullptr) {
        // The open window's plan is run as it is shown, saved or not.
        window->spBackup->setEnabled(false);
        closing.backupButtonToEnable = window;
    } else {
        // Never shown; its creation loads the catalogue and the stored plan.
        closing.created = std::make_unique<TBackupForm>(*Data, owner_.MainWindow());
        window = closing.created.get();
    }

    owner_.SetBusyTimer(true);
    owner_.ProcessMessages();
    // Blocks the GUI thread on purpose: nothing else runs before the run.
    if (StartDelayMs > 0) QThread::msleep(static_cast<unsigned long>(StartDelayMs));
    if (window != nullptr) {
        closing.ran = window;
        window->RunScheduledBackup();
    }
}

void TScheduleTrigger::WriteBusyRow(TBackupForm& window, const QDateTime& now) {
    // The row's remarks come from the window's list: lend it ours for the
    // length of the call, and give the running backup its own back.
    QStringList own{kBusyRemark};
    window.Remarks.swap(own);
    struct GiveBack {
        QPointer<TBackupForm> window;
        QStringList& own;
        ~GiveBack() {
            if (window) window->Remarks.swap(own);
        }
    } giveBack{&window, own};

    WriteBackupLog(*Data, backuprun::DateText(now), backuprun::TimeText(now), QString(), QString(),
                   QString(), QStringLiteral("F"), window.Remarks);
}
