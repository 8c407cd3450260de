// The pieces of the database layer that need no database: parameter buffers
// byte for byte, the code page, connection-string and server-path rules.

#include "backup/BackupLog.h"
#include "db/Catalogue.h"
#include "db/FData.h"
#include "db/FbClient.h"
#include "db/ServerPath.h"
#include "db/Win1252.h"

#include <QTest>

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(static_cast<char>(v));
    return out;
}

QByteArray Tagged(int tag, const QByteArray& text) {
    return Bytes({tag, static_cast<int>(text.size())}) + text;
}

}  // namespace

class TestFbClient : public QObject {
    Q_OBJECT
private slots:
    void databaseBufferKeepsTheSystemsItemsFirst() {
        const QByteArray dpb =
            fb::BuildDatabaseParams(TData::DatabaseParams(QStringLiteral("clave")), QStringLiteral("Engine12"));
        const QByteArray expected = Bytes({1}) + Tagged(28, "sysdba") + Tagged(29, "clave") +
                                    Tagged(48, "WIN1252") + Bytes({77, 0}) +
                                    Tagged(87, "Providers=Engine12");
        QCOMPARE(dpb, expected);
    }

    void serviceBufferCarriesNoCharacterSet() {
        const QByteArray spb =
            fb::BuildServiceAttachParams(TData::ServiceParams(QStringLiteral("clave")), QStringLiteral("Remote"));
        const QByteArray expected = Bytes({2, 2}) + Tagged(28, "SYSDBA") + Tagged(29, "clave") +
                                    Bytes({118, 0}) + Tagged(123, "Providers=Remote");
        QCOMPARE(spb, expected);
    }

    void transactionBuffersOfTheTwoParameterSets() {
        QCOMPARE(fb::BuildTransactionParams({QStringLiteral("concurrency"), QStringLiteral("nowait")}),
                 Bytes({3, 2, 7}));
        QCOMPARE(fb::BuildTransactionParams(
                     {QStringLiteral("read_committed"), QStringLiteral("rec_version"), QStringLiteral("nowait")}),
                 Bytes({3, 15, 17, 7}));
        QVERIFY_THROWS_EXCEPTION(fb::FbError, fb::BuildTransactionParams({QStringLiteral("snapshot")}));
    }

    void passwordsHaveTheirFixedLengths() {
        QCOMPARE(LongFallbackPassword.size(), 10);
        QCOMPARE(ShortFallbackPassword.size(), 8);
        QCOMPARE(TData::DatabaseParams(QStringLiteral("p")),
                 QStringList({QStringLiteral("user_name=sysdba"), QStringLiteral("password=p"),
                              QStringLiteral("lc_ctype=WIN1252")}));
    }

    void remoteNamesAreToldFromLocalPaths() {
        QVERIFY(fb::IsRemoteName(QStringLiteral("192.168.1.20:D:\\Quillbase\\Empresas.gdb")));
        QVERIFY(fb::IsRemoteName(QStringLiteral("127.0.0.1/3051:/srv/quillbase/Empresas.gdb")));
        QVERIFY(fb::IsRemoteName(QStringLiteral("servidor:service_mgr")));
        QVERIFY(!fb::IsRemoteName(QStringLiteral("service_mgr")));
        QVERIFY(!fb::IsRemoteName(QStringLiteral("C:\\Quillbase\\Empresas.gdb")));
        QVERIFY(!fb::IsRemoteName(QStringLiteral("/srv/a:b/Empresas.gdb")));
        QVERIFY(!fb::IsRemoteName(QStringLiteral("\\\\nas\\x:y")));
    }

    void win1252RoundTripsItsOwnCharacters() {
        const QString text = QStringLiteral("Miércoles ñ € Œ ‰ “ª”");
        const auto bytes = fb::EncodeWin1252(text);
        QVERIFY(bytes.has_value());
        QCOMPARE(bytes->size(), text.size());
        QCOMPARE(static_cast<unsigned char>(bytes->at(text.indexOf(QChar(0x20AC)))), 0x80);
        QCOMPARE(fb::DecodeWin1252(*bytes), text);
        QVERIFY(!fb::EncodeWin1252(QStringLiteral("Ωmega")).has_value());
        QVERIFY(!fb::EncodeWin1252(QString(QChar(0x81))).has_value());  // unassigned in the code page
    }

    void serverPathsFollowTheirOwnSeparator() {
        using namespace serverpath;
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("D:\\Quillbase\\")), QStringLiteral("D:\\Quillbase"));
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("\\\\")), QStringLiteral("\\\\"));
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("/srv/quillbase/")), QStringLiteral("/srv/quillbase"));
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(TrimTrailingSeparator(QString()), QString());
        QCOMPARE(TrimTrailingSeparator(QStringLiteral("C:\\Quillbase")), QStringLiteral("C:\\Quillbase"));

        QCOMPARE(CompanyCatalogueName(QStringLiteral("D:\\Quillbase"), QString()),
                 QStringLiteral("D:\\Quillbase\\Empresas.gdb"));
        QCOMPARE(CompanyCatalogueName(QStringLiteral("D:\\Quillbase"), QStringLiteral("192.168.1.20")),
                 QStringLiteral("192.168.1.20:D:\\Quillbase\\Empresas.gdb"));
        QCOMPARE(CompanyCatalogueName(QStringLiteral("C:\\"), QString()), QStringLiteral("C:\\\\Empresas.gdb"));
        QCOMPARE(CompanyDirectory(QStringLiteral("/srv/quillbase"), QStringLiteral("EMPRESA1")),
                 QStringLiteral("/srv/quillbase/EMPRESA1"));
        QCOMPARE(CompanyDirectory(QStringLiteral("C:\\Quillbase"), QStringLiteral("EMPRESA1")),
                 QStringLiteral("C:\\Quillbase\\EMPRESA1"));
        QCOMPARE(LastComponent(QStringLiteral("C:\\Q\\EMP:A/B")), QStringLiteral("B"));
    }

    void remarksEndEachLineWithCarriageReturnAndLineFeed() {
        QCOMPARE(JoinRemarks({}), QString());
        QCOMPARE(JoinRemarks({QStringLiteral("uno"), QStringLiteral("dos")}), QStringLiteral("uno\r\ndos\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestFbClient)
#include "tst_fbclient.moc"
