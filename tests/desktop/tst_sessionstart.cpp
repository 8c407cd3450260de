// The real program as the desktop session starts it at login: from its own
// autostart entry's Exec line, with only the environment a session gives
// (no ISC_PASSWORD: the password lives in the session's environment.d), on
// an X display without any window manager, so that its main window is
// shown but never activated. A stored schedule still runs at its minute,
// and backs up a company of a server whose SYSDBA password is neither of
// the program's fallbacks.

#include "db/FData.h"
#include "tests/desktop/DesktopKit.h"
#include "tests/support/FirebirdTestServer.h"

using namespace desktop;

namespace {

const QString kPassword = QStringLiteral("Sesion 2026$x");

// The program and its arguments from a desktop entry's Exec line: the
// escapes of a string value first, then the quoting of the arguments.
QStringList ExecCommand(const QString& entryPath) {
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString exec;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("Exec="))) exec = line.mid(5);
    }
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == u'\\' && i + 1 < exec.size()) {
            const QChar c = exec[++i];
            value += c == u's'   ? QChar(u' ')
                     : c == u'n' ? QChar(u'\n')
                     : c == u't' ? QChar(u'\t')
                                 : c;
        } else {
            value += exec[i];
        }
    }
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quoted && c == u'\\' && i + 1 < value.size()) {
            current += value[++i];
        } else if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c == u' ' && !quoted) {
            if (any || !current.isEmpty()) arguments << current;
            current.clear();
            any = false;
        } else if (c == u'%' && i + 1 < value.size() && value[i + 1] == u'%') {
            current += value[++i];
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) arguments << current;
    return arguments;
}

}  // namespace

class TestSessionStart : public QObject {
    Q_OBJECT

    Installation install_;
    FirebirdTestServer server_;
    QProcess program_;

    Wid WaitForMainWindow() const {
        Wid main = 0;
        WaitFor(
            [&] {
                for (const Wid id : VisibleWindows(program_.processId())) {
                    if (Info(id).rect.size() == QSize(724, 439)) main = id;
                }
                return main != 0;
            },
            20000);
        return main;
    }

    // Closed from outside, as the session does at logout; the close warning
    // (if any) answered with its button "Salir".
    void CloseProgram(bool warning) {
        const QList<Wid> before = VisibleWindows(program_.processId());
        program_.terminate();
        if (warning) {
            Wid aviso = 0;
            QVERIFY2(
                WaitFor(
                    [&] {
                        aviso =
                            WindowsNamed(program_.processId(), QStringLiteral("Aviso")).value(0);
                        return aviso != 0;
                    },
                    15000),
                "no close warning");
            QTest::qWait(300);
            Click(Info(aviso).rect.topLeft() + QPoint(24 + 138, 270 + 36));
        }
        QVERIFY2(program_.waitForFinished(30000), "the program did not end");
        QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program_.exitCode(), 0);
    }

private slots:
    void scheduledRunFromTheAutostartEntry() {
        QVERIFY2(!FixtureDisplay().isEmpty(),
                 "needs the desktop fixture (tests/desktop/desktop.sh)");
        QVERIFY(kPassword != LongFallbackPassword && kPassword != ShortFallbackPassword);
        QVERIFY2(server_.start(QStringLiteral("127.0.0.14"), kPassword),
                 qPrintable(server_.lastError()));

        // A server of the office with one company, its copies on the server's side.
        const QString remote = server_.dir() + QStringLiteral("/Central");
        const QString copies = server_.dir() + QStringLiteral("/copias");
        QVERIFY(QDir().mkpath(copies));
        QVERIFY(install_.Make({{QStringLiteral("Central"), remote, server_.ip()}}));
        QVERIFY(install_.MakeLocalServer(remote, {QStringLiteral("CENTRAL1")}));

        // The program writes its own autostart entry when its box is clicked.
        QVERIFY(install_.Start(program_));
        const Wid first = WaitForMainWindow();
        QVERIFY2(first, "the main window did not come up");
        QTest::qWait(500);
        Click(Info(first).rect.topLeft() + QPoint(32 + 8, 73 + 212 + 9));
        const QString entry =
            install_.ConfigHome() + QStringLiteral("/autostart/QuillbaseBackup.desktop");
        QVERIFY2(WaitFor([&] { return QFile::exists(entry); }, 15000), "no autostart entry");
        CloseProgram(false);
        if (QTest::currentTestFailed()) return;
        const QStringList command = ExecCommand(entry);
        QCOMPARE(command, QStringList{install_.Program()});

        // The plan, a schedule for the coming minute, and the password where
        // a desktop user keeps it for the session.
        const QString server = QStringLiteral("[%1]Central").arg(server_.ip());
        BackupPlan plan;
        plan.Servers = {
            PlanServer{server, {kDestinationTag + copies, remote + QStringLiteral("/CENTRAL1")}}};
        plan.SavePlan();
        const QDateTime start = NextMinute(20);
        StoreSchedule(start);
        const QString environmentFile =
            install_.ConfigHome() + QStringLiteral("/environment.d/60-quillbase.conf");
        QVERIFY(QDir().mkpath(QFileInfo(environmentFile).absolutePath()));
        {
            QFile file(environmentFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("# Quillbase Backup\nISC_PASSWORD='" + kPassword.toUtf8() + "'\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }

        // Started as the session starts it: nothing activates its window.
        QVERIFY(!install_.SessionEnvironment().contains(QStringLiteral("ISC_PASSWORD")));
        QVERIFY(install_.Start(program_, command));
        const Wid main = WaitForMainWindow();
        QVERIFY2(main, "the main window did not come up");
        QVERIFY(Run(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .text.contains(QStringLiteral("not found")));

        while (QDateTime::currentDateTime() < start.addMSecs(-500)) {
            QVERIFY2(program_.state() == QProcess::Running, "the program ended before its time");
            QVERIFY(Backups(copies).isEmpty());
            QTest::qWait(200);
        }
        QVERIFY2(WaitFor(
                     [&] {
                         return Backups(copies).size() == 1 &&
                                QFile::exists(copies + QStringLiteral("/Verificacopia.vrf"));
                     },
                     70000),
                 "the scheduled minute backed up nothing");
        // The log row is written once the verification is over.
        QTest::qWait(3000);
        CloseProgram(true);
        if (QTest::currentTestFailed()) return;

        const QList<QStringList> rows = install_.LogRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value(2), server);
        QCOMPARE(rows[0].value(3), remote + QStringLiteral("/CENTRAL1/Quillbase.orv"));
        QCOMPARE(rows[0].value(4), copies + u'/' + Backups(copies).value(0));
        QCOMPARE(rows[0].value(5), QStringLiteral("T"));
        QVERIFY2(rows[0].value(6).isEmpty(), qPrintable(rows[0].value(6)));
    }
};

QB_DESKTOP_TEST_MAIN(TestSessionStart)
#include "tst_sessionstart.moc"
