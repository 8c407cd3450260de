// The Firebird layer itself against real databases of the embedded engine:
// attaching again, the layer's own error texts, and calls that fail half-way
// (the sanitizer run of the suite reports any interface object such a
// failure leaves behind).

#include "db/FData.h"
#include "tests/support/TestDatabases.h"

#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList Login() { return TData::DatabaseParams(QStringLiteral("x")); }

// The file the connection is attached to, as the engine names it.
QString AttachedFile(fb::Database& db) {
    fb::Transaction tr(db, {QStringLiteral("read_committed"), QStringLiteral("rec_version"),
                            QStringLiteral("nowait"), QStringLiteral("read")});
    fb::Statement st(db, tr);
    tr.StartTransaction();
    st.SetSql(QStringLiteral("select mon$database_name from mon$database"));
    st.Execute();
    return st.Next() ? st.Field(0).trimmed() : QString();
}

// A connection to `name` with a transaction started and a statement.
struct Session {
    fb::Database db;
    fb::Transaction tr{db, {QStringLiteral("concurrency"), QStringLiteral("nowait")}};
    fb::Statement st{db, tr};

    explicit Session(const QString& name) {
        db.SetParams(Login());
        db.SetDatabaseName(name);
        db.Connect();
        tr.StartTransaction();
    }
};

// The process's resident memory.
qint64 ResidentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// The text of the FbError that `call` throws; empty when it throws none.
template <typename F>
QString ErrorOf(F&& call) {
    try {
        call();
    } catch (const fb::FbError& error) {
        return error.Text().isEmpty() ? QStringLiteral("(sin texto)") : error.Text();
    }
    return {};
}

}  // namespace

class TestFbLayer : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString first_;
    QString second_;

