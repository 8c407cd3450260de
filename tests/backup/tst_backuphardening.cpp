// The backup run on the days things go wrong around it: a log Backup.fdb that
// is missing, read-only or held by another program, and company, server and
// folder names beyond plain ASCII, some of them beyond what the log's code
// page (WIN1252) can hold. Every backup is still made and verified, the
// operator is told what happened to the log, and the log takes rows again as
// soon as it can. Local companies, embedded engine.

#include <QComboBox>
#include <QDir>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "logview/FLogForm.h"
#include "logview/HistoryChoice.h"
#include "logview/ShowBackupLog.h"
#include "platform/Paths.h"
#include "restore/RestoreRun.h"
#include "tests/support/FakeDialogs.h"

using namespace backuprun;
using platform::MsgIcon;

namespace {

const QDateTime kRunTime(QDate(2026, 12, 8), QTime(13, 5));

QString Path(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

// The Firebird tools run on the embedded engine, as this process does.
QProcessEnvironment ToolEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD"})
        env.remove(QString::fromLatin1(name));
    return env;
}

bool Gfix(const QString& database, const QString& mode) {
    QProcess gfix;
    gfix.setProcessEnvironment(ToolEnvironment());
    gfix.setProcessChannelMode(QProcess::MergedChannels);
    gfix.start(QStringLiteral("gfix"),
               {QStringLiteral("-user"), QStringLiteral("SYSDBA"), QStringLiteral("-password"),
                QStringLiteral("x"), QStringLiteral("-mode"), mode, database});
    const bool done = gfix.waitForFinished(30000) && gfix.exitStatus() == QProcess::NormalExit &&
                      gfix.exitCode() == 0;
    if (!done) qWarning("gfix -mode %s failed: %s", qPrintable(mode), gfix.readAll().constData());
    return done;
}

// Another program that keeps a database open through its own embedded
// engine, which holds the file for itself until it lets go.
class DatabaseHolder {
public:
    bool Hold(const QString& database) {
        isql_.setProcessEnvironment(ToolEnvironment());
        isql_.setProcessChannelMode(QProcess::MergedChannels);
        isql_.start(QStringLiteral("isql-fb"),
                    {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                     QStringLiteral("-password"), QStringLiteral("x"), database});
        if (!isql_.waitForStarted(10000)) return false;
        isql_.write("select 'sostenida' from rdb$database;\n");
        QByteArray said;
        for (int i = 0; i < 100 && !said.contains("sostenida\n"); ++i) {
            isql_.waitForReadyRead(100);
            said += isql_.readAll();
        }
        // The answer comes once the database is open.
        if (!said.contains("sostenida") || said.contains("Statement failed")) {
            qWarning("isql-fb cannot hold %s: %s", qPrintable(database), said.constData());
            return false;
        }
        return true;
    }
    void Release() {
        if (isql_.state() == QProcess::NotRunning) return;
        isql_.write("quit;\n");
        isql_.closeWriteChannel();
        if (!isql_.waitForFinished(10000)) {
            isql_.kill();
            isql_.waitForFinished(5000);
        }
    }
    ~DatabaseHolder() { Release(); }

private:
    QProcess isql_;
};

// Message boxes answered at once, with something done from inside the first
// one, as an operator who reads it and puts things right before answering.
class RepairingDialogs : public FakeDialogs {
public:
    std::function<void()> repair;

    platform::MsgResult Message(platform::MsgIcon icon, const QString& title, const QString& text,
                                platform::MsgButtons buttons) override {
        const platform::MsgResult answer = FakeDialogs::Message(icon, title, text, buttons);
        if (repair) std::exchange(repair, nullptr)();
        return answer;
    }
};

// What the restore window gives the restore run; the run's own windows are
// answered by the dialogs in force.
class RestoreWindow : public RestoreHost {
public:
    QWidget window;
    bool ConfirmRestore(const RestoreRequest&) override { return true; }
    void LockButtons() override {}
    void ResetWindow() override {}
    QWidget* Window() override { return &window; }
};

}  // namespace

class TestBackupHardening : public QObject {
    Q_OBJECT

    ScratchArea scratch_;
    QString expectedCounts_;  // its rows

