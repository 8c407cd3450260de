#pragma once
// What the backup run tests share: a backup window without a screen (the
// plan and the window state the run reads), a main window that records its
// timer and status lines, a clock that gives chosen instants, a watcher of
// the progress windows, answers for modal windows, and the checks of a
// backup file (restored with gbak and its rows counted) and of the log.

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "backup/BackupLog.h"
#include "backup/BackupRun.h"
#include "backup/MainWindowLink.h"
#include "platform/Clock.h"
#include "tests/backup/LogRows.h"
#include "tests/support/TestDatabases.h"

// The offscreen platform cannot raise a window; the run raises its progress
// window after every line. Those warnings are dropped, all others kept.
inline void QuietOffscreenPlatform() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(u"This plugin does not support")) return;
            if (previous != nullptr) previous(type, context, text);
        });
}

// The backup window as the run sees it.
class TestHost : public BackupRunHost {
public:
    BackupPlan plan;
    PlanRef selected;
    bool treeHasFocus = true;
    bool controlsEnabled = true;
    int controlsDisabledCount = 0;
    int focusTreeCount = 0;
    bool unattended = false;
    QStringList remarks;
    QList<PlanRef> selections;
    QWidget window;

    BackupPlan& Plan() override { return plan; }
    PlanRef SelectedEntry() const override { return selected; }
    void SelectEntry(const PlanRef& entry) override {
        selected = entry;
        selections.append(entry);
    }
    bool TreeHasFocus() const override { return treeHasFocus; }
    void SetRunControlsEnabled(bool enabled) override {
        controlsEnabled = enabled;
        if (!enabled) ++controlsDisabledCount;
    }
    void FocusTree() override {
        ++focusTreeCount;
        treeHasFocus = true;
    }
    bool Unattended() const override { return unattended; }
    void SetUnattended(bool value) override { unattended = value; }
    QStringList& Remarks() override { return remarks; }
    QWidget* Window() override { return &window; }

    int AddServer(const QString& text, const QStringList& children, int conservar = 0) {
        plan.Servers.append(PlanServer{text, children, false, conservar});
        return static_cast<int>(plan.Servers.size()) - 1;
    }
    // A click on a server entry, or on one of its children.
    void PickServer(int server) {
        plan.CurrentServerEntry = server;
        plan.CurrentChildEntry = PlanRef();
        selected = PlanRef::ServerEntry(server);
    }
    void PickChild(int server, int child) {
        plan.CurrentServerEntry = server;
        plan.CurrentChildEntry = PlanRef::ChildEntry(server, child);
        selected = plan.CurrentChildEntry;
    }
};

// The main window as the run sees it.
class FakeMainWindow : public MainWindowLink {
public:
    FakeMainWindow() {
        window.setGeometry(100, 100, 700, 500);
        SetMainWindowLink(this);
    }
    ~FakeMainWindow() override { SetMainWindowLink(nullptr); }
    FakeMainWindow(const FakeMainWindow&) = delete;
    FakeMainWindow& operator=(const FakeMainWindow&) = delete;

    bool scheduleActive = false;
    bool timerArmed = false;
    int stops = 0;
    int rearms = 0;
    QString st1;
    QString st2;
    QStringList st1Lines;  // every text st1 was given
    QStringList st2Lines;
    int pumps = 0;
    std::function<void(const QString&)> onSt1;
    std::function<void(const QString&)> onSt2;
    QWidget window;

    QWidget* MainWindow() override { return &window; }
    void StopScheduleTimer() override {
        ++stops;
        timerArmed = false;
    }
    void RearmScheduleTimer() override {
        ++rearms;
        if (scheduleActive) timerArmed = true;
    }
    void SetSt1(const QString& text) override {
        st1 = text;
        st1Lines.append(text);
        if (onSt1) onSt1(text);
    }
    void SetSt2(const QString& text) override {
        st2 = text;
        st2Lines.append(text);
        if (onSt2) onSt2(text);
    }
    void ProcessMessages() override {
        ++pumps;
        MainWindowLink::ProcessMessages();
    }
};

// Gives `start` on the first reading and `step` seconds more on each next.
class SteppingClock : public platform::Clock {
public:
    explicit SteppingClock(const QDateTime& start, int stepSeconds = 60)
        : next_(start), step_(stepSeconds) {
        platform::SetClock(this);
    }
    ~SteppingClock() override { platform::SetClock(nullptr); }
    SteppingClock(const SteppingClock&) = delete;
    SteppingClock& operator=(const SteppingClock&) = delete;

