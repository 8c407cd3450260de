// The program on a scratch installation with a stored plan of a local
// server (embedded engine) and a remote one (the shared test server) and a
// schedule for the coming minute: it waits for the scheduled second, backs
// up and verifies every company unattended, writes the log, and ends when
// its main window is closed and the close warning is answered.
//
// The close comes from outside as SIGTERM, which the program turns into a
// close of its main window; the test build of the program answers the
// warning by itself (ScriptedProgram.cpp) and leaves its line in the log.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "app/FMainForm.h"
#include "plan/BackupPlan.h"
#include "platform/Settings.h"
#include "schedule/ScheduleSettings.h"
#include "tests/support/TestDatabases.h"

namespace {

QString Env(const char* name) { return qEnvironmentVariable(name); }

QString CompanyCounts(const QString& database, const QString& password = {}) {
    return SqlQuery(database,
                    QStringLiteral(
                        "select (select count(*) from clientes), (select count(*) from articulos), "
                        "(select count(*) from facturas), (select count(*) from lineas) "
                        "from rdb$database;"),
                    password)
        .value(0);
}

}  // namespace

class TestScheduledRun : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QString remoteRoot_;  // on the test server's side

    QString Path(const QString& name) const { return home_.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        QVERIFY2(!Env("QB_TEST_SERVER_IP").isEmpty(),
                 "needs the shared test server (fixture FbServer)");
        QVERIFY(QFile::exists(QString::fromUtf8(QB_PROGRAM)));
    }

    void cleanupTestCase() {
        if (!remoteRoot_.isEmpty()) QDir(remoteRoot_).removeRecursively();
    }

    void scheduledMinuteBacksUpEveryCompany() {
        const QString serverIp = Env("QB_TEST_SERVER_IP");
        const QString serverPassword = Env("QB_TEST_SERVER_PASSWORD");

        // The installation: the program, Servidores.gdb and an empty log.
        const QString install = Path(QStringLiteral("QuillbaseBackup"));
        QVERIFY(QDir().mkpath(install));
        const QString program = install + QStringLiteral("/QuillbaseBackup");
        QVERIFY(QFile::copy(QString::fromUtf8(QB_PROGRAM), program));
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(MakeBackupLog(install + QStringLiteral("/Backup.fdb")));

        // A local server with two companies, a remote one with one.
        const QString local = Path(QStringLiteral("Oficina"));
        remoteRoot_ = Env("QB_TEST_SERVER_DIR") +
                      QStringLiteral("/programado-%1").arg(QCoreApplication::applicationPid());
        const QString remote = remoteRoot_ + QStringLiteral("/Central");
        const QString sample = Path(QStringLiteral("muestra.orv"));
        QVERIFY(MakeCompanyDatabase(sample));
        const QString expectedCounts = CompanyCounts(sample);
        QVERIFY(!expectedCounts.isEmpty());
        QStringList companies;
        // In the order of the plan as the store gives it back: servers by name.
        for (const QString& folder :
             {remote + QStringLiteral("/CENTRAL1"), local + QStringLiteral("/EMPRESA1"),
              local + QStringLiteral("/EMPRESA2")}) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::copy(sample, folder + QStringLiteral("/Quillbase.orv")));
            companies << folder;
        }
        QVERIFY(MakeCompanyCatalogue(local + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
        QVERIFY(MakeCompanyCatalogue(remote + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("CENTRAL1")}));
        QVERIFY(MakeServerCatalogue(install + QStringLiteral("/Servidores.gdb"),
                                    {{QStringLiteral("Oficina"), local, QString()},
                                     {QStringLiteral("Central"), remote, serverIp}}));
        const QString localCopies = Path(QStringLiteral("copias-oficina"));
        const QString remoteCopies = remoteRoot_ + QStringLiteral("/copias");
        QVERIFY(QDir().mkpath(localCopies));
        QVERIFY(QDir().mkpath(remoteCopies));

        // The stored plan, and a schedule for the coming minute (the one after
        // when this one is nearly over).
        qputenv("XDG_CONFIG_HOME", Path(QStringLiteral("config")).toLocal8Bit());
        QVERIFY(QDir().mkpath(Path(QStringLiteral("runtime"))));
        QFile::setPermissions(Path(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString localServer = QStringLiteral("[]Oficina");
        const QString remoteServer = QStringLiteral("[%1]Central").arg(serverIp);
        BackupPlan plan;
        plan.Servers = {
            PlanServer{remoteServer, {kDestinationTag + remoteCopies, companies[0]}},
            PlanServer{localServer, {kDestinationTag + localCopies, companies[1], companies[2]}}};
        plan.SavePlan();

        const QDateTime now = QDateTime::currentDateTime();
        const QTime thisMinute(now.time().hour(), now.time().minute());
        QDateTime start(now.date(), thisMinute);
        start = start.addSecs(now.time().second() >= 45 ? 120 : 60);
        const QString hora = start.time().toString(QStringLiteral("HH:mm:ss"));
        platform::SettingsStore store;
        store.WriteString(kScheduleKey, QStringLiteral("dias"),
                          QString(WeekdayDigit(start.date())));
        store.WriteString(kScheduleKey, QStringLiteral("hora"), hora);
        store.WriteString(kScheduleKey, QStringLiteral("Activada"), QStringLiteral("T"));

        // The program, on its own, with the server's password as its database password.
        const QString dialogLog = Path(QStringLiteral("dialogs.log"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("QB_DIALOG_LOG"), dialogLog);
        env.insert(QStringLiteral("ISC_PASSWORD"), serverPassword);
        for (const char* name : {"ISC_USER", "FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP"})
            env.remove(QString::fromLatin1(name));
        QProcess running;
        running.setProcessEnvironment(env);
        running.setProcessChannelMode(QProcess::ForwardedChannels);
        running.start(program, {});
        QVERIFY(running.waitForStarted());

        // Nothing before the scheduled second.
        const auto backups = [](const QString& folder) {
            return QDir(folder).entryList({QStringLiteral("*.fbk")}, QDir::Files, QDir::Name);
        };
        while (QDateTime::currentDateTime() < start.addMSecs(-300)) {
            QVERIFY2(running.state() == QProcess::Running, "the program ended before its time");
            QVERIFY(backups(localCopies).isEmpty() && backups(remoteCopies).isEmpty());
            QTest::qWait(200);
        }
        // Then every company, the last two into this computer's folder.
        QTRY_VERIFY_WITH_TIMEOUT(
            backups(remoteCopies).size() == 1 && backups(localCopies).size() == 2 &&
                QFile::exists(localCopies + QStringLiteral("/Verificacopia.vrf")),
            40000);
        QCOMPARE(running.state(), QProcess::Running);

        // Closed from outside: the warning answers "Salir" by itself. A close
        // that comes in the middle of the run ends the program after it.
        QTest::qWait(5000);
        ::kill(static_cast<pid_t>(running.processId()), SIGTERM);
        QVERIFY2(running.waitForFinished(60000), "the program did not end after its close");
        QCOMPARE(running.exitStatus(), QProcess::NormalExit);
        QCOMPARE(running.exitCode(), 0);

        QFile log(dialogLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(log.readAll()),
            QStringLiteral(
                "Aviso|Si cierra este programa no se ejecutará la copia de seguridad automática\\n"
                "Existe una copia programada para\\n%1\\nHora : %2\n")
                .arg(ScheduleDayList(QString(WeekdayDigit(start.date()))), hora));

        // One backup file per company, stamped in the scheduled minute (or the
        // next one, for a slow machine), and the verification databases.
        const QStringList stamps{start.toString(QStringLiteral("ddMMyy_HHmm")),
                                 start.addSecs(60).toString(QStringLiteral("ddMMyy_HHmm"))};
        const QRegularExpression stamp(QStringLiteral("_(\\d{6}_\\d{4})\\.fbk$"));
        QStringList files;
        for (const QString& file : backups(remoteCopies)) files << remoteCopies + u'/' + file;
        for (const QString& file : backups(localCopies)) files << localCopies + u'/' + file;
        QCOMPARE(files.size(), 3);
        QVERIFY2(
            QFileInfo(files[0]).fileName().startsWith(remoteServer + QStringLiteral("_CENTRAL1_")),
            qPrintable(files[0]));
        QVERIFY2(
            QFileInfo(files[1]).fileName().startsWith(localServer + QStringLiteral("_EMPRESA1_")),
            qPrintable(files[1]));
        QVERIFY2(
            QFileInfo(files[2]).fileName().startsWith(localServer + QStringLiteral("_EMPRESA2_")),
            qPrintable(files[2]));
        for (const QString& file : files) {
            QVERIFY2(stamps.contains(stamp.match(file).captured(1)), qPrintable(file));
            QVERIFY(QFileInfo(file).size() > 0);
        }
        QCOMPARE(CompanyCounts(localCopies + QStringLiteral("/Verificacopia.vrf")), expectedCounts);
        QCOMPARE(
            CompanyCounts(serverIp + u':' + remoteCopies + QStringLiteral("/Verificacopia.vrf"),
                          serverPassword),
            expectedCounts);

        // Three rows, in the order of the plan, all successful.
        const QList<QStringList> rows =
            SqlRows(install + QStringLiteral("/Backup.fdb"),
                    QStringLiteral("select fecha, hora, servidor, empresa, destino, exito, "
                                   "observaciones from backuplog order by rdb$db_key;"));
        QCOMPARE(rows.size(), 3);
        const QStringList servers{remoteServer, localServer, localServer};
        for (int i = 0; i < 3; ++i) {
            const QStringList& row = rows[i];
            QCOMPARE(row.value(0), start.date().toString(QStringLiteral("yyyy-MM-dd")));
            QVERIFY2(row.value(1) == start.toString(QStringLiteral("HH:mm")) ||
                         row.value(1) == start.addSecs(60).toString(QStringLiteral("HH:mm")),
                     qPrintable(row.value(1)));
            QCOMPARE(row.value(2), servers[i]);
            QCOMPARE(row.value(3), companies[i] + QStringLiteral("/Quillbase.orv"));
            QCOMPARE(row.value(4), files[i]);
            QCOMPARE(row.value(5), QStringLiteral("T"));
            QVERIFY2(row.value(6).isEmpty(), qPrintable(row.value(6)));
        }
    }
};

QTEST_GUILESS_MAIN(TestScheduledRun)
#include "tst_scheduledrun.moc"
