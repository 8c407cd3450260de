// Old backups go once a new one is verified, on real backups: local
// companies through the engine in this process; a company of this
// computer's server (a private one on 127.0.0.1:3050 standing in for the
// package's, skipped when that port is taken), whose files the server
// writes and the program removes; and a company of a server on another
// computer (the shared test server), whose old backups stay where they are.

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

const QDateTime kFirstRun(QDate(2026, 12, 8), QTime(13, 5));

QString Path(const QString& folder, const QString& name) { return folder + u'/' + name; }

// Everything in a folder, sorted by name.
QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

QStringList Sorted(QStringList names) {
    names.sort();
    return names;
}

// A file holding its own path, to be found again unchanged.
void Write(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(path.toUtf8());
}

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Column `column` of every row.
QStringList Column(const QList<QStringList>& rows, int column) {
    QStringList values;
    for (const QStringList& row : rows) values << row.at(column);
    return values;
}

QString RemarkLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) text += line + QStringLiteral("\r\n");
    return text;
}

}  // namespace

class TestRetention : public QObject {
    Q_OBJECT

    ScratchArea scratch_;

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.Init());
        platform::SetExecutableDirectory(scratch_.NewFolder(QStringLiteral("programa")));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    // []Local keeps 2 of EMP and of EMP_2, []Sede/Norte (a name with a
    // character no file name holds) 1 of its EMP: two unattended walks and
    // an interactive run of the whole server, a minute apart each job.
    void keepsTheNewestOfEachCompanyAndNothingElse() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(QStringLiteral("x"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        const QString otras = scratch_.NewFolder(QStringLiteral("otras"));
        host.AddServer(QStringLiteral("[]Local"),
                       {kDestinationTag + copias, scratch_.NewCompany(QStringLiteral("EMP")),
                        scratch_.NewCompany(QStringLiteral("EMP_2"))});
        host.AddServer(QStringLiteral("[]Sede/Norte"),
                       {kDestinationTag + otras, scratch_.NewCompany(QStringLiteral("EMP"))});
        host.plan.Servers[0].Conservar = 2;
        host.plan.Servers[1].Conservar = 1;
        // Nobody's backups here: other names, another server, a day that
        // does not exist, other letters. And old backups of December 2025,
        // which as text would sort after December 2026's.
        const QStringList strangers{QStringLiteral("[]Local_EMP_notas.txt"),
                                    QStringLiteral("[]Local_EMP_081226_1305.fbk.bak"),
                                    QStringLiteral("[]Otro_EMP_010126_0000.fbk"),
                                    QStringLiteral("[]Local_EMP_311126_1200.fbk"),
                                    QStringLiteral("[]Local_emp_010126_0000.fbk")};
        for (const QString& name : strangers) Write(Path(copias, name));
        Write(Path(copias, QStringLiteral("[]Local_EMP_311225_2300.fbk")));
        Write(Path(otras, QStringLiteral("[]Sede_Norte_EMP_311225_2300.fbk")));
        const auto emp = [&](const QString& time) {
            return Path(copias,
                        QStringLiteral("[]Local_EMP_081226_") + time + QStringLiteral(".fbk"));
        };
        const auto emp2 = [&](const QString& time) {
            return Path(copias,
                        QStringLiteral("[]Local_EMP_2_081226_") + time + QStringLiteral(".fbk"));
        };
        const auto sede = [&](const QString& time) {
            return Path(otras, QStringLiteral("[]Sede_Norte_EMP_") + time + QStringLiteral(".fbk"));
        };

        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();  // 13:05, 13:06, 13:07
        TBackupRun(data, host).RunScheduledBackup();  // 13:08, 13:09, 13:10
        host.unattended = false;
        host.PickServer(0);
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();  // 13:11, 13:12

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QStringList kept = strangers;
        for (const QString& path :
             {emp(u"1308"_s), emp(u"1311"_s), emp2(u"1309"_s), emp2(u"1312"_s)})
            kept << QFileInfo(path).fileName();
        QCOMPARE(Names(copias), Sorted(kept << kVerificationFile));
        for (const QString& name : strangers)
            QCOMPARE(Read(Path(copias, name)), Path(copias, name));
        QCOMPARE(Names(otras),
                 (QStringList{kVerificationFile, QFileInfo(sede(u"081226_1310"_s)).fileName()}));

        auto rows = LogRows(data);
        QCOMPARE(Column(rows, 5), QStringList(8, QStringLiteral("T")));
        QCOMPARE(Column(rows, 6),
                 (QStringList{QString(), QString(),
                              RemarkLines({RemovedBackupLine(sede(u"311225_2300"_s))}),
                              RemarkLines({RemovedBackupLine(
                                  Path(copias, QStringLiteral("[]Local_EMP_311225_2300.fbk")))}),
                              QString(), RemarkLines({RemovedBackupLine(sede(u"081226_1307"_s))}),
                              QString(), QString()}));
        // Interactive: the verification's window says it before its last line.
        QCOMPARE(progress.windows.size(), 4);
        QVERIFY(progress.windows[1].text.endsWith(RemovedBackupLine(emp(u"1305"_s)) + u'\n' +
                                                  kFinished));
        QVERIFY(progress.windows[3].text.endsWith(RemovedBackupLine(emp2(u"1306"_s)) + u'\n' +
                                                  kFinished));

        // A verification that fails removes nothing; its backup stays too.
        QVERIFY(QFile::remove(Path(copias, kVerificationFile)));
        QVERIFY(QDir().mkpath(Path(copias, kVerificationFile)));
        ModalAnswers closeErrors([](QWidget* modal) {
            if (auto* window = qobject_cast<TErrorenCopia*>(modal)) window->close();
        });
        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();  // 13:13, 13:14, 13:15
        QCOMPARE(Names(copias), Sorted(kept << QFileInfo(emp(u"1313"_s)).fileName()
                                            << QFileInfo(emp2(u"1314"_s)).fileName()));
        rows = LogRows(data);
        QCOMPARE(Column(rows, 5).mid(8), (QStringList{u"F"_s, u"F"_s, u"T"_s}));
        QVERIFY(!rows[8].at(6).contains(u"Eliminada"));

        // A backup that cannot be removed is said so, with the system's
        // reason, and the row stays good. Only root makes a file that root
        // cannot remove.
        QVERIFY(QDir(Path(copias, kVerificationFile)).removeRecursively());
        const QString stuck = emp(u"1308"_s);
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), stuck}) != 0)
            QSKIP("chattr +i needs root: the backup that cannot be removed is left out");
        struct Unstick {
            QString path;
            ~Unstick() {
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
            }
        } unstick{stuck};
        TBackupRun(data, host).RunScheduledBackup();  // 13:16, 13:17, 13:18
        rows = LogRows(data);
        QCOMPARE(Column(rows, 5).mid(11), (QStringList{u"T"_s, u"T"_s, u"T"_s}));
        QCOMPARE(rows[11].at(6),
                 RemarkLines(
                     {RemovedBackupLine(emp(u"1311"_s)),
                      NotRemovedBackupLine(stuck, QString::fromLocal8Bit(std::strerror(EPERM)))}));
        QVERIFY(QFile::exists(stuck));
        QCOMPARE(Names(copias).filter(QStringLiteral("[]Local_EMP_2_")),
                 (QStringList{QFileInfo(emp2(u"1314"_s)).fileName(),
                              QFileInfo(emp2(u"1317"_s)).fileName()}));
    }

    // The server of this computer writes the backups as its own user; the
    // program lists and removes them in the same folder.
    void thisComputersServerWritesAndTheProgramRemoves() {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), 3050);
        if (probe.waitForConnected(500)) QSKIP("127.0.0.1:3050 is taken by another program");
        const QString password = QStringLiteral("Oficina.19");
        FirebirdTestServer server;
        QVERIFY2(server.start(QStringLiteral("127.0.0.1"), password),
                 qPrintable(server.lastError()));
        fb::SetLocalProvider(fb::LocalProvider::Loopback);
        struct Embedded {
            ~Embedded() { fb::SetLocalProvider(fb::LocalProvider::Embedded); }
        } embedded;
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(password);
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        host.AddServer(QStringLiteral("[]Oficina"),
                       {kDestinationTag + copias, scratch_.NewCompany(QStringLiteral("EMPRESA1"))});
        host.plan.Servers[0].Conservar = 2;
        host.unattended = true;
        for (int run = 0; run < 3; ++run) TBackupRun(data, host).RunScheduledBackup();
        data.IBDBackup.Disconnect();
        QVERIFY(server.stop());
        fb::SetLocalProvider(fb::LocalProvider::Embedded);

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(
            Names(copias),
            (QStringList{kVerificationFile, QStringLiteral("[]Oficina_EMPRESA1_081226_1306.fbk"),
                         QStringLiteral("[]Oficina_EMPRESA1_081226_1307.fbk")}));
        const auto rows = LogRows(data);
        QCOMPARE(Column(rows, 5), QStringList(3, QStringLiteral("T")));
        QCOMPARE(rows[2].at(6),
                 RemarkLines({RemovedBackupLine(
                     Path(copias, QStringLiteral("[]Oficina_EMPRESA1_081226_1305.fbk")))}));
    }

    // A remote server's folder is on its computer: a folder of that name
    // here is another one, even when, as here, it holds that server's files.
    void aServerOnAnotherComputerKeepsEveryBackup() {
        const QString ip = qEnvironmentVariable("QB_TEST_SERVER_IP");
        if (ip.isEmpty()) QSKIP("no shared test server (fixture FbServer)");
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(kFirstRun);
        TData data(qEnvironmentVariable("QB_TEST_SERVER_PASSWORD"));
        TestHost host;
        const QString copias = scratch_.NewFolder(QStringLiteral("copias"));
        host.AddServer(u'[' + ip + QStringLiteral("]Central"),
                       {kDestinationTag + copias, scratch_.NewCompany(QStringLiteral("EMPRESA1"))});
        host.plan.Servers[0].Conservar = 1;
        host.unattended = true;
        TBackupRun(data, host).RunScheduledBackup();
        TBackupRun(data, host).RunScheduledBackup();
        QCOMPARE(Names(copias).filter(QStringLiteral(".fbk")).size(), 2);
        const auto rows = LogRows(data);
        QCOMPARE(Column(rows, 5), QStringList(2, QStringLiteral("T")));
        QCOMPARE(Column(rows, 6), QStringList(2, QString()));
    }
};

QTEST_MAIN(TestRetention)
#include "tst_retention.moc"