private slots:
    void initTestCase() {
        QVERIFY(scratch_.isValid());
        first_ = scratch_.filePath(QStringLiteral("Primera.gdb"));
        second_ = scratch_.filePath(QStringLiteral("Segunda.gdb"));
        QVERIFY(MakeCompanyCatalogue(first_, {QStringLiteral("UNA")}));
        QVERIFY(MakeCompanyCatalogue(second_, {QStringLiteral("OTRA")}));
    }

    // Connecting an attached object to another name ends on that name, or
    // fails there: never a success that is still the old attachment.
    void connectingAgainAttachesToTheNewName() {
        fb::Database db;
        db.SetParams(Login());
        db.SetDatabaseName(first_);
        db.Connect();
        QCOMPARE(AttachedFile(db), first_);

        db.SetDatabaseName(second_);
        db.Connect();
        QCOMPARE(AttachedFile(db), second_);

        db.SetDatabaseName(scratch_.filePath(QStringLiteral("no-existe.gdb")));
        QVERIFY(!ErrorOf([&] { db.Connect(); }).isEmpty());
        QVERIFY(!db.Connected());
    }

    void attachingAServiceAgainAttachesToTheNewServer() {
        fb::Service service;
        service.SetParams(TData::ServiceParams(QStringLiteral("x")));
        service.SetProtocol(fb::Service::Protocol::Local);
        service.Attach();
        QVERIFY(service.Active());

        // Nothing listens there: the attach must fail, not keep the local one.
        service.SetProtocol(fb::Service::Protocol::TcpIp);
        service.SetServerName(QStringLiteral("127.0.0.99"));
        const QString error = ErrorOf([&] { service.Attach(); });
        QVERIFY2(!error.isEmpty(), "the attach to an unreachable server reported success");
        QVERIFY(!service.Active());
    }

    // The layer's own errors are told in Spanish; the engine's pass through
    // as the client words them.
    void theLayersOwnErrorsAreSpanish() {
        fb::Database db;
        db.SetParams(Login());
        db.SetDatabaseName(first_);
        db.Connect();
        fb::Transaction tr(db, {QStringLiteral("concurrency"), QStringLiteral("nowait")});
        tr.StartTransaction();
        QCOMPARE(ErrorOf([&] { tr.StartTransaction(); }), QStringLiteral("La transacción ya está activa"));

        fb::Statement st(db, tr);
        st.SetSql(QStringLiteral("select count(*) as cuantas from rdb$database where current_date <> :dia"));
        st.SetParam(QStringLiteral("dia"), QStringLiteral("31/02/2026"));
        QCOMPARE(ErrorOf([&] { st.Execute(); }),
                 QStringLiteral("La fecha \"31/02/2026\" no es válida (se espera dd/mm/aaaa)"));

        st.SetParam(QStringLiteral("dia"), QStringLiteral("28/02/2026"));
        st.Execute();
        QVERIFY(st.Next());
        QCOMPARE(st.Field(QStringLiteral("CUANTAS")), QStringLiteral("1"));
        QCOMPARE(ErrorOf([&] { st.Field(QStringLiteral("NINGUNA")); }), QStringLiteral("No existe el campo NINGUNA"));
        QCOMPARE(ErrorOf([&] { st.Field(7); }), QStringLiteral("No existe el campo número 7"));

        st.SetSql(QStringLiteral("select ninguna from rdb$database"));
        const QString engine = ErrorOf([&] { st.Execute(); });
        QVERIFY2(engine.contains(QStringLiteral("Column unknown")) && engine.contains(QStringLiteral("NINGUNA")),
                 qPrintable(engine));
        tr.Rollback();
        QCOMPARE(ErrorOf([&] { tr.Commit(); }), QStringLiteral("La transacción no está activa"));
    }

    // A value the connection's code page cannot hold fails its statement
    // alone; the statement works again with the next values, blobs included.
    void aFailedBindingLeavesTheStatementUsable() {
        Session session(first_);
        fb::Statement& st = session.st;
        fb::Transaction& tr = session.tr;
        st.SetSql(QStringLiteral("select cast(:texto as varchar(20)) as texto, "
                                 "cast(:largo as blob sub_type text) as largo from rdb$database"));
        const QString longText = QString(70000, u'ñ') + QStringLiteral("fin");
        for (int round = 0; round < 3; ++round) {
            st.SetParam(QStringLiteral("texto"), QStringLiteral("Ωmega"));
            st.SetParam(QStringLiteral("largo"), longText);
            const QString error = ErrorOf([&] { st.Execute(); });
            QVERIFY2(error.contains(QStringLiteral("no admite (WIN1252)")) && error.contains(QStringLiteral("texto")),
                     qPrintable(error));

            st.SetParam(QStringLiteral("texto"), QStringLiteral("Ñandú"));
            st.SetParam(QStringLiteral("largo"), QStringLiteral("€") + QStringLiteral("Ω"));
            QVERIFY(!ErrorOf([&] { st.Execute(); }).isEmpty());  // the blob's text this time

            st.SetParam(QStringLiteral("largo"), longText);
            st.Execute();
            QVERIFY(st.Next());
            QCOMPARE(st.Field(QStringLiteral("TEXTO")), QStringLiteral("Ñandú"));
            QCOMPARE(st.Field(QStringLiteral("LARGO")), longText);
            QVERIFY(!st.Next());
        }
        tr.Commit();
    }

    // A row's values as the client delivered them: equal values give equal
    // bytes and different values different ones, a text its WIN1252
    // characters, NULL none. Values turn into text only when asked for, and
    // still do once the next statement is set and the transaction has ended,
    // a blob included.
    void rowValuesAsDeliveredAndAsText() {
        Session session(first_);
        fb::Statement& st = session.st;
        fb::Transaction& tr = session.tr;
        st.SetSql(QStringLiteral(
            "select t, d, n, b from ("
            "select 1 as k, cast('Ñandú' as varchar(20)) as t, date '2026-02-01' as d, "
            "cast(null as varchar(5)) as n, cast('uno€' as blob sub_type text) as b from rdb$database "
            "union all select 2, 'Ñandú', date '2026-02-02', '', 'dos' from rdb$database "
            "union all select 3, 'ÑANDÚ', date '2026-02-01', 'x', null from rdb$database) order by k"));
        st.Execute();
        QVERIFY(st.FieldHoldsText(0));
        QVERIFY(!st.FieldHoldsText(1));
        QVERIFY(!st.FieldHoldsText(3));

        QVERIFY(st.Next());
        const QByteArray text1 = st.FieldBytes(0).toByteArray();
        const QByteArray date1 = st.FieldBytes(1).toByteArray();
        QCOMPARE(text1, QByteArray("\xD1" "and\xFA"));
        QCOMPARE(date1.size(), 4);
        QVERIFY(st.FieldBytes(2).isEmpty());
        QCOMPARE(st.FieldRef(2), QString());

        QVERIFY(st.Next());
        QCOMPARE(st.FieldBytes(0).toByteArray(), text1);
        QVERIFY(st.FieldBytes(1).toByteArray() != date1);
        QCOMPARE(st.FieldRef(1), QStringLiteral("02/02/2026"));
        QVERIFY(st.FieldBytes(2).isEmpty());
        QVERIFY(!st.FieldIsNull(QStringLiteral("N")));

        QVERIFY(st.Next());
        QVERIFY(st.FieldBytes(0).toByteArray() != text1);
        QCOMPARE(st.FieldBytes(1).toByteArray(), date1);
        QCOMPARE(st.FieldRef(0), QStringLiteral("ÑANDÚ"));
        QVERIFY(!st.Next());

        // Nothing of a row is asked for before its transaction ends.
        st.Execute();
        QVERIFY(st.Next());
        st.SetSql(QStringLiteral("select 1 from rdb$database"));
        tr.Commit();
        QCOMPARE(st.Field(QStringLiteral("T")), QStringLiteral("Ñandú"));
        QCOMPARE(st.Field(QStringLiteral("D")), QStringLiteral("01/02/2026"));
        QCOMPARE(st.Field(QStringLiteral("B")), QStringLiteral("uno€"));
        QVERIFY(st.FieldIsNull(QStringLiteral("N")));
    }

    // What a failed binding made (the statement's input description and its
    // builder) is let go of: many failures in a row do not make the process
    // grow. (The client allocates from pools of its own, out of sight of
    // the leak checker of the sanitizer run.)
    void failedBindingsLetGoOfWhatTheyMade() {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer keeps freed memory aside: the process grows anyway");
#endif
        Session session(first_);
        fb::Statement& st = session.st;
        st.SetSql(QStringLiteral("select cast(:a as varchar(9)), cast(:b as varchar(9)), cast(:c as varchar(9)), "
                                 "cast(:d as varchar(9)) from rdb$database"));
        for (const char* name : {"a", "b", "c"}) st.SetParam(QLatin1String(name), QStringLiteral("bien"));
        st.SetParam(QStringLiteral("d"), QStringLiteral("Ωmega"));
        const auto fail = [&](int times) {
            for (int i = 0; i < times; ++i) QVERIFY(!ErrorOf([&] { st.Execute(); }).isEmpty());
        };
        fail(2000);  // the allocator's own pools settle first
        const qint64 before = ResidentBytes();
        fail(40000);
        const qint64 grown = ResidentBytes() - before;
        QVERIFY2(grown < 8 * 1024 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(grown)));
    }
};

QTEST_GUILESS_MAIN(TestFbLayer)
#include "tst_fblayer.moc"
