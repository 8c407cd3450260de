// Which engine serves a database named without a host is the installation's
// choice (QuillbaseBackup.conf beside the executable), never a probe: an
// embedded installation stays in-process while a server listens on this
// computer, and a server installation takes the server's refusal as the
// answer. A private server on 127.0.0.1:3050 stands in for the computer's.

#include "backup/BackupLog.h"
#include "db/FData.h"
#include "db/Installation.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class TestLocalServer : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString database_;
    QString company_;
    std::unique_ptr<FirebirdTestServer> server_;  // ours, when the port was free
    const QString serverPassword_ = QStringLiteral("Local.123");

    static bool PortTaken() {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), 3050);
        return socket.waitForConnected(500);
    }

    void WriteChoice(const QByteArray& text) {
        QFile file(scratch_.filePath(kInstallationFile));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QStringList Aliases(TData& data) {
        data.IBSQLServidores.SetSql(QStringLiteral("select alias from servidores"));
        QStringList aliases;
        data.ReadRows(data.IBDServidores, data.IBTServidores, data.IBSQLServidores,
                      [&](const fb::Statement& row) { aliases << row.Field(0); });
        return aliases;
    }

    // Runs a service action through the local service manager to its end.
    static void RunService(fb::Service& service, const QByteArray& request) {
        service.Start(request);
        QString line;
        while (service.NextLine(&line)) {
        }
        service.Detach();
    }

private slots:
    void initTestCase() {
        database_ = scratch_.filePath(QStringLiteral("Servidores.gdb"));
        QVERIFY(MakeServerCatalogue(database_, {{QStringLiteral("Central"), QStringLiteral("C:\\Quillbase"), QString()}}));
        company_ = scratch_.filePath(QStringLiteral("EMPRESA1/Quillbase.orv"));
        QVERIFY(MakeCompanyDatabase(company_));
        QVERIFY(MakeBackupLog(scratch_.filePath(QStringLiteral("Backup.fdb"))));
        platform::SetExecutableDirectory(scratch_.path());
        if (PortTaken()) {
            qInfo("127.0.0.1:3050 is taken by another program: the embedded installation is tried "
                  "beside it, the server installation is skipped");
            return;
        }
        server_ = std::make_unique<FirebirdTestServer>();
        QVERIFY2(server_->start(QStringLiteral("127.0.0.1"), serverPassword_), qPrintable(server_->lastError()));
    }

    void cleanupTestCase() {
        fb::SetLocalProvider(fb::LocalProvider::Embedded);
        if (server_) server_->stop();
    }

    void theInstallationFileSaysWhichEngine() {
        QFile::remove(scratch_.filePath(kInstallationFile));
        QCOMPARE(InstallationLocalProvider(scratch_.path()), fb::LocalProvider::Embedded);
        WriteChoice("# the machine's server\nLocalEngine=server\n");
        QCOMPARE(InstallationLocalProvider(scratch_.path()), fb::LocalProvider::Loopback);
        WriteChoice(" localengine = Server \r\n");
        QCOMPARE(InstallationLocalProvider(scratch_.path()), fb::LocalProvider::Loopback);
        WriteChoice("LocalEngine=embedded\n");
        QCOMPARE(InstallationLocalProvider(scratch_.path()), fb::LocalProvider::Embedded);
        WriteChoice("#LocalEngine=server\nLocalEngine=servidor\n");
        QCOMPARE(InstallationLocalProvider(scratch_.path()), fb::LocalProvider::Embedded);
        QFile::remove(scratch_.filePath(kInstallationFile));
    }

    // The demo's kind: its own files, a password no server knows, and a
    // server listening all the while.
    void anEmbeddedInstallationStaysInProcessBesideARunningServer() {
        QVERIFY(PortTaken());
        fb::SetLocalProvider(InstallationLocalProvider(scratch_.path()));
        FakeDialogs dialogs;
        TData data(QStringLiteral("ninguna"));
        QVERIFY(data.OpenDatabaseSession(data.IBDServidores, database_, LongFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        QCOMPARE(Aliases(data), QStringList{QStringLiteral("Central")});

        // A backup and its verification through the local service manager;
        // the backup file, written with the program's file rights, is for
        // the operator alone.
        RestrictNewFiles();
        const QString backup = scratch_.filePath(QStringLiteral("copia.fbk"));
        const QString verification = scratch_.filePath(QStringLiteral("Verificacopia.vrf"));
        data.IBBackup.SetDatabaseName(company_);
        QVERIFY(data.AttachServiceSession(data.IBBackup, QString(), ReportMode::Interactive));
        RunService(data.IBBackup, fb::BuildBackupStartParams(company_, backup, 0, true));
        QVERIFY(data.AttachServiceSession(data.IBBackup, QString(), ReportMode::Interactive));
        RunService(data.IBBackup,
                   fb::BuildRestoreStartParams(backup, verification, 0x1000 | 0x2000, 4096, 3000, true));
        QVERIFY(QFileInfo(verification).size() > 0);
        QVERIFY(QFileInfo(backup).size() > 0);
        QCOMPARE(QFile::permissions(backup) &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());

        // The log append lets go of the file at once: another program
        // (here isql, with an engine of its own) reads it meanwhile.
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), QStringLiteral("[]Local"),
                       company_, backup, QStringLiteral("T"), {});
        QVERIFY(!data.IBDBackup.Connected());
        QCOMPARE(SqlQuery(BackupLogName(), QStringLiteral("select servidor from backuplog")),
                 QStringList{QStringLiteral("[]Local")});
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
    }

    // The package's kind: the server owns the local databases; its refusal
    // is reported and nothing is tried in-process.
    void aServerInstallationGoesToTheServerAndItsRefusalStands() {
        if (!server_) QSKIP("127.0.0.1:3050 is taken by another program: no server of our own there");
        WriteChoice("LocalEngine=server\n");
        fb::SetLocalProvider(InstallationLocalProvider(scratch_.path()));
        QFile::remove(scratch_.filePath(kInstallationFile));

        FakeDialogs dialogs;
        TData refused(QStringLiteral("mala"));
        QVERIFY(!refused.OpenDatabaseSession(refused.IBDServidores, database_, LongFallbackPassword,
                                             SessionPrecondition::DisconnectFirst));
        refused.IBBackup.SetDatabaseName(company_);
        QVERIFY(!refused.AttachServiceSession(refused.IBBackup, QString(), ReportMode::Interactive));
        const QString denied = QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos");
        QCOMPARE(dialogs.texts(), (QStringList{QStringLiteral("Acceso denegado a\n\r") + database_ + denied,
                                               QStringLiteral("Acceso denegado a\n\r") + company_ + denied}));

        TData accepted(serverPassword_);
        QVERIFY(accepted.OpenDatabaseSession(accepted.IBDServidores, database_, LongFallbackPassword,
                                             SessionPrecondition::DisconnectFirst));
        QCOMPARE(Aliases(accepted), QStringList{QStringLiteral("Central")});
        // Through a server the log connection stays open after the append,
        // and the server shares the file with everybody else.
        WriteBackupLog(accepted, QStringLiteral("10/12/2026"), QStringLiteral("07:05"), QStringLiteral("[]Local"),
                       company_, QString(), QStringLiteral("F"), {});
        QVERIFY(accepted.IBDBackup.Connected());
        QCOMPARE(dialogs.messages.size(), 2);
        accepted.IBDBackup.Disconnect();
        fb::SetLocalProvider(fb::LocalProvider::Embedded);
    }
};

QTEST_GUILESS_MAIN(TestLocalServer)
#include "tst_localserver.moc"
