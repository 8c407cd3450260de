// The backup run when its server fails in the middle of a job, each fault
// provoked for real on a private server of this test's own (127.0.0.10):
// a destination that runs out of space (the server's file-size limit, as a
// full disk refuses a write) during the backup and during the verification,
// a backup file that loses its end before its verification, the server
// killed with SIGKILL while it backs up and while it verifies, and frozen
// (SIGSTOP) while it backs up. Each time the
// job's row says "F", the operator (box, error window or remark) is told
// why, the run goes on with its next job, and once the server is back the
// same plan backs up again. The company that meets the fault is a big one,
// so that the fault falls in the middle of its data.

#include <sys/file.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FErrorenCopia.h"
#include "backup/FProgreso.h"
#include "db/Installation.h"
#include "db/ServerWatch.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FaultKit.h"

using namespace backuprun;
using platform::MsgIcon;

namespace {

const QString kServerIp = QStringLiteral("127.0.0.10");
const QString kServerText = QStringLiteral("[127.0.0.10]Central");
const QString kPassword = QStringLiteral("Averia.10");
const QString kStatusZero = QStringLiteral("\n\rStatus 0");
constexpr int kBigInvoices = 20000;

QString Path(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

}  // namespace

class TestBackupFaults : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString small_;  // the sample company
    QString big_;    // the sample grown to kBigInvoices invoices
    QString smallCounts_;
    QString bigCounts_;
    qint64 bigBackupSize_ = 0;
    qint64 bigDatabaseSize_ = 0;
    int folders_ = 0;

    QString NewFolder(const QString& name) {
        const QString folder = scratch_.filePath(QStringLiteral("%1-%2").arg(++folders_).arg(name));
        QDir().mkpath(folder);
        return folder;
    }

    QString NewCompany(const QString& name, const QString& from) {
        const QString folder = Path(NewFolder(QStringLiteral("empresas")), name);
        QDir().mkpath(folder);
        if (!QFile::copy(from, Path(folder, kCompanyDatabase)))
            qFatal("cannot copy the company database");
        return folder;
    }

    // The rows a good backup file of this company restores to.
    QString CountsOf(const QString& company) const {
        return company.contains(u"GRANDE") ? bigCounts_ : smallCounts_;
    }

    // Every "T" row's file restores to its company's rows.
    void VerifyBackupFiles(const QList<QStringList>& rows) {
        int restored = 0;
        for (const QStringList& row : rows) {
            if (row.at(5) != u"T") continue;
            const QString target =
                scratch_.filePath(QStringLiteral("restored-%1.fdb").arg(++restored));
            QCOMPARE(RestoredCounts(row.at(4), target), CountsOf(row.at(3)));
            QFile::remove(target);
        }
    }

