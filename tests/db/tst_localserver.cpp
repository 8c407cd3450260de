// A local database goes to this computer's Firebird server when one answers,
// and to the engine inside the program only when none does. A refused
// password from a running server is a refusal, never a reason to go
// in-process.

#include "db/FData.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class TestLocalServer : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString database_;

    static bool PortTaken() {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), 3050);
        return socket.waitForConnected(500);
    }

private slots:
    void initTestCase() {
        database_ = scratch_.filePath(QStringLiteral("Servidores.gdb"));
        QVERIFY(MakeServerCatalogue(database_, {{QStringLiteral("Central"), QStringLiteral("C:\\Quillbase"), QString()}}));
    }

    void withoutALocalServerTheEmbeddedEngineServes() {
        if (PortTaken()) QSKIP("a Firebird server of this computer listens on 127.0.0.1:3050");
        FakeDialogs dialogs;
        TData data(QStringLiteral("cualquiera"));
        QVERIFY(data.OpenDatabaseSession(data.IBDServidores, database_, LongFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        data.CloseDatabaseSession(data.IBDServidores, data.IBTServidores);
        data.IBBackup.SetDatabaseName(database_);
        QVERIFY(data.AttachServiceSession(data.IBBackup, QString(), ReportMode::Interactive));
        QCOMPARE(data.IBBackup.ServiceManagerName(), QStringLiteral("service_mgr"));
        data.IBBackup.Detach();
        QVERIFY(dialogs.messages.isEmpty());
    }

    void aRunningLocalServerIsUsedAndItsRefusalStands() {
        if (PortTaken()) QSKIP("a Firebird server of this computer listens on 127.0.0.1:3050");
        FirebirdTestServer server;
        QVERIFY(server.start(QStringLiteral("127.0.0.1"), QStringLiteral("Local.123")));

        FakeDialogs dialogs;
        TData refused(QStringLiteral("mala"));
        QVERIFY(!refused.OpenDatabaseSession(refused.IBDServidores, database_, LongFallbackPassword,
                                             SessionPrecondition::DisconnectFirst));
        QCOMPARE(dialogs.texts(),
                 QStringList{QStringLiteral("Acceso denegado a\n\r") + database_ +
                             QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos")});

        TData accepted(QStringLiteral("Local.123"));
        QVERIFY(accepted.OpenDatabaseSession(accepted.IBDServidores, database_, LongFallbackPassword,
                                             SessionPrecondition::DisconnectFirst));
        accepted.IBSQLServidores.SetSql(QStringLiteral("select alias from servidores"));
        QStringList aliases;
        accepted.ReadRows(accepted.IBDServidores, accepted.IBTServidores, accepted.IBSQLServidores,
                          [&](const fb::Statement& row) { aliases << row.Field(0); });
        QCOMPARE(aliases, QStringList{QStringLiteral("Central")});
        QCOMPARE(dialogs.messages.size(), 1);
        server.stop();
    }
};

QTEST_GUILESS_MAIN(TestLocalServer)
#include "tst_localserver.moc"
