// The backup run against real databases: local companies through the
// engine inside this process ("[]..." servers, service_mgr and plain paths),
// remote ones through the shared test server of the fixture FbServer. Every
// backup file of a successful row is restored with gbak and must hold the
// rows of the company it came from.

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "backup/FErrorenCopia.h"
#include "db/ServerPath.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"

using namespace backuprun;
using platform::MsgIcon;

namespace {

const QDateTime kRunTime(QDate(2026, 12, 8), QTime(13, 5));

QString Path(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

}  // namespace

class TestBackupRun : public QObject {
    Q_OBJECT

    ScratchArea scratch_;
    QString expectedCounts_;  // its rows
    QString serverIp_;        // the shared test server, when there is one
    QString serverPassword_;

    // Every "T" row's backup file restores into a database with the rows of
    // its company.
    void VerifyBackupFiles(const QList<QStringList>& rows) {
        int restored = 0;
        for (const QStringList& row : rows) {
            if (row.at(5) != u"T") continue;
            QVERIFY2(QFile::exists(row.at(4)), qPrintable(row.at(4)));
            const QString target =
                scratch_.FilePath(QStringLiteral("restored-%1.fdb").arg(++restored));
            QCOMPARE(RestoredCounts(row.at(4), target), expectedCounts_);
        }
    }