    static bool StartServer(FirebirdTestServer& server) {
        faultkit::IgnoreFileSizeSignal();
        return server.start(kServerIp, kPassword);
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.isValid());
        small_ = scratch_.filePath(QStringLiteral("plantilla/Quillbase.orv"));
        QVERIFY(MakeCompanyDatabase(small_));
        smallCounts_ = CompanyCounts(small_);
        big_ = scratch_.filePath(QStringLiteral("plantilla-grande/Quillbase.orv"));
        QVERIFY(faultkit::MakeBigCompanyDatabase(big_, kBigInvoices));
        bigCounts_ = CompanyCounts(big_);
        QVERIFY(!bigCounts_.isEmpty() && bigCounts_ != smallCounts_);
        // The sizes the limits of a full destination are chosen from.
        const QString probe = scratch_.filePath(QStringLiteral("grande.fbk"));
        QProcess gbak;
        gbak.start(QStringLiteral("gbak"),
                   {QStringLiteral("-b"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                    QStringLiteral("-password"), QStringLiteral("x"), big_, probe});
        QVERIFY(gbak.waitForFinished(60000) && gbak.exitCode() == 0);
        bigBackupSize_ = QFileInfo(probe).size();
        bigDatabaseSize_ = QFileInfo(big_).size();
        QFile::remove(probe);
        // The small company's verification database and the server's
        // security database stay well below either limit.
        QVERIFY2(bigBackupSize_ / 2 > QFileInfo(small_).size() * 3 / 2 &&
                     bigDatabaseSize_ > bigBackupSize_ * 3 / 2,
                 qPrintable(QStringLiteral("%1 %2").arg(bigBackupSize_).arg(bigDatabaseSize_)));
        platform::SetExecutableDirectory(NewFolder(QStringLiteral("programa")));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    // The backup file outgrows the room left: the job fails with the
    // server's words, in a box or as its row's remark, and the next company
    // of the run is backed up and verified.
    void destinationWithoutRoomFailsOnlyThatJob() {
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        QVERIFY(faultkit::LimitServerFileSize(server, bigBackupSize_ / 2));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(13, 5)));
        TData data(kPassword);
        TestHost host;
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        const QString small = NewCompany(QStringLiteral("PEQUEÑA"), small_);
        host.AddServer(kServerText, {kDestinationTag + copias, big, small});
        host.PickServer(0);
        TBackupRun(data, host).RunBackup();

        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::None);
        const QString text = dialogs.messages.first().text;
        QVERIFY2(text.endsWith(kStatusZero) && text.contains(u"space"), qPrintable(text));
        const QString errorText = text.chopped(kStatusZero.size());

        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();
        QCOMPARE(dialogs.messages.size(), 1);

        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 4);
        for (int i : {0, 2}) {
            QCOMPARE(rows[i].at(3), Path(big, kCompanyDatabase));
            QCOMPARE(rows[i].at(5), QStringLiteral("F"));
            // Whatever the server left of the file is not a whole backup.
            QVERIFY(!QFile::exists(rows[i].at(4)) ||
                    QFileInfo(rows[i].at(4)).size() < bigBackupSize_);
        }
        QCOMPARE(rows[0].at(6), QString());
        QCOMPARE(rows[2].at(6), errorText + QStringLiteral("\r\n"));
        for (int i : {1, 3}) {
            QCOMPARE(rows[i].at(3), Path(small, kCompanyDatabase));
            QCOMPARE(rows[i].at(5), QStringLiteral("T"));
            QCOMPARE(rows[i].at(6), QString());
        }
        VerifyBackupFiles(rows);
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), smallCounts_);
        QVERIFY(!data.IBBackup.Active());
        QVERIFY(main.st1.isEmpty() && main.st2.isEmpty());
    }

    // The backup file fits but the verification database does not: the
    // backup file is whole, yet the row says "F" because it was not
    // verified; unattended, the error window waits for somebody to close it.
    void destinationFullAtTheVerification() {
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        QVERIFY(faultkit::LimitServerFileSize(server, (bigBackupSize_ + bigDatabaseSize_) / 2));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(13, 5)));
        TData data(kPassword);
        TestHost host;
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        const QString small = NewCompany(QStringLiteral("PEQUEÑA"), small_);
        host.AddServer(kServerText, {kDestinationTag + copias, big, small});
        host.unattended = true;
        QStringList shown;
        ModalAnswers errorWindows([&](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) {
                shown << window->Label1->text();
                window->close();
            }
        });
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().startsWith(QStringLiteral("Mensaje : ")) &&
                     shown.first().contains(kVerificationFile),
                 qPrintable(shown.first()));
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6),
                 shown.first().mid(QStringLiteral("Mensaje : ").size()) + QStringLiteral("\r\n"));
        QCOMPARE(rows[1].at(5), QStringLiteral("T"));
        QCOMPARE(rows[1].at(6), QString());
        VerifyBackupFiles(rows);
        // The run deletes nothing: the unverified file is still there, whole.
        QCOMPARE(RestoredCounts(rows[0].at(4), scratch_.filePath(QStringLiteral("r.fdb"))),
                 bigCounts_);
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), smallCounts_);
    }

    // The backup file loses its end between the backup and its verification
    // (a destination that drops what it had accepted): the server then
    // restores what there is and stops without an error, and the
    // verification must not pass such a file.
    void backupFileCutBeforeItsVerification() {
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 30)));
        TData data(kPassword);
        TestHost host;
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        host.AddServer(kServerText, {kDestinationTag + copias, big});
        host.unattended = true;
        const QString file =
            Path(copias, QStringLiteral("[127.0.0.10]Central_GRANDE_081226_2130.fbk"));
        bool cut = false;
        main.onSt2 = [&](const QString& text) {
            // The backup's output is over: the server has closed the file.
            if (!text.isEmpty() || cut || !QFile::exists(file)) return;
            QFile backup(file);
            cut = backup.resize(backup.size() / 3);
        };
        QStringList shown;
        ModalAnswers errorWindows([&](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) {
                shown << window->Label1->text();
                window->close();
            }
        });
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY(cut);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(shown, QStringList{QStringLiteral("Mensaje : ") + kRestoreIncomplete});
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(4), file);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6),
                 shown.first().mid(QStringLiteral("Mensaje : ").size()) + QStringLiteral("\r\n"));
    }

    // Killed while the big company's data is written: its row and the next
    // company's on the dead server say "F" with the server's error, the
    // local company after them is backed up; restarted, the server backs up
    // the same plan.
    void serverKilledWhileBackingUp() {
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        main.scheduleActive = true;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 30)));
        TData data(kPassword);
        TestHost host;
        const QString remote = NewFolder(QStringLiteral("copias-central"));
        const QString local = NewFolder(QStringLiteral("copias-local"));
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        const QString small = NewCompany(QStringLiteral("PEQUEÑA"), small_);
        const QString here = NewCompany(QStringLiteral("LOCAL"), small_);
        host.AddServer(kServerText, {kDestinationTag + remote, big, small});
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + local, here});
        QString killedAt;
        main.onSt1 = [&](const QString& line) {
            if (!killedAt.isEmpty() || !line.contains(u"records written")) return;
            killedAt = line;
            QVERIFY(faultkit::KillServer(server));
        };
        TBackupRun(data, host).RunScheduledBackup();

        QVERIFY(killedAt.startsWith(QStringLiteral("Copiando : ")));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        auto rows = LogRows(data);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(
            rows[0].mid(2, 4),
            (QStringList{kServerText, Path(big, kCompanyDatabase),
                         Path(remote, QStringLiteral("[127.0.0.10]Central_GRANDE_081226_2130.fbk")),
                         QStringLiteral("F")}));
        QVERIFY2(rows[0].at(6).contains(u"connection"), qPrintable(rows[0].at(6)));
        QCOMPARE(rows[1].at(5), QStringLiteral("F"));
        QVERIFY2(rows[1].at(6).contains(kServerIp), qPrintable(rows[1].at(6)));
        QCOMPARE(rows[2].mid(2, 2),
                 (QStringList{QStringLiteral("[]Local"), Path(here, kCompanyDatabase)}));
        QCOMPARE(rows[2].at(5), QStringLiteral("T"));
        VerifyBackupFiles(rows);
        // The broken-off file stays where the server wrote it (the run deletes
        // nothing, and a server's disk is out of its reach); its row says what
        // it is worth, and a restore of it fails (tests/restore).
        QVERIFY(QFile::exists(rows[0].at(4)));
        QVERIFY(QFileInfo(rows[0].at(4)).size() < bigBackupSize_);
        QVERIFY(!QFile::exists(Path(remote, kVerificationFile)));
        QCOMPARE(main.rearms, 3);
        QVERIFY(main.timerArmed);
        QVERIFY(main.st1.isEmpty() && main.st2.isEmpty());
        QVERIFY(!data.IBBackup.Active());

        // Back again: the same plan backs up every company.
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        TBackupRun(data, host).RunScheduledBackup();
        QVERIFY(dialogs.messages.isEmpty());
        rows = LogRows(data).mid(3);
        QCOMPARE(rows.size(), 3);
        for (const QStringList& row : rows) QCOMPARE(row.at(5), QStringLiteral("T"));
        VerifyBackupFiles(rows);
    }

    // Frozen while the big company's data is written, as a hung server or a
    // pulled network cable leaves it: past the silence limit (shortened
    // here) the job fails with a remark that says so and the run goes on
    // with the local company. A verification that waits that long for its
    // turn (another program of the installation verifying) fails in a box.
    void serverSilentWhileBackingUp() {
        fb::SetSilenceLimit(std::chrono::seconds(3));
        struct ShippedLimit {
            ~ShippedLimit() { fb::SetSilenceLimit(fb::kDefaultSilenceLimit); }
        } shippedLimit;
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 30)));
        TData data(kPassword);
        TestHost host;
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        const QString here = NewCompany(QStringLiteral("LOCAL"), small_);
        host.AddServer(kServerText, {kDestinationTag + NewFolder(QStringLiteral("copias")), big});
        host.AddServer(QStringLiteral("[]Local"),
                       {kDestinationTag + NewFolder(QStringLiteral("copias-local")), here});
        bool frozen = false;
        main.onSt1 = [&](const QString& line) {
            if (frozen || !line.contains(u"records written")) return;
            frozen = true;
            QVERIFY(faultkit::FreezeServer(server));
        };
        QElapsedTimer elapsed;
        elapsed.start();
        TBackupRun(data, host).RunScheduledBackup();
        QVERIFY(faultkit::ThawServer(server));
        QVERIFY(frozen);
        QVERIFY2(elapsed.elapsed() < 60000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        auto rows = LogRows(data);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].mid(5),
                 (QStringList{QStringLiteral("F"),
                              QStringLiteral("El servidor ha dejado de responder: "
                                             "3 segundos sin ninguna respuesta\r\n")}));
        QCOMPARE(rows[1].at(5), QStringLiteral("T"));
        QVERIFY(!data.IBBackup.Active());

        // Another program holds the installation's verification turn.
        const QString conf = platform::ExecutableDirectory() + kInstallationFile;
        QFile held(conf);
        QVERIFY(held.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(held.handle(), LOCK_EX | LOCK_NB), 0);
        host.unattended = false;
        host.PickServer(1);
        TBackupRun(data, host).RunBackup();
        held.close();
        QFile::remove(conf);
        QCOMPARE(dialogs.texts(),
                 QStringList{QStringLiteral("La copia no se ha podido verificar: otra verificación "
                                            "de este ordenador lleva 3 segundos sin terminar") +
                             kStatusZero});
        rows = LogRows(data).mid(2);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
    }

    // Killed while the big company's backup is restored into the
    // verification database, first in an interactive run (boxes), then in
    // an unattended one (error window and remarks). The backup file itself
    // is whole; the row says "F" all the same, since it was not verified.
    void serverKilledWhileVerifying() {
        FirebirdTestServer server;
        QVERIFY2(StartServer(server), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 30)));
        TData data(kPassword);
        TestHost host;
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString big = NewCompany(QStringLiteral("GRANDE"), big_);
        const QString small = NewCompany(QStringLiteral("PEQUEÑA"), small_);
        host.AddServer(kServerText, {kDestinationTag + copias, big, small});
        host.PickServer(0);
        {
            faultkit::LineTrigger kill(QStringLiteral("Verificando copia"),
                                       QStringLiteral("records restored"),
                                       [&] { QVERIFY(faultkit::KillServer(server)); });
            TBackupRun(data, host).RunBackup();
            QVERIFY2(kill.seen.startsWith(QStringLiteral("Verificando : ")), qPrintable(kill.seen));
        }
        QCOMPARE(dialogs.messages.size(), 2);
        for (const auto& message : dialogs.messages) {
            QCOMPARE(message.icon, MsgIcon::None);
            QVERIFY2(message.text.endsWith(kStatusZero), qPrintable(message.text));
        }
        QVERIFY2(dialogs.messages[0].text.contains(u"connection"),
                 qPrintable(dialogs.messages[0].text));
        QVERIFY2(dialogs.messages[1].text.contains(kServerIp),
                 qPrintable(dialogs.messages[1].text));
        auto rows = LogRows(data);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[1].at(5), QStringLiteral("F"));
        QCOMPARE(RestoredCounts(rows[0].at(4), scratch_.filePath(QStringLiteral("r.fdb"))),
                 bigCounts_);
        QVERIFY(host.controlsEnabled);
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(window->objectName() != u"Progreso");

        // Unattended: the verification's output is not shown. The server goes
        // at the 40th answer of the verification (its restore writes some 170
        // lines), which starts once the backup's output is over and the
        // status line cleared.
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        dialogs.messages.clear();
        host.unattended = true;
        bool verifying = false;
        int answers = 0;
        bool killed = false;
        main.onSt2 = [&](const QString& text) { verifying = text.isEmpty(); };
        QStringList shown;
        ModalAnswers errorWindows([&](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) {
                shown << window->Label1->text();
                window->close();
            }
        });
        TBackupRun run(data, host);
        run.OnServerWait = [&](bool waiting) {
            if (waiting || !verifying || killed || ++answers < 40) return;
            killed = true;
            QVERIFY(faultkit::KillServer(server));
        };
        run.RunScheduledBackup();
        QVERIFY(killed);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().contains(u"connection"), qPrintable(shown.first()));
        rows = LogRows(data).mid(2);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].at(5), QStringLiteral("F"));
        QCOMPARE(rows[0].at(6),
                 shown.first().mid(QStringLiteral("Mensaje : ").size()) + QStringLiteral("\r\n"));
        QCOMPARE(rows[1].at(5), QStringLiteral("F"));
        QVERIFY2(rows[1].at(6).contains(kServerIp), qPrintable(rows[1].at(6)));

        // Back again: the half-written verification database is replaced.
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        main.onSt2 = nullptr;
        TBackupRun(data, host).RunScheduledBackup();
        QCOMPARE(shown.size(), 1);
        rows = LogRows(data).mid(4);
        QCOMPARE(rows.size(), 2);
        for (const QStringList& row : rows) QCOMPARE(row.at(5), QStringLiteral("T"));
        VerifyBackupFiles(rows);
        QCOMPARE(CompanyCounts(Path(copias, kVerificationFile)), smallCounts_);
    }
};

QTEST_MAIN(TestBackupFaults)
#include "tst_backupfaults.moc"
