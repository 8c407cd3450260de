// The restore run when the restore breaks off, provoked for real on a
// private server of this test's own (127.0.0.11) and driven through the
// restore window like an operator: the server killed with SIGKILL in the
// middle of a restore, and a backup file that a killed backup run left
// broken off. Each time the target is an existing company database, and the
// operator must learn that the restore did not finish.

#include <QCryptographicHash>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "backup/BackupLog.h"
#include "backup/BackupRun.h"
#include "platform/ErrorReport.h"
#include "platform/Paths.h"
#include "restore/FInformaRestore.h"
#include "tests/logview/ModalKit.h"
#include "tests/restore/RestoreTestKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FaultKit.h"

using platform::MsgIcon;
using namespace Qt::StringLiterals;

namespace {

const QString kServerIp = u"127.0.0.11"_s;
const QString kPassword = u"Averia.11"_s;
const QString kFinished = u"¡ PROCESO TERMINADO !"_s;
constexpr int kBigInvoices = 20000;

// The rows of the four tables, "clientes|articulos|facturas|lineas".
QString Counts(const QString& database, const QString& password = {}) {
    return SqlQuery(database,
                    u"select (select count(*) from clientes), (select count(*) from articulos), "
                    u"(select count(*) from facturas), (select count(*) from lineas) "
                    u"from rdb$database"_s,
                    password)
        .value(0);
}

QByteArray Digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// The backup window as a backup run of one whole server sees it.
class ServerHost : public BackupRunHost {
public:
    BackupPlan plan;
    QStringList remarks;
    QWidget window;

    BackupPlan& Plan() override { return plan; }
    PlanRef SelectedEntry() const override { return PlanRef::ServerEntry(0); }
    void SelectEntry(const PlanRef&) override {}
    bool TreeHasFocus() const override { return true; }
    void SetRunControlsEnabled(bool) override {}
    void FocusTree() override {}
    bool Unattended() const override { return false; }
    void SetUnattended(bool) override {}
    QStringList& Remarks() override { return remarks; }
    QWidget* Window() override { return &window; }
};

// Clicks spRestore and accepts the confirmation.
void RestoreConfirmed(TRestoreForm& form) {
    WhenModal<TInformaRestore> confirm([](TInformaRestore& confirmation) {
        QTest::keyClick(confirmation.BitBtn2, Qt::Key_Return);
    });
    QTest::mouseClick(form.spRestore, Qt::LeftButton);
    QVERIFY(confirm.answered());
}

}  // namespace

