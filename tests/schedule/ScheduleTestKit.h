#pragma once
// What the schedule tests share: a main window that records what the
// dialog, the trigger and the backup run do to it, a clock set by hand, a
// scratch installation (settings, Servidores.gdb, Backup.fdb, company
// databases) and the rows of the log.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "backup/BackupLog.h"
#include "db/FData.h"
#include "plan/BackupPlan.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "schedule/ScheduleOwner.h"
#include "tests/backup/LogRows.h"
#include "tests/support/TestDatabases.h"

// The main window as the schedule and the backup run see it. Timer2 is a
// real 100 ms timer that shows picture 1, as the main window's does.
class FakeOwner : public ScheduleOwner {
public:
    FakeOwner() {
        window.setGeometry(200, 150, 724, 439);
        timer2.setInterval(100);
        timer2.callOnTimeout([this] { SetTrayPicture(1); });
        SetScheduleOwner(this);
        SetMainWindowLink(this);
    }
    ~FakeOwner() override {
        SetScheduleOwner(nullptr);
        SetMainWindowLink(nullptr);
    }
    FakeOwner(const FakeOwner&) = delete;
    FakeOwner& operator=(const FakeOwner&) = delete;

    TScheduleSettings settings;
    bool timer1Armed = false;
    // "stop", "rearm", "notice", "busy on", "busy off", "picture 0", ... in order;
    // Timer2's own pictures are counted, not listed.
    QStringList calls;
    int busyPictures = 0;
    int lastPicture = -1;
    int pumps = 0;
    QString st1;
    QString st2;
    std::function<void(const QString&)> onSt1;
    std::function<void(const QString&)> onSt2;
    std::function<void()> onPump;
    QWidget window;
    QTimer timer2;

    QWidget* MainWindow() override { return &window; }
    void StopScheduleTimer() override {
        calls << QStringLiteral("stop");
        timer1Armed = false;
    }
    void RearmScheduleTimer() override {
        calls << QStringLiteral("rearm");
        if (ScheduleActive(settings)) timer1Armed = true;
    }
    void SetSt1(const QString& text) override {
        st1 = text;
        if (onSt1) onSt1(text);
    }
    void SetSt2(const QString& text) override {
        st2 = text;
        if (onSt2) onSt2(text);
    }
    void ProcessMessages() override {
        ++pumps;
        MainWindowLink::ProcessMessages();
        if (onPump) onPump();  // after the pump: what it starts waits for the next one
    }
    TScheduleSettings& ScheduleCopy() override { return settings; }
    void UpdateScheduleNotice() override {
        calls << QStringLiteral("notice");
        if (ScheduleActive(settings)) timer1Armed = true;
    }
    void SetBusyTimer(bool armed) override {
        calls << (armed ? QStringLiteral("busy on") : QStringLiteral("busy off"));
        if (armed) {
            timer2.start();
        } else {
            timer2.stop();
        }
    }
    void SetTrayPicture(int index) override {
        lastPicture = index;
        if (index == 1 && timer2.isActive()) {
            ++busyPictures;
            return;
        }
        calls << QStringLiteral("picture %1").arg(index);
    }
};

// A clock that says what it is told.
class HandClock : public platform::Clock {
public:
    explicit HandClock(const QDateTime& start = {}) : now(start) { platform::SetClock(this); }
    ~HandClock() override { platform::SetClock(nullptr); }
    HandClock(const HandClock&) = delete;
    HandClock& operator=(const HandClock&) = delete;

    QDateTime Now() const override {
        ++readings;
        return now;
    }
    QDateTime now;
    mutable int readings = 0;
};

// Settings, lock folder and the program's folder of one test program.
class ScratchInstallation {
public:
    ScratchInstallation() {
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
        QDir().mkpath(dir.filePath(QStringLiteral("runtime")));
        QDir().mkpath(Program());
        platform::SetExecutableDirectory(Program());
    }
    ~ScratchInstallation() { platform::SetExecutableDirectory(QString()); }

    QString Program() const { return dir.filePath(QStringLiteral("programa")); }
    QString Folder(const QString& name) const {
        const QString path = dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    // A company folder holding a copy of `templateDatabase` as Quillbase.orv.
    QString Company(const QString& templateDatabase, const QString& server,
                    const QString& name) const {
        const QString folder = Folder(server + u'/' + name);
        QFile::remove(folder + QStringLiteral("/Quillbase.orv"));
        QFile::copy(templateDatabase, folder + QStringLiteral("/Quillbase.orv"));
        return folder;
    }
    // Forgets every setting: schedule, plan, everything.
    void ClearSettings() const { QFile::remove(platform::SettingsStore::FilePath()); }

    QTemporaryDir dir;
};

inline void StorePlan(const QList<PlanServer>& servers) {
    BackupPlan plan;
    plan.Servers = servers;
    plan.SavePlan();
}

// The open windows of a class, shown or not.
template <typename Window>
QList<Window*> OpenWindows() {
    QList<Window*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget)) windows << window;
    }
    return windows;
}

// While it exists, calls `act` once with each modal window that opens, from
// inside that window's event loop.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        timer_.callOnTimeout(this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible() || modal == last_.data()) return;
            last_ = modal;
            ++count;
            act_(modal);
        });
        timer_.start(10);
    }
    int count = 0;

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

// The offscreen platform cannot raise windows; those warnings are dropped.
inline void QuietOffscreenPlatform() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(u"This plugin does not support")) return;
            if (previous != nullptr) previous(type, context, text);
        });
}
