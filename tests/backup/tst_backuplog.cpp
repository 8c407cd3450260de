// Appending to the backup log Backup.fdb through ADDLINEASLOG, read back
// exactly as stored.

#include "backup/BackupLog.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using platform::MsgIcon;

class TestBackupLog : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;

    // Every row as its seven texts, read through a connection of our own.
    QList<QStringList> Rows() {
        fb::Database db;
        db.SetParams(TData::DatabaseParams(QStringLiteral("x")));
        db.SetDatabaseName(BackupLogName());
        db.Connect();
        fb::Transaction tr(db, {QStringLiteral("concurrency"), QStringLiteral("nowait")});
        fb::Statement st(db, tr);
        tr.StartTransaction();
        st.SetSql(QStringLiteral("select fecha,hora,servidor,empresa,destino,exito,observaciones from backuplog "
                                 "order by fecha desc, hora desc"));
        st.Execute();
        QList<QStringList> rows;
        while (st.Next()) {
            QStringList row;
            for (int i = 0; i < st.FieldCount(); ++i) row << st.Field(i);
            rows << row;
        }
        tr.Rollback();
        return rows;
    }

private slots:
    void init() {
        platform::SetExecutableDirectory(scratch_.path());
        QFile::remove(BackupLogName());
        QVERIFY(MakeBackupLog(BackupLogName()));
    }

    void rowsAreStoredExactlyAndCommitted() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), QStringLiteral("[]Local"),
                       QStringLiteral("/srv/quillbase/Miércoles ñ €/Quillbase.orv"),
                       QStringLiteral("/copias/[]Local_Miércoles ñ €_091226_2130.fbk"), QStringLiteral("T"),
                       {QStringLiteral("primera"), QStringLiteral("segunda")});
        // The embedded engine would keep every other program out of the log
        // while attached: the append lets go of it at once.
        QVERIFY(!data.IBDBackup.Connected());
        QVERIFY(!data.IBTBackup.InTransaction());
        WriteBackupLog(data, QStringLiteral("10/12/2026"), QStringLiteral("07:05"), QString(), QString(), QString(),
                       QStringLiteral("F"), {});
        QVERIFY(dialogs.messages.isEmpty());
        data.IBDBackup.Disconnect();

        const auto rows = Rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), (QStringList{QStringLiteral("10/12/2026"), QStringLiteral("07:05"), QString(), QString(),
                                         QString(), QStringLiteral("F"), QString()}));
        QCOMPARE(rows.at(1), (QStringList{QStringLiteral("09/12/2026"), QStringLiteral("21:30"),
                                         QStringLiteral("[]Local"),
                                         QStringLiteral("/srv/quillbase/Miércoles ñ €/Quillbase.orv"),
                                         QStringLiteral("/copias/[]Local_Miércoles ñ €_091226_2130.fbk"),
                                         QStringLiteral("T"), QStringLiteral("primera\r\nsegunda\r\n")}));
    }

    // A connection left open on the log is closed by the next append,
    // which opens the log anew: moved meanwhile, the row goes to the new one.
    void theNextAppendOpensTheLogAnew() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), QStringLiteral("primera"), {}, {},
                       QStringLiteral("T"), {});
        // Through a server the append leaves the log connected; the embedded
        // engine's append closes it, so stand the open connection in here.
        if (!data.IBDBackup.Connected()) data.IBDBackup.Connect();
        QVERIFY(data.IBDBackup.Connected());
        QTemporaryDir moved;
        platform::SetExecutableDirectory(moved.path());
        QVERIFY(MakeBackupLog(BackupLogName()));
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:31"), QStringLiteral("segunda"), {}, {},
                       QStringLiteral("T"), {});
        QCOMPARE(data.IBDBackup.DatabaseName(), BackupLogName());
        data.IBDBackup.Disconnect();
        const auto rows = Rows();
        platform::SetExecutableDirectory(scratch_.path());
        const auto first = Rows();
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(2), QStringLiteral("segunda"));
        QCOMPARE(first.size(), 1);
        QCOMPARE(first.first().at(2), QStringLiteral("primera"));
    }

    void datesAreReadDayFirstAndOrderNewestFirst() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        WriteBackupLog(data, QStringLiteral("02/01/2027"), QStringLiteral("09:00"), QStringLiteral("a"), {}, {},
                       QStringLiteral("T"), {});
        WriteBackupLog(data, QStringLiteral("12/01/2026"), QStringLiteral("23:59"), QStringLiteral("b"), {}, {},
                       QStringLiteral("T"), {});
        WriteBackupLog(data, QStringLiteral("02/01/2027"), QStringLiteral("10:00"), QStringLiteral("c"), {}, {},
                       QStringLiteral("T"), {});
        data.IBDBackup.Disconnect();
        const auto rows = Rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).at(2), QStringLiteral("c"));
        QCOMPARE(rows.at(1).at(2), QStringLiteral("a"));
        QCOMPARE(rows.at(2).at(0), QStringLiteral("12/01/2026"));
    }

    void aRefusedRowShowsTheLogErrorAndStoresNothing() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        WriteBackupLog(data, QStringLiteral("31/02/2026"), QStringLiteral("21:30"), QStringLiteral("[]Local"), {}, {},
                       QStringLiteral("F"), {});
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Error);
        QCOMPARE(dialogs.messages.first().title, QStringLiteral("ERROR"));
        QCOMPARE(dialogs.messages.first().text, QStringLiteral("Error al grabar en tabla LOG"));
        QVERIFY(!data.IBTBackup.InTransaction());
        data.IBDBackup.Disconnect();
        QVERIFY(Rows().isEmpty());
    }

    void aMissingLogIsReportedOncePerCallAndTheCallerGoesOn() {
        QVERIFY(QFile::remove(BackupLogName()));
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        for (int job = 0; job < 2; ++job)
            WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), {}, {}, {},
                           QStringLiteral("F"), {});
        QCOMPARE(dialogs.messages.size(), 2);
        for (const auto& shown : dialogs.messages) {
            QVERIFY(shown.text.contains(QStringLiteral("Backup.fdb")));
            QVERIFY(shown.text.endsWith(QStringLiteral("\n\rStatus 0")));
        }
        QVERIFY(!data.IBDBackup.Connected());
    }

    void aTextOutsideTheCodePageLosesOnlyThatRow() {
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:30"), QStringLiteral("[]Ωmega"), {},
                       {}, QStringLiteral("T"), {});
        WriteBackupLog(data, QStringLiteral("09/12/2026"), QStringLiteral("21:31"), QStringLiteral("[]Local"), {},
                       {}, QStringLiteral("T"), {});
        QVERIFY(!data.IBTBackup.InTransaction());
        // One box, for the lost row only: the log's error, then in Spanish
        // which value the database could not hold.
        QCOMPARE(dialogs.messages.size(), 1);
        const auto& shown = dialogs.messages.first();
        QCOMPARE(shown.icon, MsgIcon::Error);
        QCOMPARE(shown.title, QStringLiteral("ERROR"));
        QVERIFY2(shown.text.startsWith(QStringLiteral("Error al grabar en tabla LOG\n\r")), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(QStringLiteral("SERVIDOR")) && shown.text.contains(QStringLiteral("[]Ωmega")) &&
                     shown.text.contains(QStringLiteral("no admite (WIN1252)")),
                 qPrintable(shown.text));
        data.IBDBackup.Disconnect();
        const auto rows = Rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(2), QStringLiteral("[]Local"));
    }
};

QTEST_GUILESS_MAIN(TestBackupLog)
#include "tst_backuplog.moc"
