// A settings file that the program cannot read: the real program starts on
// it, says in one box which file it could not read and where it kept it, puts
// it aside unchanged and goes on with empty settings; it can be closed, and
// the next start finds nothing wrong. The putting aside itself is tried in
// this process as well: it never takes a readable file, and never writes over
// a file kept before.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "platform/Settings.h"

using platform::SettingsStore;

namespace {

const QString kFolder = QStringLiteral("Orvalenta Software");

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The names in a folder, sorted.
QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

}  // namespace

class TestDamagedSettings : public QObject {
    Q_OBJECT

    static QString Program() { return QString::fromUtf8(QB_PROGRAM); }

    static QProcessEnvironment Environment(const QTemporaryDir& home, const QString& dialogLog) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("QB_DIALOG_LOG"), dialogLog);
        return env;
    }

    static bool MakeHome(const QTemporaryDir& home) {
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        return home.isValid() && QDir().mkpath(runtime) &&
               QFile::setPermissions(runtime,
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
               QDir().mkpath(home.filePath(QStringLiteral("config/") + kFolder));
    }

    // Starts the program, waits until `ready` holds (at most 20 s), then asks
    // it to end as a desktop session would and waits for it.
    static void RunUntil(QProcess& program, const std::function<bool()>& ready) {
        program.start(Program(), {});
        QVERIFY(program.waitForStarted());
        for (int i = 0; i < 200 && !ready(); ++i) QTest::qWait(100);
        QVERIFY2(ready(), "the program never got there");
        QTest::qWait(300);  // anything it says after that is said too
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished(5000);
            QFAIL("the program did not end when asked to");
        }
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(Program()), qPrintable(Program())); }

    void theProgramPutsTheFileAsideAndGoesOn_data() {
        QTest::addColumn<QByteArray>("content");  // empty: a folder in its place
        QTest::newRow("bad JSON") << QByteArray(
            R"({"values": {}, "keys": {"1.0": {"values": {"Root": "/opt/q")");
        QTest::newRow("invalid UTF-8")
            << QByteArray("{\"values\": {\"Root\": \"Caf\xe9 \xff\xfe\"}, \"keys\": {}}");
        QTest::newRow("wrong structure")
            << QByteArray(R"({"values": {"Root": 7}, "keys": {"1.0": []}})");
        QTest::newRow("a folder in its place") << QByteArray();
    }

    void theProgramPutsTheFileAsideAndGoesOn() {
        QFETCH(QByteArray, content);
        QTemporaryDir home;
        QVERIFY(MakeHome(home));
        const QString folder = home.filePath(QStringLiteral("config/") + kFolder);
        const QString file = folder + QStringLiteral("/Quillbase.json");
        if (content.isEmpty()) {
            QVERIFY(QDir().mkpath(file));
            QVERIFY(WriteAll(file + QStringLiteral("/dentro.txt"), "algo"));
        } else {
            QVERIFY(WriteAll(file, content));
        }

        const QString dialogLog = home.filePath(QStringLiteral("dialogs.log"));
        QProcess program;
        program.setProcessEnvironment(Environment(home, dialogLog));
        // Ready once it has spoken and its window, activated, has written
        // the settings' base key into a new file.
        RunUntil(program, [&] {
            return QFile::exists(dialogLog) && QFileInfo(file).isFile() && !ReadAll(file).isEmpty();
        });

        // One box, in Spanish, naming the file and where it went.
        const QStringList lines =
            QString::fromUtf8(ReadAll(dialogLog)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        const QString kept = file + QStringLiteral(".ilegible-");
        const QRegularExpression expected(
            QStringLiteral(
                "^Atención\\|No se ha podido leer el fichero de configuración\\\\n\\\\r") +
            QRegularExpression::escape(file) +
            QStringLiteral("\\\\n\\\\r\\\\n\\\\rSe ha guardado aparte, sin cambios, "
                           "como\\\\n\\\\r(") +
            QRegularExpression::escape(kept) +
            QStringLiteral("\\d{8}-\\d{6})\\\\n\\\\r\\\\n\\\\rEl programa continúa con la "
                           "configuración vacía: la selección de servidores y empresas y la "
                           "programación de copias deben configurarse de nuevo\\.$"));
        const QRegularExpressionMatch match = expected.match(lines.first());
        QVERIFY2(match.hasMatch(), qPrintable(lines.first()));
        const QString keptAs = match.captured(1);

        // Kept beside it exactly as it was; the new file is a sound store.
        if (content.isEmpty()) {
            QVERIFY(QFileInfo(keptAs).isDir());
            QCOMPARE(Names(keptAs), QStringList{QStringLiteral("dentro.txt")});
            QCOMPARE(ReadAll(keptAs + QStringLiteral("/dentro.txt")), QByteArray("algo"));
        } else {
            QCOMPARE(ReadAll(keptAs), content);
        }
        QCOMPARE(Names(folder),
                 (QStringList{QStringLiteral("Quillbase.json"), QFileInfo(keptAs).fileName()}));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        SettingsStore store;
        QVERIFY(store.KeyExists(platform::kQuillbaseKey));
        QCOMPARE(store.SubKeys(platform::kQuillbaseKey), QStringList());

        // The next start finds nothing to say, and the kept file stays.
        QVERIFY(QFile::remove(dialogLog));
        QProcess again;
        again.setProcessEnvironment(Environment(home, dialogLog));
        bool started = false;
        RunUntil(again, [&] {
            // Nothing to wait for but the window: give it a moment.
            if (!started) QTest::qWait(1500);
            started = true;
            return true;
        });
        QVERIFY2(!QFile::exists(dialogLog), ReadAll(dialogLog).constData());
        QCOMPARE(Names(folder),
                 (QStringList{QStringLiteral("Quillbase.json"), QFileInfo(keptAs).fileName()}));
        if (!content.isEmpty()) QCOMPARE(ReadAll(keptAs), content);
    }

    void puttingAsideNeverTakesAReadableFileNorOverwritesAKeptOne() {
        QTemporaryDir home;
        QVERIFY(MakeHome(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        const QString file = SettingsStore::FilePath();
        const QDateTime now(QDate(2026, 12, 9), QTime(7, 5, 3));

        // Absent, then readable: nothing happens.
        QVERIFY(!SettingsStore::SetAsideUnreadableFile(now).has_value());
        SettingsStore store;
        store.WriteString(platform::kQuillbaseKey + QStringLiteral("\\1.0"), QStringLiteral("Root"),
                          QStringLiteral("/opt/q"));
        const QByteArray sound = ReadAll(file);
        QVERIFY(!SettingsStore::SetAsideUnreadableFile(now).has_value());
        QCOMPARE(ReadAll(file), sound);

        // Two damaged files within the same second keep a name each.
        QVERIFY(WriteAll(file, "{ uno"));
        const auto first = SettingsStore::SetAsideUnreadableFile(now);
        QVERIFY(first.has_value());
        QCOMPARE(first->file, file);
        QCOMPARE(first->keptAs, file + QStringLiteral(".ilegible-20261209-070503"));
        QVERIFY(WriteAll(file, ""));
        const auto second = SettingsStore::SetAsideUnreadableFile(now);
        QVERIFY(second.has_value());
        QCOMPARE(second->keptAs, file + QStringLiteral(".ilegible-20261209-070503-2"));
        QCOMPARE(ReadAll(first->keptAs), QByteArray("{ uno"));
        QCOMPARE(ReadAll(second->keptAs), QByteArray());
        QVERIFY(!QFile::exists(file));

        // The store goes on empty, and writes a new file of its own.
        QCOMPARE(store.ReadString(platform::kQuillbaseKey + QStringLiteral("\\1.0"),
                                  QStringLiteral("Root")),
                 QString());
        store.CreateKey(platform::kQuillbaseKey);
        QVERIFY(QFileInfo(file).isFile());
        QCOMPARE(ReadAll(first->keptAs), QByteArray("{ uno"));
    }
};

QTEST_GUILESS_MAIN(TestDamagedSettings)
#include "tst_damagedsettings.moc"