class TestRestoreFaults : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString big_;  // the sample company grown to kBigInvoices invoices
    QString bigCounts_;
    QString bigBackup_;

    QString Path(const QString& relative) {
        const QString path = scratch_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return path;
    }

    // A company database that is in use: the sample company.
    QString ExistingTarget(const QString& name) {
        const QString target = Path(u"empresas/"_s + name + u"/Quillbase.orv"_s);
        if (!MakeCompanyDatabase(target)) return {};
        return target;
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        platform::SetExecutableDirectory(QFileInfo(Path(u"programa/x"_s)).absolutePath());
        QVERIFY(MakeBackupLog(BackupLogName()));
        big_ = Path(u"grande/GRANDE/Quillbase.orv"_s);
        QVERIFY(faultkit::MakeBigCompanyDatabase(big_, kBigInvoices));
        bigCounts_ = Counts(big_);
        QVERIFY(!bigCounts_.isEmpty());
        bigBackup_ = Path(u"copias/[]Local_GRANDE_081226_2130.fbk"_s);
        QVERIFY(MakeBackupFile(big_, bigBackup_));
    }

    // The server goes while the data goes in: the operator sees the
    // completion box and then the error; the backup file is untouched and,
    // once the server is back, restores in full.
    void serverKilledWhileRestoring() {
        FirebirdTestServer server;
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        const QString target = ExistingTarget(u"EMP01"_s);
        QVERIFY(!target.isEmpty());
        const QByteArray digest = Digest(bigBackup_);
        FakeDialogs dialogs;
        TData data(kPassword);
        TRestoreForm form(data);
        ShowActive(form);
        Fill(form, server.address(), bigBackup_, target);
        ProgressWatcher progress;
        {
            faultkit::LineTrigger kill(u"Restaurando en "_s, u"records restored"_s,
                             [&] { QVERIFY(faultkit::KillServer(server)); });
            RestoreConfirmed(form);
            QVERIFY2(kill.seen.startsWith(u"Copiando : "_s), qPrintable(kill.seen));
        }
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[0].text, kFinished);
        QCOMPARE(dialogs.messages[1].icon, MsgIcon::Error);
        QCOMPARE(dialogs.messages[1].title, platform::kAppTitle);
        QVERIFY2(dialogs.messages[1].text.contains(u"connection"_s),
                 qPrintable(dialogs.messages[1].text));
        QVERIFY(!progress.Lines().contains(kFinished));
        QVERIFY(form.findChildren<TProgreso*>().isEmpty());
        QCOMPARE(Fields(form), QStringList(4, QString()));
        QVERIFY(form.spRestore->isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(Digest(bigBackup_), digest);

        // With the server still down the window says so at once.
        dialogs.messages.clear();
        Fill(form, server.address(), bigBackup_, target);
        RestoreConfirmed(form);
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages[0].text.contains(kServerIp) &&
                     dialogs.messages[0].text.endsWith(u"\n\rStatus 0"_s),
                 qPrintable(dialogs.messages[0].text));

        // Back again: what the killed restore left at the target is not the
        // company (the operator was right not to be told otherwise), and the
        // same file restores in full over it.
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        QVERIFY(Counts(server.databaseName(target), kPassword) != bigCounts_);
        dialogs.messages.clear();
        Fill(form, server.address(), bigBackup_, target);
        RestoreConfirmed(form);
        QCOMPARE(dialogs.texts(), QStringList{kFinished});
        QCOMPARE(Counts(server.databaseName(target), kPassword), bigCounts_);
    }

    // A backup run killed halfway leaves its file behind with its row "F".
    // An operator who still picks that file must not be told the restore
    // went through: at the file's end the server's restore gives up without
    // an error (it wants a next volume) and keeps the rows it had read.
    void brokenOffBackupFileIsNotRestoredAsGood() {
        FirebirdTestServer server;
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));
        const QString company = QFileInfo(big_).absolutePath();
        const QString copias = QFileInfo(Path(u"copias-rotas/x"_s)).absolutePath();
        FakeDialogs dialogs;
        TData data(kPassword);
        ServerHost host;
        host.plan.Servers.append(
            PlanServer{u"[127.0.0.11]Central"_s, {kDestinationTag + copias, company}});
        host.plan.CurrentServerEntry = 0;
        {
            faultkit::LineTrigger kill(u"[127.0.0.11]Central : "_s, u"records written"_s,
                             [&] { QVERIFY(faultkit::KillServer(server)); });
            TBackupRun(data, host).RunBackup();
            QVERIFY(!kill.seen.isEmpty());
        }
        QCOMPARE(dialogs.messages.size(), 1);
        const QStringList files = QDir(copias).entryList({u"*.fbk"_s}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString brokenOff = copias + u'/' + files.first();
        QVERIFY(QFileInfo(brokenOff).size() < QFileInfo(bigBackup_).size());
        QVERIFY2(server.start(kServerIp, kPassword), qPrintable(server.lastError()));

        dialogs.messages.clear();
        const QString target = ExistingTarget(u"EMP02"_s);
        QVERIFY(!target.isEmpty());
        TRestoreForm form(data);
        ShowActive(form);
        Fill(form, server.address(), brokenOff, target);
        ProgressWatcher progress;
        RestoreConfirmed(form);
        QVERIFY2(dialogs.messages.size() == 2, qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(dialogs.messages[0].text, kFinished);
        QCOMPARE(dialogs.messages[1].icon, MsgIcon::Error);
        QCOMPARE(dialogs.messages[1].text,
                 platform::UnhandledErrorText(backuprun::kRestoreIncomplete));
        QVERIFY(progress.Lines().filter(u"Copiando : "_s).size() > 3);
        QVERIFY(!progress.Lines().contains(kFinished));
        QCOMPARE(Fields(form), QStringList(4, QString()));
        QVERIFY(form.spRestore->isEnabled());
        QVERIFY(Counts(server.databaseName(target), kPassword) != bigCounts_);
        // The server is free again for the next restore.
        dialogs.messages.clear();
        Fill(form, server.address(), bigBackup_, target);
        RestoreConfirmed(form);
        QCOMPARE(dialogs.texts(), QStringList{kFinished});
        QCOMPARE(Counts(server.databaseName(target), kPassword), bigCounts_);
    }
};

QTEST_MAIN(TestRestoreFaults)
#include "tst_restorefaults.moc"
