// What a backup job is made of before any server is asked: the exact bytes
// of the service start requests, the file names with their stamp, the
// verification path, the service host and the rewriting of output lines.

#include <ibase.h>

#include <QTest>

#include "backup/BackupRun.h"
#include "db/FbClient.h"

using namespace backuprun;

namespace {

QByteArray Text(char tag, const QByteArray& value) {
    QByteArray item(1, tag);
    item.append(char(value.size() & 0xff)).append(char((value.size() >> 8) & 0xff));
    return item + value;
}

QByteArray Int(char tag, quint32 value) {
    QByteArray item(1, tag);
    for (int i = 0; i < 4; ++i) item.append(char((value >> (8 * i)) & 0xff));
    return item;
}

}  // namespace

class TestBackupNames : public QObject {
    Q_OBJECT

private slots:
    void backupRequestCarriesExactlyItsItems() {
        const QString database = QStringLiteral("C:\\Datos\\Señor\\Quillbase.orv");
        const QString file = QStringLiteral("D:\\Copias\\[]Central_Señor_081226_1305.fbk");
        const QByteArray expected = QByteArray(1, char(isc_action_svc_backup)) +
                                    Text(char(isc_spb_dbname), database.toUtf8()) +
                                    Text(char(isc_spb_bkp_file), file.toUtf8()) +
                                    Int(char(isc_spb_options), 0) +
                                    QByteArray(1, char(isc_spb_verbose));
        QCOMPARE(fb::BuildBackupStartParams(database, file, 0, true), expected);
        // Without verbose output the tag is left out, nothing else changes.
        QCOMPARE(fb::BuildBackupStartParams(database, file, 0, false), expected.chopped(1));
    }

    void restoreRequestCarriesItsItemsInTheirOrder() {
        const QString file = QStringLiteral("/copias/[10.0.0.1]Central_E1_081226_1305.fbk");
        const QString database = QStringLiteral("/copias/Verificacopia.vrf");
        const QByteArray expected =
            QByteArray(1, char(isc_action_svc_restore)) + Int(char(isc_spb_options), 0x3000) +
            QByteArray(1, char(isc_spb_verbose)) + Int(char(isc_spb_res_page_size), 4096) +
            Int(char(isc_spb_res_buffers), 3000) + Text(char(isc_spb_bkp_file), file.toUtf8()) +
            Text(char(isc_spb_dbname), database.toUtf8());
        QCOMPARE(fb::BuildRestoreStartParams(
                     file, database, isc_spb_res_replace | isc_spb_res_create, 4096, 3000, true),
                 expected);
    }

    void clockTextsUseTheTwentyFourHourClock() {
        const QDateTime evening(QDate(2026, 12, 8), QTime(21, 5, 59));
        QCOMPARE(DateText(evening), QStringLiteral("08/12/2026"));
        QCOMPARE(TimeText(evening), QStringLiteral("21:05"));
        QCOMPARE(Stamp(evening), QStringLiteral("081226_2105"));
        QCOMPARE(Stamp(QDateTime(QDate(2027, 1, 2), QTime(0, 7))), QStringLiteral("020127_0007"));
    }

    void backupFileJoinsDestinationServerCompanyAndStamp() {
        // The example of a Windows server, and the doubled backslash of a
        // destination that ends in one: no part is normalised.
        QCOMPARE(
            BackupFilePath(QStringLiteral("D:\\Copias"), QStringLiteral("[192.168.1.20]Central"),
                           QStringLiteral("C:\\Datos\\EMPRESA1"), QStringLiteral("081226_1305")),
            QStringLiteral("D:\\Copias\\[192.168.1.20]Central_EMPRESA1_081226_1305.fbk"));
        QCOMPARE(
            BackupFilePath(QStringLiteral("D:\\Copias\\"), QStringLiteral("[]Central"),
                           QStringLiteral("C:\\Datos\\EMPRESA1"), QStringLiteral("081226_1305")),
            QStringLiteral("D:\\Copias\\\\[]Central_EMPRESA1_081226_1305.fbk"));
        // A server whose paths use "/" keeps it.
        QCOMPARE(BackupFilePath(QStringLiteral("/srv/copias"), QStringLiteral("[]Local"),
                                QStringLiteral("/srv/quillbase/EMPRESA1"),
                                QStringLiteral("081226_1305")),
                 QStringLiteral("/srv/copias/[]Local_EMPRESA1_081226_1305.fbk"));
        QCOMPARE(DatabasePath(QStringLiteral("C:\\Datos\\EMPRESA1")),
                 QStringLiteral("C:\\Datos\\EMPRESA1\\Quillbase.orv"));
        QCOMPARE(DatabasePath(QStringLiteral("/srv/q/E1")),
                 QStringLiteral("/srv/q/E1/Quillbase.orv"));
    }