    QDateTime Now() const override {
        ++readings;
        const QDateTime now = next_;
        next_ = next_.addSecs(step_);
        return now;
    }
    mutable int readings = 0;

private:
    mutable QDateTime next_;
    int step_;
};

// Records every progress window "Progreso": its caption and its memo's text
// as it stood when the window went away, and what `probe` said when it was
// first shown.
class ProgressWatcher : public QObject {
public:
    struct Shown {
        QString caption;
        QString text;
        QString probe;
        QPointer<QWidget> window;  // null once the window is destroyed
    };
    std::function<QString()> probe;
    QList<Shown> windows;

    ProgressWatcher() { qApp->installEventFilter(this); }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == u"Progreso" &&
            watched->isWidgetType()) {
            const int index = static_cast<int>(windows.size());
            auto* window = static_cast<QWidget*>(watched);
            windows.append(
                Shown{window->windowTitle(), QString(), probe ? probe() : QString(), window});
            if (auto* memo = watched->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))) {
                windows[index].text = memo->toPlainText();
                QObject::connect(memo, &QPlainTextEdit::textChanged, this, [this, index, memo] {
                    windows[index].text = memo->toPlainText();
                });
            }
        }
        return false;
    }
};

// While it exists, calls `act` once with each modal window that opens, from
// inside that window's event loop.
class ModalAnswers : public QObject {
public:
    explicit ModalAnswers(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        timer_.callOnTimeout(this, [this] { Poll(); });
        timer_.start(10);
    }
    int count = 0;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal == last_.data()) return;
        last_ = modal;
        ++count;
        act_(modal);
    }

    std::function<void(QWidget*)> act_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

// The scratch area of a run test: fresh folders, and company folders each
// holding a copy of one company database, made once and never opened by the
// test process (whose embedded engine would otherwise hold it).
class ScratchArea {
public:
    bool Init() {
        template_ = dir_.filePath(QStringLiteral("plantilla/Quillbase.orv"));
        return dir_.isValid() && MakeCompanyDatabase(template_);
    }
    QString CompanyTemplate() const { return template_; }
    QString FilePath(const QString& name) const { return dir_.filePath(name); }

    QString NewFolder(const QString& name) {
        const QString folder = dir_.filePath(QStringLiteral("%1-%2").arg(++folders_).arg(name));
        QDir().mkpath(folder);
        return folder;
    }

    // A company folder holding its Quillbase.orv.
    QString NewCompany(const QString& name) {
        const QString folder = NewFolder(QStringLiteral("empresas")) + u'/' + name;
        QDir().mkpath(folder);
        if (!QFile::copy(template_, folder + u'/' + backuprun::kCompanyDatabase))
            qFatal("cannot copy the company database");
        return folder;
    }

private:
    QTemporaryDir dir_;
    QString template_;
    int folders_ = 0;
};

// The row counts of a company database's four tables, "c|a|f|l".
inline QString CompanyCounts(const QString& database) {
    const QStringList counts = SqlQuery(
        database,
        QStringLiteral(
            "select (select count(*) from clientes), (select count(*) from articulos), "
            "(select count(*) from facturas), (select count(*) from lineas) from rdb$database;"));
    return counts.value(0);
}

// Restores a backup file with gbak through the embedded engine; the new
// database's row counts, or "" when gbak failed.
inline QString RestoredCounts(const QString& backupFile, const QString& target) {
    QFile::remove(target);
    QProcess gbak;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD"})
        env.remove(QString::fromLatin1(name));
    gbak.setProcessEnvironment(env);
    gbak.setProcessChannelMode(QProcess::MergedChannels);
    gbak.start(QStringLiteral("gbak"),
               {QStringLiteral("-c"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                QStringLiteral("-password"), QStringLiteral("x"), backupFile, target});
    if (!gbak.waitForFinished(60000) || gbak.exitStatus() != QProcess::NormalExit ||
        gbak.exitCode() != 0) {
        qWarning("gbak -c %s failed: %s", qPrintable(backupFile), gbak.readAll().constData());
        return QString();
    }
    return CompanyCounts(target);
}
