// The log browser and the entry detail on a real Backup.fdb (embedded
// engine), its rows appended by the log store, driven offscreen like an
// operator: radio buttons clicked, the filter picked with the keyboard, rows
// double-clicked, the detail closed with Esc and Enter.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "backup/BackupLog.h"
#include "logview/FLogForm.h"
#include "logview/FViewErrorLog.h"
#include "logview/HistoryChoice.h"
#include "logview/ShowBackupLog.h"
#include "platform/Paths.h"
#include "tests/logview/ModalKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

using namespace logtext;
using namespace Qt::StringLiterals;

namespace {

// Date, time, server, EXITO, remarks; the company and the backup file are
// made from the time.
const QList<QStringList> kEntries = {
    {u"25/03/2026"_s, u"09:15"_s, u"[127.0.0.2]Central"_s, u"T"_s},
    {u"25/03/2026"_s, u"18:40"_s, u"[]Local"_s, u"T"_s},
    {u"02/04/2026"_s, u"07:05"_s, u"[127.0.0.2]CENTRAL"_s, u"T"_s},
    {u"14/11/2025"_s, u"23:59"_s, u"Oficina"_s, u"T"_s},
    {u"20/03/2026"_s, u"12:00"_s, u"[127.0.0.2]Central"_s, u"F"_s, u"Primera observación"_s,
     u"Segunda"_s},
    {u"01/01/2026"_s, u"00:00"_s, QString(), u"F"_s,
     u"En ese momento se estaba realizando otra copia de seguridad"_s},
    {u"03/04/2026"_s, u"10:30"_s, u"[]Local"_s, u"?"_s},
};
QString Company(const QString& hora) {
    return u"/srv/EMP"_s + QString(hora).remove(u':') + u"/Quillbase.orv"_s;
}
QString BackupFile(const QString& hora) {
    return u"/copias/"_s + QString(hora).remove(u':') + u".fbk"_s;
}

// Newest first (dates day first, a later time first); and by server text.
const QStringList kDateOrder = {u"03/04 10:30"_s, u"02/04 07:05"_s, u"25/03 18:40"_s,
                                u"25/03 09:15"_s, u"20/03 12:00"_s, u"01/01 00:00"_s,
                                u"14/11 23:59"_s};
const QStringList kServerOrder = {u"01/01 00:00"_s, u"14/11 23:59"_s, u"02/04 07:05"_s,
                                  u"25/03 09:15"_s, u"20/03 12:00"_s, u"03/04 10:30"_s,
                                  u"25/03 18:40"_s};

QStringList Shown(const TLogForm& form) {
    QStringList rows;
    for (int row = 0; row < form.Rows->Count(); ++row)
        rows << form.Rows->Row(row).Fecha.left(5) + u' ' + form.Rows->Row(row).Hora;
    return rows;
}

// A double-click as the widgets receive it: press, release, double-click.
void DoubleClick(QWidget* widget, const QPoint& position) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, position);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, position);
}

void DoubleClickRow(TLogForm& form, const QString& when) {
    const int row = static_cast<int>(Shown(form).indexOf(when));
    QVERIFY(row >= 0);
    DoubleClick(form.listviewlog->viewport(),
                form.listviewlog->visualRect(form.Rows->index(row, 1)).center());
}

QStringList Entries(const QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
    return entries;
}

}  // namespace

class TestLogView : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;

