// Old backups go once a new one is verified, on real backups: local
// companies through the engine in this process, and a private server on
// 127.0.0.1:3050 standing in for this computer's (skipped when that port is
// taken), which writes the files that the program removes, and which,
// named by its address, is a server on another computer whose folder this
// computer never touches.

#include <QDir>
#include <QProcess>
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

QString Path(const QString& folder, const QString& name) { return folder + u'/' + name; }

QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// Column 5 (EXITO) or 6 (OBSERVACIONES, one line per remark) of every row.
QStringList Column(const QList<QStringList>& rows, int column) {
    QStringList values;
    for (const QStringList& row : rows) values << row.at(column).split(u"\r\n"_s).join(u'|');
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
    // of EMP_2: two unattended walks and an interactive run of the server.
    void keepsTheNewestOfEachCompanyAndNothingElse() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(u"x"_s);
        TestHost host;
        const QString copias = scratch_.NewFolder(u"copias"_s);
        host.AddServer(u"[]Sede/Norte"_s, {kDestinationTag + copias, scratch_.NewCompany(u"EMP"_s),
                                           scratch_.NewCompany(u"EMP_2"_s)});
        host.plan.Servers[0].Conservar = 2;
        const auto emp = [&](const QString& stamp) {
            return u"[]Sede_Norte_EMP_"_s + stamp + u".fbk"_s;
        };
        const auto emp2 = [&](const QString& time) { return emp(u"2_081226_"_s + time); };
        // Nobody's backups (another name, server, letter case; a day that
        // does not exist) and one of 2025, last of all if sorted as text.
        QStringList names{u"[]Sede_Norte_EMP_notas.fbk"_s, u"[]Otro_EMP_010126_0000.fbk"_s,
                          u"[]Sede_Norte_emp_010126_0000.fbk"_s, emp(u"311126_1200"_s),
                          emp(u"311225_2300"_s)};
        for (const QString& name : names)
            QVERIFY(QFile(Path(copias, name)).open(QIODevice::WriteOnly));

        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();  // EMP 13:05, EMP_2 13:06
        TBackupRun(data, host).RunScheduledBackup();  // 13:07, 13:08
        host.unattended = false;
        host.PickServer(0);
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();  // 13:09, 13:10

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        names.removeLast();
        names << emp(u"081226_1307"_s) << emp(u"081226_1309"_s) << emp2(u"1308"_s)
              << emp2(u"1310"_s) << kVerificationFile;
        names.sort();
        QCOMPARE(Names(copias), names);
        auto rows = LogRows(data);
        QCOMPARE(Column(rows, 5), QStringList(6, u"T"_s));
        QCOMPARE(Column(rows, 6),
                 (QStringList{u""_s, u""_s,
                              RemovedBackupLine(Path(copias, emp(u"311225_2300"_s))) + u'|', u""_s,
                              u""_s, u""_s}));
        // By hand, the verification's window says it before its last line.
        QCOMPARE(progress.windows.size(), 4);
        QVERIFY(progress.windows[1].text.endsWith(
            RemovedBackupLine(Path(copias, emp(u"081226_1305"_s))) + u'\n' + kFinished));
        QVERIFY(progress.windows[3].text.endsWith(RemovedBackupLine(Path(copias, emp2(u"1306"_s))) +
                                                  u'\n' + kFinished));

        // A verification that fails removes nothing.
        QVERIFY(QFile::remove(Path(copias, kVerificationFile)));
        QVERIFY(QDir().mkpath(Path(copias, kVerificationFile)));
        ModalAnswers closeErrors([](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) window->close();
        });
        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();  // 13:11, 13:12
        names << emp(u"081226_1311"_s) << emp2(u"1312"_s);
        names.sort();
        QCOMPARE(Names(copias), names);
        QCOMPARE(Column(LogRows(data), 5).mid(6), (QStringList{u"F"_s, u"F"_s}));

        // A backup that cannot be removed is said so with the system's
        // reason, and the row stays good. Only root makes a file that root
        // cannot remove.
        QVERIFY(QDir(Path(copias, kVerificationFile)).removeRecursively());
        const QString stuck = Path(copias, emp(u"081226_1307"_s));
        if (QProcess::execute(u"chattr"_s, {u"+i"_s, stuck}) != 0)
            QSKIP("chattr +i needs root: the backup that cannot be removed is left out");
        struct Unstick {
            QString path;
            ~Unstick() { QProcess::execute(u"chattr"_s, {u"-i"_s, path}); }
        } unstick{stuck};
        TBackupRun(data, host).RunScheduledBackup();  // 13:13, 13:14
        rows = LogRows(data);
        QCOMPARE(Column(rows, 5).mid(8), (QStringList{u"T"_s, u"T"_s}));
        QCOMPARE(rows[8].at(6),
                 RemovedBackupLine(Path(copias, emp(u"081226_1309"_s))) + u"\r\n"_s +
                     NotRemovedBackupLine(stuck, QString::fromLocal8Bit(std::strerror(EPERM))) +
                     u"\r\n"_s);
        QCOMPARE(Names(copias).filter(emp2(QString()).chopped(4)),
                 (QStringList{emp2(u"1312"_s), emp2(u"1314"_s)}));
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
        struct Embedded {
            ~Embedded() { fb::SetLocalProvider(fb::LocalProvider::Embedded); }
        } embedded;
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(u"Oficina.19"_s);
        TestHost host;
        const QString local = scratch_.NewFolder(u"copias"_s);
        const QString remote = scratch_.NewFolder(u"remotas"_s);
        host.AddServer(u"[]Oficina"_s, {kDestinationTag + local, scratch_.NewCompany(u"E1"_s)});
        host.AddServer(u"[127.0.0.1]Oficina"_s,
                       {kDestinationTag + remote, scratch_.NewCompany(u"E2"_s)});
        host.plan.Servers[0].Conservar = 2;
        host.plan.Servers[1].Conservar = 1;
        host.unattended = true;
        for (int run = 0; run < 3; ++run) TBackupRun(data, host).RunScheduledBackup();
        data.IBDBackup.Disconnect();
        QVERIFY(server.stop());
        fb::SetLocalProvider(fb::LocalProvider::Embedded);

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(Names(local), (QStringList{kVerificationFile, u"[]Oficina_E1_081226_1307.fbk"_s,
                                            u"[]Oficina_E1_081226_1309.fbk"_s}));
        QCOMPARE(Names(remote),
                 (QStringList{kVerificationFile, u"[127.0.0.1]Oficina_E2_081226_1306.fbk"_s,
                              u"[127.0.0.1]Oficina_E2_081226_1308.fbk"_s,
                              u"[127.0.0.1]Oficina_E2_081226_1310.fbk"_s}));
        const auto rows = LogRows(data);
        QCOMPARE(Column(rows, 5), QStringList(6, u"T"_s));
        QCOMPARE(Column(rows, 6).at(4),
                 RemovedBackupLine(Path(local, u"[]Oficina_E1_081226_1305.fbk"_s)) + u'|');
    }
};

QTEST_MAIN(TestRetention)
#include "tst_retention.moc"