    void aServerAddressWithAPortStaysInsideTheFileName() {
        const QString path =
            BackupFilePath(QStringLiteral("/srv/copias"), QStringLiteral("[127.0.0.1/3051]Central"),
                           QStringLiteral("C:\\Datos\\E1"), QStringLiteral("081226_1305"));
        QCOMPARE(path, QStringLiteral("/srv/copias/[127.0.0.1_3051]Central_E1_081226_1305.fbk"));
        QCOMPARE(VerificationPath(path), QStringLiteral("/srv/copias/Verificacopia.vrf"));
        QCOMPARE(BackupFileName(QStringLiteral("[a\\b:c*d?e\"f<g>h|i]X"), QStringLiteral("E"),
                                QStringLiteral("s")),
                 QStringLiteral("[a_b_c_d_e_f_g_h_i]X_E_s.fbk"));
        // The folder itself is never touched.
        QCOMPARE(BackupFilePath(QStringLiteral("D:\\Copias:1"), QStringLiteral("[h/1]S"),
                                QStringLiteral("E"), QStringLiteral("s")),
                 QStringLiteral("D:\\Copias:1\\[h_1]S_E_s.fbk"));
    }

    void verificationLandsBesideTheBackupFile() {
        QCOMPARE(VerificationPath(QStringLiteral("D:\\Copias\\[]C_E_081226_1305.fbk")),
                 QStringLiteral("D:\\Copias\\Verificacopia.vrf"));
        QCOMPARE(VerificationPath(QStringLiteral("D:\\Copias\\\\[]C_E_081226_1305.fbk")),
                 QStringLiteral("D:\\Copias\\\\Verificacopia.vrf"));
        QCOMPARE(VerificationPath(QStringLiteral("D:x.fbk")),
                 QStringLiteral("D:Verificacopia.vrf"));
    }

    void serviceHostIsTheAddressOrNothing() {
        QCOMPARE(ServiceHost(QStringLiteral("[]Central")), QString());
        QCOMPARE(ServiceHost(QStringLiteral("[192.168.1.20]Central")),
                 QStringLiteral("192.168.1.20"));
        QCOMPARE(ServiceHost(QStringLiteral("[127.0.0.1/3051]Central")),
                 QStringLiteral("127.0.0.1/3051"));
        QCOMPARE(ServiceHost(QStringLiteral("[[10.0.0.1]]X")), QStringLiteral("10.0.0.1"));
    }

    void outputLinesAreRewrittenOnlyWhenTheLowerCaseMarkerIsThere() {
        QCOMPARE(RewriteServiceLine(QStringLiteral("gbak:writing domains"),
                                    QStringLiteral("Copiando : ")),
                 QStringLiteral("Copiando : writing domains"));
        QCOMPARE(RewriteServiceLine(QStringLiteral("gbak:closing file"),
                                    QStringLiteral("Verificando : ")),
                 QStringLiteral("Verificando : closing file"));
        QCOMPARE(
            RewriteServiceLine(QStringLiteral("GBAK:closing file"), QStringLiteral("Copiando : ")),
            QStringLiteral("GBAK:closing file"));
        QCOMPARE(
            RewriteServiceLine(QStringLiteral("GBAK: a gbak: b Gbak:"), QStringLiteral("C : ")),
            QStringLiteral("C :  a C :  b C : "));
        QCOMPARE(RewriteServiceLine(QString(), QStringLiteral("C : ")), QString());
    }
};

QTEST_APPLESS_MAIN(TestBackupNames)
#include "tst_backupnames.moc"
