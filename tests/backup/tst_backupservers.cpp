// The backup run against private servers of this test's own, whose SYSDBA
// password it changes (127.0.0.5) or which it stops in the middle of a run
// (127.0.0.6).

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"

using namespace backuprun;
using platform::MsgIcon;

namespace {

const QString kPasswordServerIp = QStringLiteral("127.0.0.5");
const QString kStoppedServerIp = QStringLiteral("127.0.0.6");
const QString kServerPassword = QStringLiteral("Servidor.5");

QString Path(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

}  // namespace

class TestBackupServers : public QObject {
    Q_OBJECT

    ScratchArea scratch_;
    QString expectedCounts_;

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.Init());
        expectedCounts_ = CompanyCounts(scratch_.CompanyTemplate());
        platform::SetExecutableDirectory(scratch_.NewFolder(QStringLiteral("programa")));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    void shortFallbackPasswordServesBackupAndVerification() {
        FirebirdTestServer server;
        QVERIFY2(server.start(kPasswordServerIp, ShortFallbackPassword),
                 qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(13, 5)));
        TData data(QStringLiteral("no-es-esta"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString company = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        host.AddServer(QStringLiteral("[127.0.0.5]Central"), {kDestinationTag + copias, company});
        host.PickChild(0, 1);
        ModalAnswers confirm([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();
        host.unattended = true;
        TBackupRun(data, host).RunBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(data.IBBackup.Params(), TData::ServiceParams(ShortFallbackPassword));
        QCOMPARE(progress.windows.size(), 2);
        QCOMPARE(progress.windows.last().caption, QStringLiteral("Verificando copia"));
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 2);
        for (const QStringList& row : rows) {
            QCOMPARE(row.at(5), QStringLiteral("T"));
            QCOMPARE(row.at(6), QString());
            QCOMPARE(RestoredCounts(row.at(4), scratch_.FilePath(QStringLiteral("r.fdb"))),
                     expectedCounts_);
        }
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), expectedCounts_);
    }

    void bothPasswordsRefusedMakeOneReportPerJob() {
        FirebirdTestServer server;
        QVERIFY2(server.start(kPasswordServerIp, kServerPassword), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(13, 5)));
        TData data(QStringLiteral("no-es-esta"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString first = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = scratch_.NewCompany(QStringLiteral("EMPRESA2"));
        host.AddServer(QStringLiteral("[127.0.0.5]Central"),
                       {kDestinationTag + copias, first, second});
        host.PickServer(0);
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();

        const auto denied = [](const QString& company) {
            return QStringLiteral("Acceso denegado a\n\r") + Path(company, kCompanyDatabase) +
                   QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos");
        };
        QCOMPARE(dialogs.texts(), (QStringList{denied(first), denied(second)}));
        for (const auto& shown : dialogs.messages) {
            QCOMPARE(shown.icon, MsgIcon::Information);
            QCOMPARE(shown.title, QStringLiteral("Información"));
        }
        QVERIFY(progress.windows.isEmpty());  // nothing started, nothing verified

        dialogs.messages.clear();
        host.unattended = true;
        host.PickChild(0, 2);
        TBackupRun(data, host).RunBackup();
        QVERIFY(dialogs.messages.isEmpty());

        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 3);
        for (const QStringList& row : rows) QCOMPARE(row.at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6), QString());
        QCOMPARE(rows[2].at(6), QStringLiteral("Error en nombre de usuario o contraseña\r\n"));
        QCOMPARE(QDir(copias).entryList(QDir::Files), QStringList());
    }

    void aServerThatStopsFailsItsJobsAndTheWalkGoesOn() {
        auto server = std::make_unique<FirebirdTestServer>();
        QVERIFY2(server->start(kStoppedServerIp, kServerPassword), qPrintable(server->lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        main.scheduleActive = true;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(23, 58)));
        TData data(kServerPassword);
        TestHost host;
        const QString remote = scratch_.NewFolder(QStringLiteral("copias-remotas"));
        const QString local = scratch_.NewFolder(QStringLiteral("copias-locales"));
        const QStringList companies = {scratch_.NewCompany(QStringLiteral("R1")),
                                       scratch_.NewCompany(QStringLiteral("R2")),
                                       scratch_.NewCompany(QStringLiteral("L1"))};
        host.AddServer(QStringLiteral("[127.0.0.6]Caído"),
                       {kDestinationTag + remote, companies[0], companies[1]});
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + local, companies[2]});
        // The server goes away while the first company's output is read.
        main.onSt1 = [&](const QString& line) {
            if (!line.isEmpty() && server->isRunning()) QVERIFY(server->stop());
        };
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY(dialogs.messages.isEmpty());
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(
            rows[0].mid(2, 4),
            (QStringList{QStringLiteral("[127.0.0.6]Caído"), Path(companies[0], kCompanyDatabase),
                         Path(remote, QStringLiteral("[127.0.0.6]Caído_R1_081226_2358.fbk")),
                         QStringLiteral("F")}));
        QVERIFY(!rows[0].at(6).isEmpty());
        QVERIFY(rows[0].at(6).endsWith(QStringLiteral("\r\n")));
        QCOMPARE(rows[1].at(5), QStringLiteral("F"));
        QVERIFY2(rows[1].at(6).contains(QStringLiteral("127.0.0.6")), qPrintable(rows[1].at(6)));
        // Past midnight: the third company carries the new day.
        QCOMPARE(rows[2].mid(0, 2),
                 (QStringList{QStringLiteral("09/12/2026"), QStringLiteral("00:00")}));
        QCOMPARE(rows[2].at(5), QStringLiteral("T"));
        QCOMPARE(RestoredCounts(rows[2].at(4), scratch_.FilePath(QStringLiteral("r.fdb"))),
                 expectedCounts_);
        QCOMPARE(main.rearms, 3);
        QVERIFY(main.timerArmed);
        QVERIFY(main.st1.isEmpty() && main.st2.isEmpty());
        QVERIFY(!data.IBBackup.Active());
    }
};

QTEST_MAIN(TestBackupServers)
#include "tst_backupservers.moc"
