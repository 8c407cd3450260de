// From a backup run to a restore: the unattended backup run backs up a local
// company (embedded engine) and a company of a private server (127.0.0.8) at
// chosen instants and logs every job; the log browser lists those rows
// newest first; the restore window takes a row from the log and restores
// its .fbk file into a new database, locally and through the server.

#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "backup/BackupLog.h"
#include "backup/BackupRun.h"
#include "logview/FLogForm.h"
#include "logview/ShowBackupLog.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "restore/FInformaRestore.h"
#include "tests/logview/ModalKit.h"
#include "tests/restore/RestoreTestKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"

using namespace Qt::StringLiterals;

namespace {

const QString kServerPassword = u"Copia-8"_s;

class FixedClock : public platform::Clock {
public:
    QDateTime now;
    QDateTime Now() const override { return now; }
};

// The backup window as an unattended run sees it.
class PlanHost : public BackupRunHost {
public:
    BackupPlan plan;
    PlanRef selected;
    bool unattended = false;
    QStringList remarks;
    QWidget window;

    BackupPlan& Plan() override { return plan; }
    PlanRef SelectedEntry() const override { return selected; }
    void SelectEntry(const PlanRef& entry) override { selected = entry; }
    bool TreeHasFocus() const override { return true; }
    void SetRunControlsEnabled(bool) override {}
    void FocusTree() override {}
    bool Unattended() const override { return unattended; }
    void SetUnattended(bool value) override { unattended = value; }
    QStringList& Remarks() override { return remarks; }
    QWidget* Window() override { return &window; }
};

void DoubleClickRow(TLogForm& form, int row) {
    const QPoint at = form.listviewlog->visualRect(form.Rows->index(row, 1)).center();
    QTest::mouseClick(form.listviewlog->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(form.listviewlog->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestRestoreFromBackupRun : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    FirebirdTestServer server_;
    FixedClock clock_;

    QString Folder(const QString& relative) {
        QDir().mkpath(scratch_.filePath(relative));
        return scratch_.filePath(relative);
    }

    // The operator takes the newest successful row of a server from the log
    // and restores it into a new database; it must hold the company's rows.
    void RestoreFromLog(TData& data, const QString& serverText, const QString& company,
                        bool remote) {
        FakeDialogs dialogs;
        TRestoreForm form(data);
        ShowActive(form);
        WhenModal<TLogForm> choose([&](TLogForm& log) {
            for (int row = 0; row < log.Rows->Count(); ++row)
                if (log.Rows->Row(row).Servidor == serverText && log.Rows->Row(row).Icon == 1)
                    return DoubleClickRow(log, row);
        });
        QTest::mouseClick(form.spLeerLog, Qt::LeftButton);
        QVERIFY(choose.answered());
        QCOMPARE(form.Edit2->text(), company + u"/Quillbase.orv"_s);
        QVERIFY(form.Edit1->text().endsWith(u"_020426_0705.fbk"_s));
        const QString target = Folder(u"restauradas/"_s + serverText) + u"/Quillbase.orv"_s;
        Type(form.Edit2, target);
        WhenModal<TInformaRestore> confirm([](TInformaRestore& confirmation) {
            QTest::keyClick(confirmation.BitBtn2, Qt::Key_Return);
        });
        QTest::mouseClick(form.spRestore, Qt::LeftButton);
        QVERIFY(confirm.answered());
        QCOMPARE(dialogs.texts(), QStringList{u"¡ PROCESO TERMINADO !"_s});
        // Both read the way the restore went: in-process, or through the server.
        const auto name = [&](const QString& path) {
            return remote ? server_.databaseName(path) : path;
        };
        const QString password = remote ? kServerPassword : QString();
        QCOMPARE(CompanyRows(name(target), password),
                 CompanyRows(name(company + u"/Quillbase.orv"_s), password));
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        platform::SetExecutableDirectory(Folder(u"programa"_s));
        QVERIFY(MakeBackupLog(BackupLogName()));
        QVERIFY(MakeCompanyDatabase(Folder(u"srv/local/EMP01"_s) + u"/Quillbase.orv"_s));
        QVERIFY(MakeCompanyDatabase(Folder(u"srv/remoto/EMP03"_s) + u"/Quillbase.orv"_s));
        QVERIFY2(server_.start(u"127.0.0.8"_s, kServerPassword), qPrintable(server_.lastError()));
        platform::SetClock(&clock_);
    }

    void cleanupTestCase() { platform::SetClock(nullptr); }

    void backupRunsThenBrowseAndRestore() {
        FakeDialogs dialogs;
        TData data(kServerPassword);  // the server's; the embedded engine takes any
        PlanHost host;
        const QString copias = u"<DESTINO>"_s + Folder(u"copias"_s);
        host.plan.Servers.append(PlanServer{
            u"[]Local"_s,
            {copias, Folder(u"srv/local/EMP01"_s), Folder(u"srv/local/EMP02"_s)}});  // no database
        host.plan.Servers.append(
            PlanServer{u"[127.0.0.8]Remoto"_s, {copias, Folder(u"srv/remoto/EMP03"_s)}});
        TBackupRun run(data, host);
        for (const QString& when :
             {u"25/03/2026 09:15"_s, u"02/04/2026 07:05"_s, u"25/03/2026 18:40"_s}) {
            clock_.now = QDateTime::fromString(when, u"dd/MM/yyyy HH:mm"_s);
            run.RunScheduledBackup();
        }
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'\n')));

        // Newest first, a later time of the same date first; each run's
        // three rows (the missing database's failed) together.
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            QStringList rows;
            for (int row = 0; row < form.Rows->Count(); ++row) {
                const TLogRow& r = form.Rows->Row(row);
                rows << r.Fecha + u' ' + r.Hora + u' ' + QFileInfo(r.Empresa).dir().dirName() +
                            u' ' + QString::number(r.Icon);
            }
            QCOMPARE(rows.size(), 9);
            for (const QString& when :
                 {u"02/04/2026 07:05"_s, u"25/03/2026 18:40"_s, u"25/03/2026 09:15"_s}) {
                QStringList ofRun = rows.mid(0, 3);
                rows.remove(0, 3);
                ofRun.sort();
                QCOMPARE(ofRun, (QStringList{when + u" EMP01 1"_s, when + u" EMP02 0"_s,
                                             when + u" EMP03 1"_s}));
            }
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());

        RestoreFromLog(data, u"[]Local"_s, Folder(u"srv/local/EMP01"_s), false);
        RestoreFromLog(data, u"[127.0.0.8]Remoto"_s, Folder(u"srv/remoto/EMP03"_s), true);
    }
};

QTEST_MAIN(TestRestoreFromBackupRun)
#include "tst_restore_backuprun.moc"
