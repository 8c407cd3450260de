// Which fallback password each use of a database or of a service manager
// tries second. The databases sit on a private server whose SYSDBA password
// is set, for each use, to the one fallback that use must try, while the
// program's own password is wrong: the use goes through without a message
// only with that fallback, and the other one is refused.

#include "backup/BackupLog.h"
#include "db/Catalogue.h"
#include "logview/FLogForm.h"
#include "logview/ShowBackupLog.h"
#include "platform/Paths.h"
#include "tests/logview/ModalKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kServerIp = QStringLiteral("127.0.0.12");
const QString kWrongPassword = QStringLiteral("NoEsEsta");

QString Denied(const QString& name) {
    return QStringLiteral("Acceso denegado a\n\r") + name +
           QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos");
}

}  // namespace

class TestFallbackPasswords : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    FirebirdTestServer server_;
    QString remoteInstall_;  // the program's folder, reached through the server
    QString localInstall_;   // the program's folder on this computer
    QString companies_;      // the folder of the server's Empresas.gdb

    // The program's folder as the server's name for it: its server
    // catalogue and its log then open through the server.
    void UseRemoteInstall() { platform::SetExecutableDirectory(kServerIp + u':' + remoteInstall_); }

    int LogRows() {
        return SqlRows(kServerIp + u':' + remoteInstall_ + QStringLiteral("/Backup.fdb"),
                       QStringLiteral("select count(*) from backuplog"), server_.password())
            .value(0)
            .value(0)
            .toInt();
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        QVERIFY(scratch_.isValid());
        remoteInstall_ = scratch_.filePath(QStringLiteral("remota"));
        localInstall_ = scratch_.filePath(QStringLiteral("local"));
        companies_ = scratch_.filePath(QStringLiteral("empresas"));
        for (const QString& folder : {remoteInstall_, localInstall_, companies_}) QVERIFY(QDir().mkpath(folder));
        QVERIFY(MakeServerCatalogue(remoteInstall_ + QStringLiteral("/Servidores.gdb"), {}));
        QVERIFY(MakeBackupLog(remoteInstall_ + QStringLiteral("/Backup.fdb")));
        QVERIFY(MakeServerCatalogue(localInstall_ + QStringLiteral("/Servidores.gdb"),
                                    {{QStringLiteral("Central"), companies_, kServerIp}}));
        QVERIFY(MakeCompanyCatalogue(companies_ + QStringLiteral("/Empresas.gdb"), {QStringLiteral("REMOTA")}));
        QVERIFY2(server_.start(kServerIp, LongFallbackPassword), qPrintable(server_.lastError()));
    }

    void cleanup() { platform::SetExecutableDirectory(QString()); }

    // The server catalogue at window start: the long fallback.
    void serverListAtStart() {
        UseRemoteInstall();
        QVERIFY(server_.setPassword(LongFallbackPassword));
        {
            FakeDialogs dialogs;
            TData data(kWrongPassword);
            TCatalogue catalogue(data);
            QVERIFY(catalogue.LoadServerCatalogue());
            QCOMPARE(dialogs.texts(), QStringList());
        }
        QVERIFY(server_.setPassword(ShortFallbackPassword));
        FakeDialogs dialogs;
        TData data(kWrongPassword);
        TCatalogue catalogue(data);
        QVERIFY(!catalogue.LoadServerCatalogue());
        QCOMPARE(dialogs.texts(), QStringList{Denied(ServerCatalogueName())});
    }

    // The first server's companies, read once more at window start: the long
    // fallback. (The selection of that first server on the way reads them
    // with the short one, refused here, and says so.)
    void companiesOfTheFirstServerAtStart() {
        platform::SetExecutableDirectory(localInstall_);
        QVERIFY(server_.setPassword(LongFallbackPassword));
        FakeDialogs dialogs;
        TData data(kWrongPassword);
        TCatalogue catalogue(data);
        QVERIFY(catalogue.LoadServerCatalogue());
        QCOMPARE(catalogue.CompanyList(), QList<CompanyEntry>{{QStringLiteral("REMOTA")}});
        const QString name = CompanyCatalogueName(companies_, kServerIp);
        QCOMPARE(dialogs.texts(), QStringList{Denied(name)});
    }

    // The companies of a server the operator selects: the short fallback.
    void companiesOfASelectedServer() {
        QVERIFY(server_.setPassword(ShortFallbackPassword));
        {
            FakeDialogs dialogs;
            TData data(kWrongPassword);
            TCatalogue catalogue(data);
            QVERIFY(catalogue.LoadCompanyCatalogue(companies_, kServerIp));
            QCOMPARE(catalogue.CompanyList(), QList<CompanyEntry>{{QStringLiteral("REMOTA")}});
            QCOMPARE(dialogs.texts(), QStringList());
        }
        QVERIFY(server_.setPassword(LongFallbackPassword));
        FakeDialogs dialogs;
        TData data(kWrongPassword);
        TCatalogue catalogue(data);
        QVERIFY(!catalogue.LoadCompanyCatalogue(companies_, kServerIp));
        QCOMPARE(dialogs.texts(), QStringList{Denied(CompanyCatalogueName(companies_, kServerIp))});
    }

    // The log append and the log browser (its opening and its server
    // filter): the long fallback.
    void theLog() {
        UseRemoteInstall();
        QVERIFY(server_.setPassword(LongFallbackPassword));
        const int before = LogRows();
        FakeDialogs dialogs;
        TData data(kWrongPassword);
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), QStringLiteral("[]Local"),
                       QStringLiteral("/srv/a"), QStringLiteral("/copias/a.fbk"), QStringLiteral("T"), {});
        QCOMPARE(dialogs.texts(), QStringList());
        data.IBDBackup.Disconnect();
        QCOMPARE(LogRows(), before + 1);

        int listed = -1;
        int filtered = -1;
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            listed = form.Rows->Count();
            form.cbServidores->setCurrentIndex(form.cbServidores->findText(QStringLiteral("[]Local")));
            filtered = form.Rows->Count();
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(listed, before + 1);
        QVERIFY(filtered >= 1);

        QVERIFY(server_.setPassword(ShortFallbackPassword));
        WriteBackupLog(data, QStringLiteral("10/12/2026"), QStringLiteral("07:05"), QString(), QString(), QString(),
                       QStringLiteral("F"), {});
        WhenModal<TLogForm> never([](TLogForm& form) { form.close(); });
        ShowBackupLog(data, 0);
        QVERIFY(!never.answered());
        QCOMPARE(dialogs.texts(), (QStringList{Denied(BackupLogName()), Denied(BackupLogName())}));
        QCOMPARE(LogRows(), before + 1);
    }

    // The service manager of a backup, and of a restore (the same attach):
    // the short fallback.
    void serviceManager() {
        QVERIFY(server_.setPassword(ShortFallbackPassword));
        {
            FakeDialogs dialogs;
            TData data(kWrongPassword);
            fb::Service service;
            QVERIFY(data.AttachServiceSession(service, kServerIp, ReportMode::Interactive));
            QVERIFY(service.Active());
            QCOMPARE(dialogs.texts(), QStringList());
        }
        QVERIFY(server_.setPassword(LongFallbackPassword));
        FakeDialogs dialogs;
        TData data(kWrongPassword);
        fb::Service service;
        service.SetDatabaseName(QStringLiteral("/srv/a/Quillbase.orv"));
        QVERIFY(!data.AttachServiceSession(service, kServerIp, ReportMode::Interactive));
        QCOMPARE(dialogs.texts(), QStringList{Denied(QStringLiteral("/srv/a/Quillbase.orv"))});
    }
};

QTEST_MAIN(TestFallbackPasswords)
#include "tst_fallbackpasswords.moc"