    // The backup file was made and holds the rows of its company.
    void VerifyBackupFile(const QString& backupFile) {
        QVERIFY2(QFile::exists(backupFile), qPrintable(backupFile));
        static int restored = 0;
        const QString target = scratch_.FilePath(QStringLiteral("restored-%1.fdb").arg(++restored));
        QCOMPARE(RestoredCounts(backupFile, target), expectedCounts_);
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.Init());
        expectedCounts_ = CompanyCounts(scratch_.CompanyTemplate());
        QVERIFY(!expectedCounts_.isEmpty());
        platform::SetExecutableDirectory(scratch_.NewFolder(QStringLiteral("programa")));
    }

    void init() {
        QFile::remove(BackupLogName());
        QVERIFY(MakeBackupLog(BackupLogName()));
    }

    void aLogOutOfReachLosesNoBackupAndTakesRowsAgain_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("read-only") << QStringLiteral("read-only");
        QTest::newRow("held by another program") << QStringLiteral("held");
    }

    // Two companies of one server. The first row meets the broken log; the
    // operator puts the log right while its box is open, and the second row
    // lands.
    void aLogOutOfReachLosesNoBackupAndTakesRowsAgain() {
        QFETCH(QString, fault);
        RepairingDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(QStringLiteral("x"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString first = scratch_.NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = scratch_.NewCompany(QStringLiteral("EMPRESA2"));
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, first, second});
        host.PickServer(0);

        const QString log = BackupLogName();
        DatabaseHolder holder;
        if (fault == u"missing") {
            QVERIFY(QFile::remove(log));
            dialogs.repair = [&] { QVERIFY(MakeBackupLog(log)); };
        } else if (fault == u"read-only") {
            QVERIFY(Gfix(log, QStringLiteral("read_only")));
            dialogs.repair = [&] {
                // The program keeps the log open after an append; the
                // database's mode changes only while nobody has it open.
                data.IBDBackup.Disconnect();
                QVERIFY(Gfix(log, QStringLiteral("read_write")));
            };
        } else {
            QVERIFY(holder.Hold(log));
            dialogs.repair = [&] { holder.Release(); };
        }

        TBackupRun(data, host).RunBackup();

        // One box, for the first row only, and it says what went wrong.
        QCOMPARE(dialogs.messages.size(), 1);
        const FakeDialogs::Shown& shown = dialogs.messages.first();
        if (fault == u"read-only") {
            // ADDLINEASLOG catches the refused insert and answers -1.
            QCOMPARE(shown.icon, MsgIcon::Error);
            QCOMPARE(shown.title, QStringLiteral("ERROR"));
            QCOMPARE(shown.text, QStringLiteral("Error al grabar en tabla LOG"));
        } else {
            // The session rules' report of a log that cannot be opened.
            QCOMPARE(shown.icon, MsgIcon::None);
            QVERIFY2(shown.text.endsWith(QStringLiteral("\n\rStatus 0")), qPrintable(shown.text));
            QVERIFY2(shown.text.contains(log), qPrintable(shown.text));
        }

        // Both companies were backed up and verified; the log holds the
        // second company's row, which came after the repair.
        const QString file1 = Path(copias, QStringLiteral("[]Local_EMPRESA1_081226_1305.fbk"));
        const QString file2 = Path(copias, QStringLiteral("[]Local_EMPRESA2_081226_1306.fbk"));
        QCOMPARE(LogRows(data),
                 (QList<QStringList>{{QStringLiteral("08/12/2026"), QStringLiteral("13:06"),
                                      QStringLiteral("[]Local"), Path(second, kCompanyDatabase),
                                      file2, QStringLiteral("T"), QString()}}));
        // The backup that no row tells of holds its company; the other one
        // is vouched for by its row.
        VerifyBackupFile(file1);
        QVERIFY(QFile::exists(file2));
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), expectedCounts_);
        QVERIFY(host.controlsEnabled);
        QVERIFY(!data.IBBackup.Active());
    }

    // Spaces, accents and "ñ" in the server's alias, the destination and
    // the company: the file is named with them, the row stores them as they
    // are (read back by this program and by isql through UTF-8), the log
    // browser finds the row by its server, and its backup restores over the
    // company database.
    void accentedNamesGoAllTheWayToARestore() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(QStringLiteral("x"));
        TestHost host;
        const QString server = QStringLiteral("[]Oficina Peña Güell");
        const QString copias = scratch_.NewFolder(QStringLiteral("Copias año 2026 (Ñ)"));
        const QString company = scratch_.NewCompany(QStringLiteral("Panadería Ñandú SL"));
        const QString database = Path(company, kCompanyDatabase);
        host.AddServer(server, {kDestinationTag + copias, company});

        // The unattended run of the plan.
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        const QString backupFile =
            Path(copias, QStringLiteral("[]Oficina Peña Güell_Panadería Ñandú SL_081226_1305.fbk"));
        QCOMPARE(QDir(copias).entryList(QDir::Files),
                 (QStringList{QFileInfo(backupFile).fileName(), kVerificationFile}));
        const QStringList row = {QStringLiteral("08/12/2026"),
                                 QStringLiteral("13:05"),
                                 server,
                                 database,
                                 backupFile,
                                 QStringLiteral("T"),
                                 QString()};
        QCOMPARE(LogRows(data), QList<QStringList>{row});
        VerifyBackupFile(backupFile);
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), expectedCounts_);
        // The stored characters themselves, not only what this program's own
        // decoding makes of them.
        QCOMPARE(SqlQuery(BackupLogName(),
                          QStringLiteral("select servidor, empresa, destino from backuplog;")),
                 QStringList{server + u'|' + database + u'|' + backupFile});

        // The company loses rows; the operator picks the backup in the log
        // browser, filtered by its server, and restores it.
        QVERIFY(SqlExec(database, QStringLiteral("delete from lineas;")));
        QVERIFY(CompanyCounts(database) != expectedCounts_);
        HistoryChoice.Clear();
        bool chosen = false;
        QTimer chooser;
        chooser.setInterval(10);
        connect(&chooser, &QTimer::timeout, this, [&] {
            auto* form = qobject_cast<TLogForm*>(QApplication::activeModalWidget());
            if (form == nullptr || !form->isVisible()) return;
            chooser.stop();
            chosen = true;
            form->rb2->click();
            // Down the server list to the company's server, as by the keyboard.
            for (int i = 0;
                 i < form->cbServidores->count() && form->cbServidores->currentText() != server;
                 ++i)
                QTest::keyClick(form->cbServidores, Qt::Key_Down);
            if (form->cbServidores->currentText() == server && form->Rows->Count() == 1) {
                const QRect cell = form->listviewlog->visualRect(form->Rows->index(0, 1));
                QTest::mouseClick(form->listviewlog->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(form->listviewlog->viewport(), Qt::LeftButton, {},
                                   cell.center());
            }
            if (form->isVisible()) form->close();
        });
        chooser.start();
        ShowBackupLog(data, 1);
        QVERIFY(chosen);
        QCOMPARE(HistoryChoice, (THistoryChoice{QStringLiteral("LOCAL"), backupFile, database}));

        RestoreWindow window;
        RunRestore(data,
                   RestoreRequest{HistoryChoice.Server, HistoryChoice.BackupFile,
                                  HistoryChoice.TargetDatabase},
                   window);
        QCOMPARE(dialogs.texts(), QStringList{restoretext::kFinished});
        QCOMPARE(CompanyCounts(database), expectedCounts_);
    }

    // A name that the log's code page cannot hold: the backup is made and
    // verified, and the operator is told that its row could not be written,
    // in the run that the operator starts and in the unattended one. No row
    // claims anything for it; the other companies' rows are written.
    void namesTheLogCannotHoldAreToldNotStored() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kRunTime);
        TData data(QStringLiteral("x"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString omega = scratch_.NewCompany(QStringLiteral("Ωmega"));
        const QString tokyo = scratch_.NewCompany(QStringLiteral("東京商事"));
        const QString plain = scratch_.NewCompany(QStringLiteral("Normal SL"));
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias, omega, tokyo, plain});
        host.PickServer(0);
        TBackupRun(data, host).RunBackup();

        const QString omegaFile = Path(copias, QStringLiteral("[]Local_Ωmega_081226_1305.fbk"));
        const QString tokyoFile = Path(copias, QStringLiteral("[]Local_東京商事_081226_1306.fbk"));
        const QString plainFile = Path(copias, QStringLiteral("[]Local_Normal SL_081226_1307.fbk"));
        QCOMPARE(dialogs.messages.size(), 2);
        for (const auto& [shown, name] :
             {std::pair{dialogs.messages[0], omega}, std::pair{dialogs.messages[1], tokyo}}) {
            QCOMPARE(shown.icon, MsgIcon::Error);
            QCOMPARE(shown.title, QStringLiteral("ERROR"));
            QCOMPARE(
                shown.text,
                QStringLiteral("Error al grabar en tabla LOG\n\rEl texto del parámetro EMPRESA "
                               "contiene caracteres que la base de datos no admite "
                               "(WIN1252): ") +
                    Path(name, kCompanyDatabase));
        }
        QCOMPARE(LogRows(data),
                 (QList<QStringList>{{QStringLiteral("08/12/2026"), QStringLiteral("13:07"),
                                      QStringLiteral("[]Local"), Path(plain, kCompanyDatabase),
                                      plainFile, QStringLiteral("T"), QString()}}));
        VerifyBackupFile(omegaFile);
        VerifyBackupFile(tokyoFile);
        QVERIFY(QFile::exists(plainFile));

        // Unattended, with the server's own alias outside the code page: the
        // box waits for somebody all the same, and the table stays as it was.
        dialogs.messages.clear();
        TestHost scheduled;
        const QString sucursal = QStringLiteral("[]Sucursal Ω");
        const QString copiasSucursal = scratch_.NewFolder(QStringLiteral("copias-sucursal"));
        scheduled.AddServer(sucursal, {kDestinationTag + copiasSucursal, plain});
        TBackupRun(data, scheduled).RunScheduledBackup();
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("ERROR"));
        QVERIFY2(dialogs.messages[0].text.contains(sucursal), qPrintable(dialogs.messages[0].text));
        QCOMPARE(LogRows(data).size(), 1);
        VerifyBackupFile(
            Path(copiasSucursal, QStringLiteral("[]Sucursal Ω_Normal SL_081226_1308.fbk")));
    }
};

QTEST_MAIN(TestBackupHardening)
#include "tst_backuphardening.moc"
