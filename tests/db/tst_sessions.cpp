// The session rules against real databases: the embedded engine for local
// files, and a private Firebird server of this test's own whose SYSDBA
// password the test changes to make each attempt succeed or fail.

#include "db/FData.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using platform::MsgIcon;

namespace {

const QString kPassword = QStringLiteral("Prueba.1");
const QString kServerIp = QStringLiteral("127.0.0.3");

QString Denied(const QString& name) {
    return QStringLiteral("Acceso denegado a\n\r") + name +
           QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos");
}

}  // namespace

class TestSessions : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    std::unique_ptr<FirebirdTestServer> server_;
    QString serverDatabase_;  // "127.0.0.3:<path>"
    QString localDatabase_;

private slots:
    void initTestCase() {
        QVERIFY(scratch_.isValid());
        localDatabase_ = scratch_.filePath(QStringLiteral("Empresas.gdb"));
        QVERIFY(MakeCompanyCatalogue(localDatabase_, {QStringLiteral("EMPRESA1")}));
        const QString remotePath = scratch_.filePath(QStringLiteral("remota/Empresas.gdb"));
        QVERIFY(MakeCompanyCatalogue(remotePath, {QStringLiteral("REMOTA")}));
        serverDatabase_ = kServerIp + QLatin1Char(':') + remotePath;
        server_ = std::make_unique<FirebirdTestServer>();
        QVERIFY2(server_->start(kServerIp, kPassword), "the private Firebird server did not start");
    }

    void cleanupTestCase() { server_.reset(); }

    void init() { QVERIFY(server_->setPassword(kPassword)); }

    void embeddedOpenReadsAndClosesAgain() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("cualquiera"));
        QVERIFY(data.OpenDatabaseSession(data.IBDEmpresas, localDatabase_, LongFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        data.IBSQLEmpresas.SetSql(QStringLiteral("select * from empresas"));
        QStringList names;
        data.ReadRows(data.IBDEmpresas, data.IBTEmpresas, data.IBSQLEmpresas,
                      [&](const fb::Statement& row) { names << row.Field(QStringLiteral("NOMBREEMPRESA")); });
        QCOMPARE(names, QStringList{QStringLiteral("EMPRESA1")});
        QVERIFY(!data.IBDEmpresas.Connected());
        QVERIFY(!data.IBTEmpresas.InTransaction());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void preconditionsDecideWhetherAnOpenConnectionIsReused() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        QVERIFY(data.OpenDatabaseSession(data.IBDServidores, localDatabase_, LongFallbackPassword,
                                         SessionPrecondition::SkipWhenConnected));
        // Still connected: nothing is reconfigured, not even the name.
        QVERIFY(data.OpenDatabaseSession(data.IBDServidores, QStringLiteral("/no/such.gdb"),
                                         LongFallbackPassword, SessionPrecondition::SkipWhenConnected));
        QCOMPARE(data.IBDServidores.DatabaseName(), localDatabase_);
        QVERIFY(data.IBDServidores.Connected());
        // Disconnect first closes it and opens the new name, which fails.
        QVERIFY(!data.OpenDatabaseSession(data.IBDServidores, QStringLiteral("/no/such.gdb"),
                                          LongFallbackPassword, SessionPrecondition::DisconnectFirst));
        QVERIFY(!data.IBDServidores.Connected());
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void missingFileIsAGeneralFailureWithStatusZero() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        const QString missing = scratch_.filePath(QStringLiteral("no-existe/Backup.fdb"));
        QVERIFY(!data.OpenDatabaseSession(data.IBDBackup, missing, LongFallbackPassword,
                                          SessionPrecondition::DisconnectFirst));
        QCOMPARE(dialogs.messages.size(), 1);
        const auto& shown = dialogs.messages.first();
        QCOMPARE(shown.icon, MsgIcon::None);
        QCOMPARE(shown.title, QStringLiteral("Quillbase Backup"));
        QVERIFY2(shown.text.startsWith(QStringLiteral("I/O error")), qPrintable(shown.text));
        QVERIFY(shown.text.contains(missing));
        QVERIFY(shown.text.endsWith(QStringLiteral("\n\rStatus 0")));
    }

    void failedReadLeavesTheConnectionClosed() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        QVERIFY(data.OpenDatabaseSession(data.IBDEmpresas, localDatabase_, LongFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        data.IBSQLEmpresas.SetSql(QStringLiteral("select * from no_such_table"));
        QVERIFY_THROWS_EXCEPTION(fb::FbError, data.ReadRows(data.IBDEmpresas, data.IBTEmpresas,
                                                            data.IBSQLEmpresas, [](const fb::Statement&) {}));
        QVERIFY(!data.IBDEmpresas.Connected());
        QVERIFY(!data.IBTEmpresas.InTransaction());
    }

    void serverAcceptsThePrimaryPassword() {
        FakeDialogs dialogs;
        TData data(kPassword);
        QVERIFY(data.OpenDatabaseSession(data.IBDEmpresas, serverDatabase_, ShortFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        QCOMPARE(data.IBDEmpresas.Params(), TData::DatabaseParams(kPassword));
        data.CloseDatabaseSession(data.IBDEmpresas, data.IBTEmpresas);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void fallbackIsAcceptedSilentlyAndKeptForReopen() {
        QVERIFY(server_->setPassword(LongFallbackPassword));
        FakeDialogs dialogs;
        TData data(kPassword);
        QVERIFY(data.OpenDatabaseSession(data.IBDBackup, serverDatabase_, LongFallbackPassword,
                                         SessionPrecondition::DisconnectFirst));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(data.IBDBackup.Params(), TData::DatabaseParams(LongFallbackPassword));
        data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup);
        data.ReopenDatabaseSession(data.IBDBackup, serverDatabase_);
        QVERIFY(data.IBDBackup.Connected());
        data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup);
    }

    void bothPasswordsRefusedNameTheDatabase() {
        QVERIFY(server_->setPassword(QStringLiteral("Otra.999")));
        FakeDialogs dialogs;
        TData data(kPassword);
        QVERIFY(!data.OpenDatabaseSession(data.IBDEmpresas, serverDatabase_, ShortFallbackPassword,
                                          SessionPrecondition::DisconnectFirst));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Information);
        QCOMPARE(dialogs.messages.first().title, QStringLiteral("Información"));
        QCOMPARE(dialogs.messages.first().text, Denied(serverDatabase_));
        QVERIFY(!data.IBDEmpresas.Connected());
        // A reopen makes one attempt with the list in place and reports nothing.
        QVERIFY_THROWS_EXCEPTION(fb::FbError, data.ReopenDatabaseSession(data.IBDEmpresas, serverDatabase_));
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void serviceAttachFollowsTheSameRules() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("mala"));
        QVERIFY(server_->setPassword(ShortFallbackPassword));
        data.IBBackup.SetDatabaseName(QStringLiteral("/srv/quillbase/EMPRESA1/Quillbase.orv"));
        QVERIFY(data.AttachServiceSession(data.IBBackup, kServerIp, ReportMode::Interactive));
        QCOMPARE(data.IBBackup.ServiceManagerName(), kServerIp + QStringLiteral(":service_mgr"));
        QCOMPARE(data.IBBackup.Params(), TData::ServiceParams(ShortFallbackPassword));
        data.IBBackup.Detach();
        QVERIFY(dialogs.messages.isEmpty());

        QVERIFY(server_->setPassword(QStringLiteral("Otra.999")));
        QVERIFY(!data.AttachServiceSession(data.IBBackup, kServerIp, ReportMode::Interactive));
        QCOMPARE(dialogs.texts(), QStringList{Denied(QStringLiteral("/srv/quillbase/EMPRESA1/Quillbase.orv"))});

        QStringList remarks{QStringLiteral("previa")};
        QVERIFY(!data.AttachServiceSession(data.IBBackup, kServerIp, ReportMode::Collecting, &remarks));
        QCOMPARE(remarks, QStringList({QStringLiteral("previa"),
                                       QStringLiteral("Error en nombre de usuario o contraseña")}));
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void wordingIsChosenByTheFirstNineCharacters() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        data.ReportSessionFailure(QStringLiteral("Your use"), QStringLiteral("db"), ReportMode::Interactive);
        data.ReportSessionFailure(QStringLiteral("your user name"), QStringLiteral("db"), ReportMode::Interactive);
        data.ReportSessionFailure(QStringLiteral("Your user"), QStringLiteral("db"), ReportMode::Interactive);
        QCOMPARE(dialogs.texts(), QStringList({QStringLiteral("Your use\n\rStatus 0"),
                                               QStringLiteral("your user name\n\rStatus 0"), Denied(QStringLiteral("db"))}));
    }

    // Runs last: the server goes down.
    void stoppedServerIsAGeneralFailure() {
        server_->stop();
        FakeDialogs dialogs;
        TData data(kPassword);
        QVERIFY(!data.OpenDatabaseSession(data.IBDEmpresas, serverDatabase_, ShortFallbackPassword,
                                          SessionPrecondition::DisconnectFirst));
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages.first().text.startsWith(QStringLiteral("Unable to complete network request")),
                 qPrintable(dialogs.messages.first().text));
        QVERIFY(dialogs.messages.first().text.endsWith(QStringLiteral("\n\rStatus 0")));

        QStringList remarks;
        data.IBBackup.SetDatabaseName(QStringLiteral("x"));
        QVERIFY(!data.AttachServiceSession(data.IBBackup, kServerIp, ReportMode::Collecting, &remarks));
        QCOMPARE(remarks.size(), 1);
        QVERIFY(remarks.first().startsWith(QStringLiteral("Unable to complete network request")));
        QCOMPARE(dialogs.messages.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_sessions.moc"