    static QStringList Row(const QString& fecha, const QString& hora, const QString& servidor,
                           const QString& empresa, const QString& destino, const QString& exito,
                           const QString& observaciones = QString()) {
        return {fecha, hora, servidor, empresa, destino, exito, observaciones};
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.Init());
        expectedCounts_ = CompanyCounts(scratch_.CompanyTemplate());
        QVERIFY(!expectedCounts_.isEmpty());
        serverIp_ = qEnvironmentVariable("QB_TEST_SERVER_IP");
        serverPassword_ = qEnvironmentVariable("QB_TEST_SERVER_PASSWORD");
        platform::SetExecutableDirectory(scratch_.NewFolder(QStringLiteral("programa")));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    void interactiveCompanyIsConfirmedBackedUpVerifiedAndLogged() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        main.scheduleActive = main.timerArmed = true;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString company = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, company});
        host.PickChild(0, 1);

        QStringList confirmation;
        ModalAnswers answers([&](QWidget* modal) {
            auto* window = qobject_cast<TCondicionesBackup*>(modal);
            if (window == nullptr) return;
            confirmation = {window->Label2->text(), window->Label4->text(), window->Label11->text(),
                            window->Label6->text()};
            window->BitBtn2->click();
        });
        ProgressWatcher progress;
        progress.probe = [&] {
            return QStringLiteral("%1 %2").arg(host.controlsEnabled).arg(main.timerArmed);
        };
        TBackupRun(data, host).RunBackup();

        QCOMPARE(confirmation, (QStringList{QStringLiteral("[]Local"), company,
                                            QStringLiteral("[]Local"), copias}));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        const QString database = Path(company, kCompanyDatabase);
        const QString backupFile = Path(copias, QStringLiteral("[]Local_EMPRESA1_081226_1305.fbk"));
        const auto rows = LogRows(data);
        QCOMPARE(rows, (QList<QStringList>{Row(QStringLiteral("08/12/2026"),
                                               QStringLiteral("13:05"), QStringLiteral("[]Local"),
                                               database, backupFile, QStringLiteral("T"))}));
        VerifyBackupFiles(rows);
        QVERIFY(QFile::exists(Path(copias, kVerificationFile)));
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), expectedCounts_);

        // Backup, then verification, each in a progress window of its own,
        // while the controls are disabled and the schedule is off.
        QCOMPARE(progress.windows.size(), 2);
        QCOMPARE(progress.windows[0].caption, QStringLiteral("[]Local : ") + database);
        QCOMPARE(progress.windows[1].caption, QStringLiteral("Verificando copia"));
        for (const auto& shown : progress.windows) {
            QCOMPARE(shown.probe, QStringLiteral("0 0"));
            QVERIFY2(shown.text.endsWith(QStringLiteral("\n\n¡ PROCESO TERMINADO !")),
                     qPrintable(shown.text));
            QVERIFY(!shown.text.contains(u"gbak:"));
        }
        QVERIFY(progress.windows[0].text.startsWith(QStringLiteral("Copiando : ")));
        QVERIFY(progress.windows[1].text.startsWith(QStringLiteral("Verificando : ")));
        // Each progress window is destroyed when its output ends, not left hidden.
        for (const auto& shown : progress.windows) QVERIFY(shown.window.isNull());
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(window->objectName() != u"Progreso");

        // The end of the run puts everything back.
        QVERIFY(host.controlsEnabled);
        QCOMPARE(host.focusTreeCount, 1);
        QCOMPARE(main.stops, 1);
        QCOMPARE(main.rearms, 1);
        QVERIFY(main.timerArmed);
        QVERIFY(host.remarks.isEmpty());
        QVERIFY(!data.IBBackup.Active());
    }

    void interactiveRunsThatEndEarlyWriteNoRow() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString company = scratch_.NewCompany(QStringLiteral("EMPRESA1"));

        struct Case {
            const char* name;
            std::function<void(TestHost&)> arrange;
            QString box;  // the one error box, or none
        };
        const QList<Case> cases = {
            {"tree without the focus", [](TestHost& h) { h.treeHasFocus = false; }, QString()},
            {"nothing picked", [](TestHost& h) { h.plan.CurrentServerEntry = -1; }, kSelectFirst},
            {"destination picked", [](TestHost& h) { h.PickChild(0, 0); }, kSelectFirst},
            {"time marker picked", [](TestHost& h) { h.PickChild(0, 2); }, kSelectFirst},
            {"company without destination folder", [](TestHost& h) { h.PickChild(1, 1); },
             kNoDestination},
            {"company of a server without destination", [](TestHost& h) { h.PickChild(2, 0); },
             kNoDestination},
            {"server whose destination has no folder", [](TestHost& h) { h.PickServer(1); },
             kNoDestination},
            {"server with nothing but its destination", [](TestHost& h) { h.PickServer(3); },
             QString()},
            {"keyboard moved from the server to a company",
             [](TestHost& h) {
                 h.PickServer(0);
                 h.selected = PlanRef::ChildEntry(0, 1);
             },
             QString()},
            {"confirmation cancelled", [](TestHost& h) { h.PickChild(0, 1); }, QString()},
        };
        QStringList confirmed;
        ModalAnswers cancel([&](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) {
                confirmed << window->Label4->text();
                window->BitBtn1->click();
            }
        });
        for (const Case& c : cases) {
            dialogs.messages.clear();
            TestHost host;
            host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, company,
                                                       kTimeMarkerTag + QStringLiteral("21:30")});
            host.AddServer(QStringLiteral("[]Sin carpeta"), {kDestinationTag, company});
            host.AddServer(QStringLiteral("[]Sin destino"), {company});
            host.AddServer(QStringLiteral("[]Solo destino"), {kDestinationTag + copias});
            host.PickChild(0, 1);
            c.arrange(host);
            const bool hadFocus = host.treeHasFocus;
            TBackupRun(data, host).RunBackup();
            QVERIFY2(host.controlsEnabled, c.name);
            QVERIFY2(host.treeHasFocus && host.focusTreeCount == 1, c.name);
            QCOMPARE(host.controlsDisabledCount, hadFocus ? 1 : 0);
            if (c.box.isEmpty()) {
                QVERIFY2(dialogs.messages.isEmpty(), c.name);
            } else {
                QCOMPARE(dialogs.texts(), QStringList{c.box});
                QCOMPARE(dialogs.messages.first().icon, MsgIcon::Error);
                QCOMPARE(dialogs.messages.first().title, QStringLiteral("Error"));
            }
        }
        QCOMPARE(confirmed, QStringList{company});
        // The schedule is off: every run switched the timer off and left it so.
        QCOMPARE(main.stops, cases.size());
        QCOMPARE(main.rearms, cases.size());
        QVERIFY(!main.timerArmed);
        QVERIFY(LogRows(data).isEmpty());
        QCOMPARE(QDir(copias).entryList(QDir::Files), QStringList());
    }

    void wholeServerBacksUpEveryCompanyWithoutAsking() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString first = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = scratch_.NewCompany(QStringLiteral("Señoría"));
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, first, second});
        host.PickServer(0);
        ModalAnswers answers([](QWidget* modal) { modal->close(); });
        TBackupRun(data, host).RunBackup();

        QCOMPARE(answers.count, 0);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(clock.readings, 2);
        // Each file has the stamp read for it; both rows the texts read last.
        const auto rows = LogRows(data);
        QCOMPARE(rows, (QList<QStringList>{
                           Row(QStringLiteral("08/12/2026"), QStringLiteral("13:06"),
                               QStringLiteral("[]Local"), Path(first, kCompanyDatabase),
                               Path(copias, QStringLiteral("[]Local_EMPRESA1_081226_1305.fbk")),
                               QStringLiteral("T")),
                           Row(QStringLiteral("08/12/2026"), QStringLiteral("13:06"),
                               QStringLiteral("[]Local"), Path(second, kCompanyDatabase),
                               Path(copias, QStringLiteral("[]Local_Señoría_081226_1306.fbk")),
                               QStringLiteral("T"))}));
        VerifyBackupFiles(rows);
    }

    void missingDestinationFolderIsNamedAndEveryJobIsLogged() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime, 0);
        TData data(serverPassword_);
        const QString missing = scratch_.FilePath(QStringLiteral("no-existe"));
        const QString first = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = scratch_.NewCompany(QStringLiteral("EMPRESA2"));
        const QString box = kNoDestinationFolder + QStringLiteral("\n\r\n\r") + missing;

        TestHost host;
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + missing, first, second});
        host.PickServer(0);
        TBackupRun(data, host).RunBackup();
        QCOMPARE(dialogs.texts(), (QStringList{box, box}));
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Error);

        // One company, confirmed: the same box.
        dialogs.messages.clear();
        host.PickChild(0, 2);
        ModalAnswers answers([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        TBackupRun(data, host).RunBackup();
        QCOMPARE(dialogs.texts(), QStringList{box});

        // Unattended: a remark instead of the box.
        dialogs.messages.clear();
        host.unattended = true;
        TBackupRun(data, host).RunBackup();
        QVERIFY(dialogs.messages.isEmpty());

        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 4);
        const QString file1 = Path(missing, QStringLiteral("[]Local_EMPRESA1_081226_1305.fbk"));
        const QString file2 = Path(missing, QStringLiteral("[]Local_EMPRESA2_081226_1305.fbk"));
        QCOMPARE(rows[0], Row(QStringLiteral("08/12/2026"), QStringLiteral("13:05"),
                              QStringLiteral("[]Local"), Path(first, kCompanyDatabase), file1,
                              QStringLiteral("F")));
        QCOMPARE(rows[1].at(4), file2);
        QCOMPARE(rows[2].at(4), file2);
        QCOMPARE(rows[2].at(6), QString());
        QCOMPARE(rows[3].at(5), QStringLiteral("F"));
        QCOMPARE(rows[3].at(6), kNoDestinationFolder + QStringLiteral("\r\n"));
        QVERIFY(!QFile::exists(missing));
    }

    void otherServiceErrorsCarryTheirText() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime, 0);
        TData data(serverPassword_);
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString empty = scratch_.NewFolder(QStringLiteral("sin-base"));  // no Quillbase.orv in it
        TestHost host;
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, empty});
        host.PickChild(0, 1);
        ModalAnswers answers([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        TBackupRun(data, host).RunBackup();
        QCOMPARE(dialogs.messages.size(), 1);
        const auto shown = dialogs.messages.first();
        QCOMPARE(shown.icon, MsgIcon::None);
        QCOMPARE(shown.title, QStringLiteral("Quillbase Backup"));
        QVERIFY2(shown.text.contains(Path(empty, kCompanyDatabase)), qPrintable(shown.text));
        QVERIFY(shown.text.endsWith(QStringLiteral("\n\rStatus 0")));
        const QString errorText = shown.text.chopped(QStringLiteral("\n\rStatus 0").size());

        host.unattended = true;
        TBackupRun(data, host).RunBackup();
        QCOMPARE(dialogs.messages.size(), 1);
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6), QString());
        QCOMPARE(rows[1].at(6), errorText + QStringLiteral("\r\n"));
        QVERIFY(!QFile::exists(Path(copias, kVerificationFile)));
    }

    void failedVerificationIsReportedInBothModes() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        // The verification database cannot be created where a folder of
        // that name stands.
        QVERIFY(QDir().mkpath(Path(copias, kVerificationFile)));
        TestHost host;
        host.AddServer(QStringLiteral("[]Local"),
                       {kDestinationTag + copias, scratch_.NewCompany(QStringLiteral("E1")),
                        scratch_.NewCompany(QStringLiteral("E2"))});
        host.PickChild(0, 1);
        ModalAnswers answers([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        TBackupRun(data, host).RunBackup();
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::None);
        const QString text = dialogs.messages.first().text;
        QVERIFY2(text.contains(Path(copias, kVerificationFile)) &&
                     text.endsWith(QStringLiteral("\n\rStatus 0")),
                 qPrintable(text));
        const QString errorText = text.chopped(QStringLiteral("\n\rStatus 0").size());

        // Unattended: each failure waits at the always-on-top error window
        // until it is closed; the walk goes on afterwards.
        dialogs.messages.clear();
        QStringList messages;
        QStringList remarksWhileShown;
        ModalAnswers errorWindows([&](QWidget* modal) {
            auto* window = qobject_cast<TErrorenCopia*>(modal);
            if (window == nullptr) return;
            messages << (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)
                             ? QString()
                             : QStringLiteral("not on top: ")) +
                            window->Label1->text();
            remarksWhileShown << host.remarks.join(u'|');
            window->close();
        });
        TBackupRun(data, host).RunScheduledBackup();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(messages, (QStringList{QStringLiteral("Mensaje : ") + errorText,
                                        QStringLiteral("Mensaje : ") + errorText}));
        QCOMPARE(remarksWhileShown, (QStringList{QString(), QString()}));

        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6), QString());
        for (int i = 1; i < 3; ++i) {
            QCOMPARE(rows[i].at(5), QStringLiteral("F"));
            QCOMPARE(rows[i].at(6), errorText + QStringLiteral("\r\n"));
        }
        // The backup files stay: the run deletes nothing.
        for (const auto& row : rows) QVERIFY(QFile::exists(row.at(4)));
        QStringList lastAsSucceeded = rows[2];
        lastAsSucceeded[5] = QStringLiteral("T");
        VerifyBackupFiles({lastAsSucceeded});
    }

    void scheduledRunWalksThePlanInTreeOrder() {
        if (serverIp_.isEmpty()) QSKIP("no shared test server (QB_TEST_SERVER_IP)");
        FakeDialogs dialogs;
        FakeMainWindow main;
        main.scheduleActive = true;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        TestHost host;
        const QString central = QStringLiteral("[%1]Central").arg(serverIp_);
        const QString local = scratch_.NewFolder(QStringLiteral("copias-local"));
        const QString remote = scratch_.NewFolder(QStringLiteral("copias-central"));
        const QStringList companies = {
            scratch_.NewCompany(QStringLiteral("L1")), scratch_.NewCompany(QStringLiteral("L2")),
            scratch_.NewCompany(QStringLiteral("R1")), scratch_.NewCompany(QStringLiteral("R2")),
            scratch_.NewCompany(QStringLiteral("S1"))};
        host.AddServer(QStringLiteral("[]Local"),
                       {kDestinationTag + local, companies[0], companies[1]});
        host.AddServer(central, {kDestinationTag + remote, companies[2], companies[3]});
        host.AddServer(QStringLiteral("[]Sin destino"), {kDestinationTag, companies[4]});
        host.AddServer(QStringLiteral("[]Vacío"), {});
        QStringList unattendedAtStart;
        main.onSt2 = [&](const QString& text) {
            if (!text.isEmpty())
                unattendedAtStart << QStringLiteral("%1 %2").arg(text).arg(host.unattended);
        };
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 5);
        const QStringList stamps = {QStringLiteral("1305"), QStringLiteral("1306"),
                                    QStringLiteral("1307"), QStringLiteral("1308")};
        for (int i = 0; i < 4; ++i) {
            const bool isLocal = i < 2;
            const QString server = isLocal ? QStringLiteral("[]Local") : central;
            const QString name = serverpath::LastComponent(companies[i]);
            QCOMPARE(rows[i],
                     Row(QStringLiteral("08/12/2026"), QStringLiteral("13:0") + stamps[i].right(1),
                         server, Path(companies[i], kCompanyDatabase),
                         Path(isLocal ? local : remote, server + u'_' + name +
                                                            QStringLiteral("_081226_") + stamps[i] +
                                                            QStringLiteral(".fbk")),
                         QStringLiteral("T")));
        }
        QCOMPARE(rows[4], Row(QStringLiteral("08/12/2026"), QStringLiteral("13:09"),
                              QStringLiteral("[]Sin destino"), companies[4], QString(),
                              QStringLiteral("F"), kNoDestination + QStringLiteral("\r\n")));
        VerifyBackupFiles(rows);

        // Progress went to the main window's status lines, and Unattended
        // was set only around each company's run.
        QCOMPARE(unattendedAtStart.size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(unattendedAtStart[i],
                     (i < 2 ? QStringLiteral("[]Local") : central) + QStringLiteral(" : ") +
                         Path(companies[i], kCompanyDatabase) + QStringLiteral(" 1"));
        QVERIFY(main.st1Lines.contains(
            QStringLiteral("Copiando :     writing data for table CLIENTES ")));
        QVERIFY(main.st1Lines.filter(u"gbak:").isEmpty());
        QVERIFY(main.st1.isEmpty() && main.st2.isEmpty());
        QVERIFY(!host.unattended);
        QCOMPARE(main.stops, 5);
        QCOMPARE(main.rearms, 5);
        QVERIFY(main.timerArmed);
        // The selection walked every entry and rests on the last one.
        QCOMPARE(host.selections.size(), 1 + 4 + 4 + 3 + 1);
        QCOMPARE(host.selections.first(), PlanRef());
        QCOMPARE(host.selections.last(), PlanRef::ServerEntry(3));
        QCOMPARE(host.plan.CurrentServerEntry, 2);
        QCOMPARE(host.plan.CurrentChildEntry, PlanRef::ChildEntry(2, 1));
        QCOMPARE(host.controlsDisabledCount, 0);
    }

    void serverAddressWithAPortWritesIntoTheDestination() {
        if (serverIp_.isEmpty()) QSKIP("no shared test server (QB_TEST_SERVER_IP)");
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(serverPassword_);
        TestHost host;
        const QString server = QStringLiteral("[%1/3050]Central").arg(serverIp_);
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString company = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        host.AddServer(server, {kDestinationTag + copias, company});
        host.PickServer(0);
        TBackupRun(data, host).RunBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        const QString written = Path(
            copias, QStringLiteral("[%1_3050]Central_EMPRESA1_081226_1305.fbk").arg(serverIp_));
        const auto rows = LogRows(data);
        QCOMPARE(rows, (QList<QStringList>{
                           Row(QStringLiteral("08/12/2026"), QStringLiteral("13:05"), server,
                               Path(company, kCompanyDatabase), written, QStringLiteral("T"))}));
        QCOMPARE(QDir(copias).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{QFileInfo(written).fileName(), kVerificationFile}));
        VerifyBackupFiles(rows);
    }
};

QTEST_MAIN(TestBackupRun)
#include "tst_backuprun.moc"
