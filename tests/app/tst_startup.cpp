// The real program on a scratch installation: it starts, a second start in
// the same session says so and ends with code 0, and the first copy goes on;
// a request to end from outside closes its main window.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestStartup : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    QProcessEnvironment Environment(const QString& dialogLog) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("QB_DIALOG_LOG"), dialogLog);
        return env;
    }

    static QString Program() { return QString::fromUtf8(QB_PROGRAM); }

private slots:
    void initTestCase() {
        QVERIFY(QDir().mkpath(home_.filePath(QStringLiteral("config"))));
        QVERIFY(QDir().mkpath(home_.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(home_.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(QFile::exists(Program()), qPrintable(Program()));
    }

    void aSecondStartEndsAndTheFirstGoesOn() {
        const QString firstLog = home_.filePath(QStringLiteral("first.log"));
        const QString secondLog = home_.filePath(QStringLiteral("second.log"));
        QProcess first;
        first.setProcessEnvironment(Environment(firstLog));
        first.start(Program(), {});
        QVERIFY(first.waitForStarted());
        // The first copy holds the guard once its window exists.
        QTest::qWait(1500);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(Environment(secondLog));
        second.start(Program(), {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QFile log(secondLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()).trimmed(),
                 QStringLiteral("Quillbase Backup|El programa ya se está ejecutando..."));

        QTest::qWait(300);
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(!QFile::exists(firstLog));  // the first copy was told nothing
        first.kill();
        first.waitForFinished(5000);
    }

    void aTerminationRequestClosesTheMainWindow() {
        // No schedule stored: the close goes ahead without a question.
        const QString log = home_.filePath(QStringLiteral("terminate.log"));
        QProcess program;
        program.setProcessEnvironment(Environment(log));
        program.start(Program(), {});
        QVERIFY(program.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(program.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFile::exists(log));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