private slots:
    // The sample log is written once and copied back before each test.
    void initTestCase() {
        QuietOffscreenWarnings();
        platform::SetExecutableDirectory(scratch_.path());
        QVERIFY(MakeBackupLog(BackupLogName()));
        TData data(u"x"_s);
        for (const QStringList& e : kEntries)
            WriteBackupLog(data, e[0], e[1], e[2], e[2].isEmpty() ? QString() : Company(e[1]),
                           e[2].isEmpty() ? QString() : BackupFile(e[1]), e[3], e.mid(4));
        data.IBDBackup.Disconnect();
        QVERIFY(QFile::copy(BackupLogName(), scratch_.filePath(u"muestra.fdb"_s)));
    }

    void init() {
        QFile::remove(BackupLogName());
        QVERIFY(QFile::copy(scratch_.filePath(u"muestra.fdb"_s), BackupLogName()));
        HistoryChoice.Clear();
    }

    // The opening, the two orders and the filter, with the exact statements.
    void ordersAndFilter() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        const auto sql = [&] { return data.IBSQLBackup.Sql(); };
        const QString byDate = u"select * from backuplog order by fecha desc, hora desc"_s;
        const QString byServer =
            u"select * from backuplog order by servidor, fecha desc, hora desc"_s;
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            QCOMPARE(sql(), byDate);
            QVERIFY(data.IBDBackup.Connected() &&
                    data.IBTBackup.InTransaction());  // until a refill
            QCOMPARE(Shown(form), kDateOrder);
            QCOMPARE(form.Rows->Row(1),
                     (TLogRow{1, u"02/04/2026"_s, u"07:05"_s, u"[127.0.0.2]CENTRAL"_s,
                              Company(u"07:05"_s), BackupFile(u"07:05"_s)}));
            QCOMPARE(form.Rows->Row(0).Icon, 0);  // neither "T" nor "F"
            QCOMPARE(form.Rows->Row(4).Icon, 0);
            // One entry per server in the order of its newest row, letter
            // case ignored.
            QVERIFY(form.rb1->isChecked() && !form.cbServidores->isVisible());
            QCOMPARE(Entries(form.cbServidores),
                     (QStringList{kAllServers, u"[]Local"_s, u"[127.0.0.2]CENTRAL"_s, QString(),
                                  u"Oficina"_s}));

            QTest::mouseClick(form.rb2, Qt::LeftButton);
            QVERIFY(form.cbServidores->isVisible());
            QCOMPARE(sql(), byServer);
            QCOMPARE(Shown(form), kServerOrder);
            QVERIFY(!data.IBDBackup.Connected());

            // One server: the rows of exactly that text.
            QTest::keyClick(form.cbServidores, Qt::Key_Down);
            QTest::keyClick(form.cbServidores, Qt::Key_Down);
            QCOMPARE(form.cbServidores->currentText(), u"[127.0.0.2]CENTRAL"_s);
            QCOMPARE(
                sql(),
                u"select * from backuplog where servidor = :server order by servidor, fecha desc, hora desc"_s);
            QCOMPARE(Shown(form), QStringList{u"02/04 07:05"_s});
            QVERIFY(!data.IBDBackup.Connected());
            QTest::mouseClick(form.rb2, Qt::LeftButton);  // already checked: nothing
            QCOMPARE(Shown(form), QStringList{u"02/04 07:05"_s});

            QTest::mouseClick(form.rb1, Qt::LeftButton);
            QVERIFY(!form.cbServidores->isVisible());
            QCOMPARE(Shown(form), kDateOrder);
            QCOMPARE(sql(), byDate);
            // Server order again starts from "Todos los servidores".
            QTest::mouseClick(form.rb2, Qt::LeftButton);
            QCOMPARE(form.cbServidores->currentIndex(), 0);
            QCOMPARE(Shown(form), kServerOrder);
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());
        QVERIFY(!data.IBDBackup.Connected());
        QVERIFY(dialogs.messages.isEmpty());
    }

    // The detail finds the row again by the texts the list shows.
    void detail() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            {
                WhenModal<TViewErrorLog> none([](TViewErrorLog& detail) { detail.close(); });
                DoubleClick(form.listviewlog->viewport(),
                            QPoint(20, form.listviewlog->viewport()->height() - 5));
                QVERIFY(!none.answered());  // no row selected: nothing
            }
            WhenModal<TViewErrorLog> failed([&](TViewErrorLog& detail) {
                QVERIFY(!data.IBDBackup.Connected());  // closed before the window shows
                const QStringList fields = {detail.Edit1->text(), detail.Edit2->text(),
                                            detail.Edit3->text(), detail.Edit4->text(),
                                            detail.Edit5->text()};
                QCOMPARE(fields, (QStringList{u"20/03/2026"_s, u"12:00"_s, u"[127.0.0.2]Central"_s,
                                              Company(u"12:00"_s), BackupFile(u"12:00"_s)}));
                QVERIFY(detail.Label6->isVisible() && detail.Image1->isVisible() &&
                        !detail.Label8->isVisible());
                QCOMPARE(detail.Memo1->toPlainText(), u"Primera observación\nSegunda"_s);
                QTest::keyClick(detail.Memo1, Qt::Key_Escape);
            });
            DoubleClickRow(form, u"20/03 12:00"_s);
            QVERIFY(failed.answered());

            WhenModal<TViewErrorLog> succeeded([&](TViewErrorLog& detail) {
                QCOMPARE(detail.Edit2->text(), u"18:40"_s);
                QVERIFY(detail.Label8->isVisible() && detail.Image2->isVisible() &&
                        !detail.Image1->isVisible());
                // The success banner stands where the failure banner is drawn.
                QCOMPARE(detail.Image2->pos(), detail.Image1->pos());
                QCOMPARE(detail.Label8->pos(), detail.Label6->pos());
                QCOMPARE(detail.focusWidget(), detail.BitBtn1);
                QTest::keyClick(detail.BitBtn1, Qt::Key_Return);
            });
            DoubleClickRow(form, u"25/03 18:40"_s);
            QVERIFY(succeeded.answered());

            WhenModal<TViewErrorLog> neither([&](TViewErrorLog& detail) {
                QCOMPARE(detail.Edit5->text(), BackupFile(u"10:30"_s));
                QVERIFY(!detail.Label6->isVisible() && !detail.Label8->isVisible());
                detail.close();
            });
            DoubleClickRow(form, u"03/04 10:30"_s);
            QVERIFY(neither.answered());
            QCOMPARE(form.Rows->Count(), kEntries.size());
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void chooseMode() {
        QCOMPARE(ServerOfLogEntry(u"[10.0.0.5/3051]Central"_s), u"10.0.0.5/3051"_s);
        QCOMPARE(ServerOfLogEntry(u"[[10.0.0.5]]x"_s), u"10.0.0.5"_s);
        QCOMPARE(ServerOfLogEntry(QString()), QString());

        FakeDialogs dialogs;
        TData data(u"x"_s);
        const auto choose = [&](const std::function<void(TLogForm&)>& act) {
            WhenModal<TLogForm> log([&](TLogForm& form) {
                act(form);
                if (form.isVisible()) form.close();
            });
            ShowBackupLog(data, 1);
            QVERIFY(log.answered());
        };
        const auto row = [&](const QString& when) {
            return [when](TLogForm& form) { DoubleClickRow(form, when); };
        };
        const THistoryChoice earlier{u"10.1.1.1"_s, u"/a.fbk"_s, u"/a/Quillbase.orv"_s};
        HistoryChoice = earlier;
        choose([](TLogForm&) {});  // closed with no row selected
        QCOMPARE(HistoryChoice, earlier);

        choose(row(u"25/03 09:15"_s));
        QCOMPARE(HistoryChoice,
                 (THistoryChoice{u"127.0.0.2"_s, BackupFile(u"09:15"_s), Company(u"09:15"_s)}));
        choose(row(u"25/03 18:40"_s));
        QCOMPARE(HistoryChoice.Server, u"LOCAL"_s);
        choose(row(u"14/11 23:59"_s));
        QCOMPARE(HistoryChoice.Server, u"Oficina"_s);
        QVERIFY(dialogs.messages.isEmpty());

        choose(row(u"20/03 12:00"_s));
        QCOMPARE(dialogs.texts(), QStringList{kInvalidCopy});
        QCOMPARE(dialogs.messages.at(0).icon, platform::MsgIcon::Information);
        QCOMPARE(HistoryChoice, THistoryChoice{});

        // Selected, then closed by the close box: taken all the same.
        choose([](TLogForm& form) {
            QTest::mouseClick(form.listviewlog->viewport(), Qt::LeftButton, {},
                              form.listviewlog->visualRect(form.Rows->index(1, 1)).center());
        });
        QCOMPARE(HistoryChoice.BackupFile, BackupFile(u"07:05"_s));
    }

    // A log written by an earlier installation, without the indexes that
    // the orders use now: the same rows in the same orders, the detail
    // found again, and the file left as it was.
    void earlierLogWithoutIndexes() {
        const QString indexes =
            u"select count(*) from rdb$indices where rdb$relation_name = 'BACKUPLOG'"_s;
        QVERIFY(SqlExec(BackupLogName(), u"drop index BACKUPLOG_FECHA_HORA"_s));
        QVERIFY(SqlExec(BackupLogName(), u"drop index BACKUPLOG_SERVIDOR"_s));
        QCOMPARE(SqlQuery(BackupLogName(), indexes), QStringList{u"0"_s});

        FakeDialogs dialogs;
        TData data(u"x"_s);
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            QCOMPARE(Shown(form), kDateOrder);
            QTest::mouseClick(form.rb2, Qt::LeftButton);
            QCOMPARE(Shown(form), kServerOrder);
            QTest::keyClick(form.cbServidores, Qt::Key_Down);
            QCOMPARE(form.cbServidores->currentText(), u"[]Local"_s);
            QCOMPARE(Shown(form), (QStringList{u"03/04 10:30"_s, u"25/03 18:40"_s}));
            WhenModal<TViewErrorLog> entry([](TViewErrorLog& detail) {
                QCOMPARE(detail.Edit1->text(), u"25/03/2026"_s);
                QCOMPARE(detail.Edit5->text(), BackupFile(u"18:40"_s));
                detail.close();
            });
            DoubleClickRow(form, u"25/03 18:40"_s);
            QVERIFY(entry.answered());
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(SqlQuery(BackupLogName(), indexes), QStringList{u"0"_s});
    }

    // Every column is read into texts that the next row reuses: what the
    // list keeps of a row must not change when the rows after it are read,
    // whatever their lengths, NULLs and characters.
    void rowsKeepTheirOwnTexts() {
        QVERIFY(MakeBackupLog(BackupLogName()));
        const QString longPath = u"D:\\Copias\\"_s + QString(900, u'x') + u".fbk"_s;
        // Oldest first; the list shows them newest first.
        const QList<TLogRow> written = {
            {1, u"01/02/0999"_s, u"00:01"_s, u"[]Año"_s, u"C:\\Ñ\\Quillbase.orv"_s, longPath},
            {0, u"02/02/2026"_s, u"00:02"_s, u"[]Año"_s, u"C:\\E\\Quillbase.orv"_s,
             u"D:\\Copias\\€uros_Ž‰.fbk"_s},
            {1, u"03/02/2026"_s, u"00:03"_s, u"[10.0.0.1]Ofi"_s, QString(), u"D:\\c.fbk"_s},
            {1, u"31/12/9999"_s, u"23:59"_s, u"[]AÑO"_s, u"C:\\Ñ\\Quillbase.orv"_s,
             u"D:\\b.fbk"_s},
        };
        TData writer(u"x"_s);
        for (const TLogRow& row : written)
            WriteBackupLog(writer, row.Fecha, row.Hora, row.Servidor, row.Empresa, row.Destino,
                           row.Icon == 1 ? u"T"_s : u"F"_s, {});
        writer.IBDBackup.Disconnect();
        // Bytes that WIN1252 leaves unassigned come back as the same code
        // points, and NULL columns as empty texts.
        QVERIFY(SqlExec(BackupLogName(),
                        u"insert into backuplog (fecha, hora, servidor, destino, exito) values "
                        "('2026-02-04', '00:04', '[]Local', ascii_char(129) || ascii_char(157), 'T')"_s));

        FakeDialogs dialogs;
        TData data(u"x"_s);
        WhenModal<TLogForm> browse([&](TLogForm& form) {
            QCOMPARE(form.Rows->Count(), written.size() + 1);
            QCOMPARE(form.Rows->Row(0), written[3]);
            QCOMPARE(form.Rows->Row(1), (TLogRow{1, u"04/02/2026"_s, u"00:04"_s, u"[]Local"_s,
                                                 QString(), u"\u0081\u009D"_s}));
            QCOMPARE(form.Rows->Row(2), written[2]);
            QCOMPARE(form.Rows->Row(3), written[1]);
            QCOMPARE(form.Rows->Row(4), written[0]);
            // What the view shows is the same text.
            QCOMPARE(form.Rows->index(3, 4).data().toString(), written[1].Destino);
            QCOMPARE(form.Rows->index(4, 0).data().toString(), u"01/02/0999"_s);
            // Servers that differ only in letter case make one entry.
            QCOMPARE(Entries(form.cbServidores),
                     (QStringList{kAllServers, u"[]AÑO"_s, u"[]Local"_s, u"[10.0.0.1]Ofi"_s}));
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(browse.answered());
        QVERIFY(dialogs.messages.isEmpty());
    }

    // The list's store on its own: texts kept once are found again for the
    // right rows, whatever order they come back in, and rows moved behind
    // others keep theirs.
    void storeOfTheRows() {
        TLogRows rows;
        QVERIFY(rows.Add(1, u"a"_s, u"1"_s, u"S1"_s, u"E1"_s, u"d1"_s));
        QVERIFY(rows.Add(0, u"b"_s, u"2"_s, u"S2"_s, u"E2"_s, u"d2€"_s));
        QVERIFY(!rows.Add(1, u"a"_s, u"1"_s, u"S1"_s, u"E2"_s, QString()));
        QVERIFY(rows.Add(1, u"a"_s, u"2"_s, u"s1"_s, u"E1"_s, u"d2€"_s));
        TLogRows more;
        more.Add(0, u"c"_s, u"3"_s, u"S2"_s, u"E3"_s, u"ÿ"_s);
        rows.Append(std::move(more));
        const QList<TLogRow> expected = {
            {1, u"a"_s, u"1"_s, u"S1"_s, u"E1"_s, u"d1"_s},
            {0, u"b"_s, u"2"_s, u"S2"_s, u"E2"_s, u"d2€"_s},
            {1, u"a"_s, u"1"_s, u"S1"_s, u"E2"_s, QString()},
            {1, u"a"_s, u"2"_s, u"s1"_s, u"E1"_s, u"d2€"_s},
            {0, u"c"_s, u"3"_s, u"S2"_s, u"E3"_s, u"ÿ"_s},
        };
        QCOMPARE(rows.Count(), expected.size());
        for (int row = 0; row < rows.Count(); ++row) QCOMPARE(rows.At(row), expected[row]);
        rows.Clear();
        QCOMPARE(rows.Count(), 0);
        QVERIFY(rows.Add(1, u"a"_s, u"1"_s, u"S1"_s, u"E1"_s, u"d1"_s));
    }

    void logGoneOrEmpty() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        const QString moved = BackupLogName() + u".aparte"_s;
        // Gone between two fills: the filter reports it, the list stays empty.
        WhenModal<TLogForm> vanishing([&](TLogForm& form) {
            QTest::mouseClick(form.rb2, Qt::LeftButton);
            QVERIFY(QFile::rename(BackupLogName(), moved));
            QTest::keyClick(form.cbServidores, Qt::Key_Down);
            QCOMPARE(form.Rows->Count(), 0);
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(vanishing.answered());
        // Gone when the window is to open: the report, no window, the choice
        // unchanged.
        HistoryChoice.Server = u"LOCAL"_s;
        {
            WhenModal<TLogForm> none([](TLogForm& form) { form.close(); });
            ShowBackupLog(data, 1);
            QVERIFY(!none.answered());
        }
        QCOMPARE(HistoryChoice.Server, u"LOCAL"_s);
        QCOMPARE(dialogs.messages.size(), 2);
        for (const auto& shown : dialogs.messages) QVERIFY(shown.text.endsWith(u"\n\rStatus 0"_s));
        QVERIFY(!data.IBDBackup.Connected());

        // Empty: no rows, only "Todos los servidores".
        QVERIFY(MakeBackupLog(BackupLogName()));
        WhenModal<TLogForm> empty([](TLogForm& form) {
            QCOMPARE(form.Rows->Count(), 0);
            QCOMPARE(Entries(form.cbServidores), QStringList{kAllServers});
            form.close();
        });
        ShowBackupLog(data, 0);
        QVERIFY(empty.answered());
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
