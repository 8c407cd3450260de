// The restore's start request, byte for byte, and the rules for its output
// lines and its server address.

#include <QTest>

#include "db/FbClient.h"
#include "restore/RestoreRun.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values) bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray Text(int tag, const QByteArray& utf8) {
    return Bytes({tag, static_cast<int>(utf8.size() & 0xFF), static_cast<int>(utf8.size() >> 8)}) +
           utf8;
}

// action, options 0x3000, verbose, page size 4096, buffers 3000.
const QByteArray kFixedItems = Bytes({2,                            // isc_action_svc_restore
                                      108, 0x00, 0x30, 0x00, 0x00,  // isc_spb_options
                                      107,                          // isc_spb_verbose
                                      10, 0x00, 0x10, 0x00, 0x00,   // isc_spb_res_page_size
                                      9, 0xB8, 0x0B, 0x00, 0x00});  // isc_spb_res_buffers

}  // namespace

class TestRestoreParams : public QObject {
    Q_OBJECT

private slots:
    void requestItemsInOrder() {
        const QByteArray request =
            BuildRestoreRunParams(u"C:\\Copias\\a.fbk"_s, u"C:\\Datos\\EMP01\\Quillbase.orv"_s);
        QCOMPARE(request, kFixedItems + Text(5, "C:\\Copias\\a.fbk") +
                              Text(106, "C:\\Datos\\EMP01\\Quillbase.orv"));
        // The same bytes as the verification's restore request carries.
        QCOMPARE(request, fb::BuildRestoreStartParams(u"C:\\Copias\\a.fbk"_s,
                                                      u"C:\\Datos\\EMP01\\Quillbase.orv"_s, 0x3000,
                                                      4096, 3000, true));
    }

    void namesTravelAsTypedUnlessBlank() {
        // Accents in UTF-8, blanks kept, the length counting bytes.
        QCOMPARE(
            BuildRestoreRunParams(u" /copias/año.fbk"_s, u"/datos/Quillbase.orv "_s),
            kFixedItems + Text(5, " /copias/a\xc3\xb1o.fbk") + Text(106, "/datos/Quillbase.orv "));
        // A name that is blank once trimmed is left out.
        QCOMPARE(BuildRestoreRunParams(u"   "_s, u"/datos/Quillbase.orv"_s),
                 kFixedItems + Text(106, "/datos/Quillbase.orv"));
        QCOMPARE(BuildRestoreRunParams(u"/copias/a.fbk"_s, u"\t "_s),
                 kFixedItems + Text(5, "/copias/a.fbk"));
        // A long name: the length's second byte counts.
        const QString longName = u"/"_s + QString(300, u'x');
        const QByteArray request = BuildRestoreRunParams(longName, u"/d"_s);
        QCOMPARE(request.mid(kFixedItems.size(), 3), Bytes({5, 301 & 0xFF, 1}));
        // Longer than two length bytes can tell: refused, never cut.
        QVERIFY_THROWS_EXCEPTION(fb::FbError,
                                 BuildRestoreRunParams(QString(0x10000, u'x'), u"/d"_s));
        QCOMPARE(BuildRestoreRunParams(QString(0xFFFF, u'x'), u"/d"_s).size(),
                 kFixedItems.size() + 3 + 0xFFFF + 5);
    }

    void outputLines() {
        QCOMPARE(RewriteRestoreLine(u"gbak:opened file /copias/a.fbk"_s),
                 u"Copiando : opened file /copias/a.fbk"_s);
        QCOMPARE(RewriteRestoreLine(u"gbak: ERROR:cannot open"_s),
                 u"Copiando :  ERROR:cannot open"_s);
        QCOMPARE(RewriteRestoreLine(u"gbak:restoring gbak:twice"_s),
                 u"Copiando : restoring Copiando : twice"_s);
        // Only a line with "gbak:" in lower case is rewritten; then every
        // letter case is.
        QCOMPARE(RewriteRestoreLine(u"GBAK: capitals only"_s), u"GBAK: capitals only"_s);
        QCOMPARE(RewriteRestoreLine(u"gbak:one GBAK:two"_s), u"Copiando : one Copiando : two"_s);
        QCOMPARE(RewriteRestoreLine(QString()), QString());
    }

    void serverAddress() {
        QCOMPARE(RestoreServerAddress(QString()), QString());
        QCOMPARE(RestoreServerAddress(u"LOCAL"_s), QString());
        // Only "LOCAL" exactly means this computer.
        QCOMPARE(RestoreServerAddress(u"local"_s), u"local"_s);
        QCOMPARE(RestoreServerAddress(u"Local"_s), u"Local"_s);
        QCOMPARE(RestoreServerAddress(u"10.0.0.5/3051"_s), u"10.0.0.5/3051"_s);
    }
};

QTEST_APPLESS_MAIN(TestRestoreParams)
#include "tst_restoreparams.moc"
