// Old backups go once a new one is verified: local companies (embedded
// engine), and a private server on 127.0.0.1:3050 standing in for this computer's.

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTest>
#include <cerrno>
#include <cstring>

#include "RunTestKit.h"
#include "backup/FErrorenCopia.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"

using namespace backuprun;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kFirstRun(QDate(2026, 12, 8), QTime(13, 5));  // then a minute later every job

// The folder's names, a space between, without `cut`, "081226_" and ".fbk".
QString Names(const QString& folder, const QString& cut) {
    QString names =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name).join(u' ');
    return names.remove(cut).remove(u"081226_"_s).remove(u".fbk"_s);
}

// Column 5 (EXITO) or 6 (OBSERVACIONES, its remarks joined by '|') of every row.
QStringList Column(TData& data, int column) {
    QStringList values;
    for (const QStringList& row : LogRows(data)) values << row[column].split(u"\r\n"_s).join(u'|');
    return values;
}

}  // namespace

class TestRetention : public QObject {
    Q_OBJECT

    ScratchArea scratch_;

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.Init());
        platform::SetExecutableDirectory(scratch_.NewFolder(u"programa"_s));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    // A server text with a character no file name holds keeps 2 of EMP and
    // of EMP_2: two unattended walks, then an interactive run of the server.
    void keepsTheNewestOfEachCompanyAndNothingElse() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(u"x"_s);
        TestHost host;
        const QString copias = scratch_.NewFolder(u"copias"_s);
        host.AddServer(u"[]Sede/Norte"_s,
                       {kDestinationTag + copias, scratch_.NewCompany(u"EMP"_s),
                        scratch_.NewCompany(u"EMP_2"_s)},
                       2);
        const QString emp = copias + u"/[]Sede_Norte_EMP_"_s;
        // Nobody's backups (another name, letter case, server; a day that does
        // not exist) stay; one of 2025, last of all if sorted as text, goes.
        for (const QString& path :
             {emp + u"311225_2300.fbk"_s, emp + u"311126_1200.fbk"_s, emp + u"notas.fbk"_s,
              copias + u"/[]Sede_Norte_emp_010126_0000.fbk"_s,
              copias + u"/[]Zona_EMP_010126_0000.fbk"_s})
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const QString nobody =
            u" 311126_1200 notas []Sede_Norte_emp_010126_0000 []Zona_EMP_010126_0000"_s;
        // EMP's backup of 13:07 is "1307" here, EMP_2's of 13:08 "2_1308".
        const auto folder = [&] { return Names(copias, u"[]Sede_Norte_EMP_"_s); };

        TBackupRun(data, host).RunScheduledBackup();  // EMP 13:05, EMP_2 13:06
        TBackupRun(data, host).RunScheduledBackup();  // 13:07, 13:08
        host.PickServer(0);
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();  // by hand, 13:09, 13:10
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(folder(), u"Verificacopia.vrf 1307 1309 2_1308 2_1310"_s + nobody);
        QCOMPARE(Column(data, 5), QStringList(6, u"T"_s));
        QCOMPARE(Column(data, 6),
                 (QStringList{
                     {}, {}, RemovedBackupLine(emp + u"311225_2300.fbk"_s) + u'|', {}, {}, {}}));
        // By hand, the verification's window says it before its last line.
        QCOMPARE(progress.windows.size(), 4);
        QVERIFY(progress.windows[1].text.endsWith(RemovedBackupLine(emp + u"081226_1305.fbk"_s) +
                                                  u'\n' + kFinished));
        QVERIFY(progress.windows[3].text.endsWith(RemovedBackupLine(emp + u"2_081226_1306.fbk"_s) +
                                                  u'\n' + kFinished));

        // A verification that fails removes nothing.
        QVERIFY(QFile::remove(copias + u'/' + kVerificationFile));
        QVERIFY(QDir().mkpath(copias + u'/' + kVerificationFile));
        ModalAnswers closeErrors([](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) window->close();
        });
        TBackupRun(data, host).RunScheduledBackup();  // 13:11, 13:12
        QCOMPARE(folder(), u"Verificacopia.vrf 1307 1309 1311 2_1308 2_1310 2_1312"_s + nobody);
        QCOMPARE(Column(data, 5).mid(6), (QStringList{u"F"_s, u"F"_s}));

        // A backup that cannot be removed is said so with the system's reason,
        // and the row stays good. Only root makes a file that root cannot remove.
        QVERIFY(QDir(copias + u'/' + kVerificationFile).removeRecursively());
        const QString stuck = emp + u"081226_1307.fbk"_s;
        if (QProcess::execute(u"chattr"_s, {u"+i"_s, stuck}) != 0)
            QSKIP("chattr +i needs root: the backup that cannot be removed is left out");
        const auto unstick = qScopeGuard([&] { QProcess::execute(u"chattr"_s, {u"-i"_s, stuck}); });
        TBackupRun(data, host).RunScheduledBackup();  // 13:13, 13:14
        QCOMPARE(Column(data, 5).mid(8), (QStringList{u"T"_s, u"T"_s}));
        QCOMPARE(Column(data, 6).at(8),
                 RemovedBackupLine(emp + u"081226_1309.fbk"_s) + u'|' +
                     NotRemovedBackupLine(stuck, QString::fromLocal8Bit(std::strerror(EPERM))) +
                     u'|');
        QCOMPARE(folder(), u"Verificacopia.vrf 1307 1311 1313 2_1312 2_1314"_s + nobody);
    }

    // The server of this computer writes the backups as its own user and
    // the program removes them; the same server named by its address is a
    // server on another computer, whose folder, seen here or not, is its own.
    void onlyTheServerOfThisComputerHasItsOldBackupsRemoved() {
        QTcpSocket probe;
        probe.connectToHost(u"127.0.0.1"_s, 3050);
        if (probe.waitForConnected(500)) QSKIP("127.0.0.1:3050 is taken by another program");
        FirebirdTestServer server;
        QVERIFY2(server.start(u"127.0.0.1"_s, u"Oficina.19"_s), qPrintable(server.lastError()));
        fb::SetLocalProvider(fb::LocalProvider::Loopback);
        const auto embedded =
            qScopeGuard([] { fb::SetLocalProvider(fb::LocalProvider::Embedded); });
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(u"Oficina.19"_s);
        TestHost host;
        const QString local = scratch_.NewFolder(u"copias"_s);
        const QString remote = scratch_.NewFolder(u"remotas"_s);
        host.AddServer(u"[]Oficina"_s, {kDestinationTag + local, scratch_.NewCompany(u"E1"_s)}, 2);
        host.AddServer(u"[127.0.0.1]Oficina"_s,
                       {kDestinationTag + remote, scratch_.NewCompany(u"E2"_s)}, 1);
        for (int run = 0; run < 3; ++run) TBackupRun(data, host).RunScheduledBackup();
        data.IBDBackup.Disconnect();
        QVERIFY(server.stop());
        fb::SetLocalProvider(fb::LocalProvider::Embedded);

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(Names(local, u"[]Oficina_E1_"_s), u"Verificacopia.vrf 1307 1309"_s);
        QCOMPARE(Names(remote, u"[127.0.0.1]Oficina_E2_"_s), u"Verificacopia.vrf 1306 1308 1310"_s);
        QCOMPARE(Column(data, 5), QStringList(6, u"T"_s));
        QCOMPARE(Column(data, 6).at(4),
                 RemovedBackupLine(local + u"/[]Oficina_E1_081226_1305.fbk"_s) + u'|');
    }
};

QTEST_MAIN(TestRetention)
#include "tst_retention.moc"
