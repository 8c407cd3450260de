// The settings store against its real file in a scratch configuration folder.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Settings.h"

using platform::SettingsError;
using platform::SettingsStore;

namespace {

const QString kRoot = platform::kQuillbaseKey;

QString Key(const QString& below) { return kRoot + u'\\' + below; }

QJsonObject JsonKey(const QJsonObject& values, const QJsonObject& keys = {}) {
    return QJsonObject{{QStringLiteral("values"), values}, {QStringLiteral("keys"), keys}};
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of the SettingsError that `call` throws; empty when none.
template <typename F>
QString ErrorText(F&& call) {
    try {
        call();
    } catch (const SettingsError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QJsonObject StoredDocument() {
    return QJsonDocument::fromJson(ReadFile(SettingsStore::FilePath())).object();
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> configHome_;
    SettingsStore store_;

    QString folder() const { return configHome_->filePath(QStringLiteral("Orvalenta Software")); }

private slots:
    void init() {
        configHome_ = std::make_unique<QTemporaryDir>();
        QVERIFY(configHome_->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_->path()));
    }

    void fileLocationFollowsTheEnvironment() {
        QCOMPARE(SettingsStore::FilePath(),
                 configHome_->path() + QStringLiteral("/Orvalenta Software/Quillbase.json"));
    }

    void writesTheDocumentedFormat() {
        store_.WriteString(Key(QStringLiteral("1.0")), QStringLiteral("Root"),
                           QStringLiteral("C:\\Quillbase\\"));
        store_.WriteString(Key(QStringLiteral("1.0\\backup")), QStringLiteral("InicioWindows"),
                           QStringLiteral("T"));
        const QString server = Key(QStringLiteral("1.0\\backup\\servers\\[127.0.0.2]Central"));
        store_.WriteString(server, QStringLiteral("Destino"), QStringLiteral("D:\\Copias"));
        store_.WriteString(server + QStringLiteral("\\EMPRESA1"), QString(), QString());
        store_.CreateKey(Key(QStringLiteral("1.0\\backup\\vacía")));

        const QJsonObject company = JsonKey({{QString(), QString()}});
        const QJsonObject central =
            JsonKey({{QStringLiteral("Destino"), QStringLiteral("D:\\Copias")}},
                    {{QStringLiteral("EMPRESA1"), company}});
        const QJsonObject backup =
            JsonKey({{QStringLiteral("InicioWindows"), QStringLiteral("T")}},
                    {{QStringLiteral("servers"),
                      JsonKey({}, {{QStringLiteral("[127.0.0.2]Central"), central}})},
                     {QStringLiteral("vacía"), JsonKey({})}});
        const QJsonObject expected =
            JsonKey({}, {{QStringLiteral("1.0"),
                          JsonKey({{QStringLiteral("Root"), QStringLiteral("C:\\Quillbase\\")}},
                                  {{QStringLiteral("backup"), backup}})}});
        QCOMPARE(StoredDocument(), expected);

        // Private to the user, and nothing but the store left in its folder.
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(SettingsStore::FilePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QCOMPARE(QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Quillbase.json")});
    }

    void writeReplacesTheFileWhole() {
        store_.WriteString(Key(QStringLiteral("1.0")), QStringLiteral("a"), QStringLiteral("1"));
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(SettingsStore::FilePath()).constData(), &before), 0);

        const mode_t oldMask = ::umask(0);  // the mode must not depend on the umask
        store_.WriteString(Key(QStringLiteral("1.0")), QStringLiteral("b"), QStringLiteral("2"));
        ::umask(oldMask);

        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(SettingsStore::FilePath()).constData(), &after), 0);
        QVERIFY2(before.st_ino != after.st_ino, "the store was rewritten in place");
        QCOMPARE(after.st_mode & 0777, 0600u);
        QCOMPARE(
            QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
            1);
    }

    void namesMatchWithoutCaseAndKeepTheirCase() {
        store_.WriteString(Key(QStringLiteral("1.0\\Backup")), QStringLiteral("InicioWindows"),
                           QStringLiteral("T"));
        const QString otherCase =
            QStringLiteral("SOFTWARE\\orvalenta software\\QuillBase\\1.0\\BACKUP\\");
        QCOMPARE(store_.ReadString(otherCase, QStringLiteral("iniciowindows")),
                 QStringLiteral("T"));
        QVERIFY(store_.KeyExists(otherCase));
        QVERIFY(store_.ValueExists(otherCase, QStringLiteral("INICIOWINDOWS")));

        store_.WriteString(otherCase, QStringLiteral("INICIOWINDOWS"), QStringLiteral("F"));
        store_.CreateKey(Key(QStringLiteral("1.0\\backUP")));
        QCOMPARE(store_.SubKeys(Key(QStringLiteral("1.0"))), QStringList{QStringLiteral("Backup")});
        QCOMPARE(store_.ValueNames(otherCase), QStringList{QStringLiteral("InicioWindows")});
        QCOMPARE(
            store_.ReadString(Key(QStringLiteral("1.0\\Backup")), QStringLiteral("InicioWindows")),
            QStringLiteral("F"));

        store_.DeleteValue(otherCase, QStringLiteral("iniciowindows"));
        QVERIFY(!store_.ValueExists(otherCase, QStringLiteral("InicioWindows")));
        QVERIFY(store_.KeyExists(otherCase));
    }

    void missingKeysAndValuesReadEmpty() {
        const QString backup = Key(QStringLiteral("1.0\\backup"));
        QVERIFY(!store_.KeyExists(kRoot));
        QCOMPARE(store_.ReadString(backup, QStringLiteral("InicioWindows")), QString());
        QVERIFY(store_.SubKeys(backup).isEmpty());
        store_.DeleteValue(backup, QStringLiteral("InicioWindows"));
        store_.DeleteKey(backup);
        QVERIFY2(!QFile::exists(SettingsStore::FilePath()),
                 "reading or deleting created the store");

        store_.CreateKey(kRoot);
        QVERIFY(store_.KeyExists(kRoot));
        QCOMPARE(StoredDocument(), JsonKey({}));
        QVERIFY(!store_.KeyExists(backup));
        QVERIFY(!store_.ValueExists(backup, QString()));
        QCOMPARE(store_.ReadString(kRoot, QStringLiteral("nada")), QString());
    }

    void subKeysEnumerateSortedWithoutCase() {
        const QString servers = Key(QStringLiteral("1.0\\backup\\servers"));
        for (const char* name : {"b", "[]Oficina", "C", "a", "[192.168.1.20]Central", "A2"}) {
            store_.CreateKey(servers + u'\\' + QString::fromUtf8(name));
        }
        QCOMPARE(store_.SubKeys(servers),
                 (QStringList{QStringLiteral("[192.168.1.20]Central"), QStringLiteral("[]Oficina"),
                              QStringLiteral("a"), QStringLiteral("A2"), QStringLiteral("b"),
                              QStringLiteral("C")}));
    }

    void deleteKeyRemovesEverythingBelowIt() {
        const QString servers = Key(QStringLiteral("1.0\\backup\\servers"));
        store_.WriteString(servers + QStringLiteral("\\[]Oficina\\EMP1"), QString(), QString());
        store_.WriteString(servers + QStringLiteral("\\[]Oficina"), QStringLiteral("IP"),
                           QString());
        store_.WriteString(Key(QStringLiteral("1.0\\backup")), QStringLiteral("InicioWindows"),
                           QStringLiteral("T"));

        store_.DeleteKey(Key(QStringLiteral("1.0\\BACKUP\\Servers")));
        QVERIFY(!store_.KeyExists(servers));
        QVERIFY(!store_.KeyExists(servers + QStringLiteral("\\[]Oficina\\EMP1")));
        QCOMPARE(
            store_.ReadString(Key(QStringLiteral("1.0\\backup")), QStringLiteral("InicioWindows")),
            QStringLiteral("T"));
        QCOMPARE(store_.SubKeys(Key(QStringLiteral("1.0\\backup"))), QStringList());

        store_.DeleteKey(kRoot);
        QVERIFY(!store_.KeyExists(kRoot));
        QVERIFY(!QFile::exists(SettingsStore::FilePath()));
    }

    void namesMayHoldAnyCharacterButBackslash() {
        const QString server =
            Key(QStringLiteral("1.0\\backup\\servers\\[127.0.0.1/3051]Central: sede"));
        store_.WriteString(server, QStringLiteral("C:/datos:x"), QStringLiteral("D:\\Copias\\"));
        QCOMPARE(store_.ReadString(server, QStringLiteral("c:/DATOS:x")),
                 QStringLiteral("D:\\Copias\\"));
        QCOMPARE(store_.SubKeys(Key(QStringLiteral("1.0\\backup\\servers"))),
                 QStringList{QStringLiteral("[127.0.0.1/3051]Central: sede")});
    }

    void pathsOutsideTheStoreAreRefused() {
        for (const QString& path :
             {QStringLiteral("Software\\Orvalenta Software"),
              QStringLiteral("Software\\Orvalenta Software\\QuillbaseX"),
              QStringLiteral("Software\\Microsoft\\windows\\currentversion\\run"), QString(),
              Key(QStringLiteral("1.0\\\\backup"))}) {
            QVERIFY_THROWS_EXCEPTION(SettingsError, store_.ReadString(path, QStringLiteral("x")));
            QVERIFY_THROWS_EXCEPTION(SettingsError,
                                     store_.WriteString(path, QStringLiteral("x"), QString()));
        }
        QVERIFY(!QFile::exists(SettingsStore::FilePath()));
    }

    void readsTheFileAfreshEveryTime() {
        store_.WriteString(Key(QStringLiteral("1.0")), QStringLiteral("Root"),
                           QStringLiteral("uno"));
        QFile file(SettingsStore::FilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(
                       JsonKey({}, {{QStringLiteral("1.0"),
                                     JsonKey({{QStringLiteral("ROOT"), QStringLiteral("dos")}})}}))
                       .toJson());
        file.close();
        QCOMPARE(store_.ReadString(Key(QStringLiteral("1.0")), QStringLiteral("Root")),
                 QStringLiteral("dos"));
    }

    // A store that cannot be written or read says why in Spanish, never in
    // the C library's English.
    void failuresGiveTheSystemsReasonInSpanish() {
        const QString key = Key(QStringLiteral("1.0"));
        QFile blocker(folder());  // a file where the program's folder goes
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString text = ErrorText([&] { store_.WriteString(key, QStringLiteral("Root"), QStringLiteral("x")); });
        QVERIFY2(text.contains(folder()) && text.contains(QStringLiteral("ya existe un fichero con ese nombre")),
                 qPrintable(text));
        QVERIFY2(!text.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))), qPrintable(text));

        QVERIFY(QFile::remove(folder()));
        QVERIFY(QDir().mkpath(SettingsStore::FilePath()));  // the store's file is a folder
        text = ErrorText([&] { store_.ReadString(key, QStringLiteral("Root")); });
        QVERIFY2(text.startsWith(QStringLiteral("No se puede leer el fichero de configuración '") +
                                 SettingsStore::FilePath() + QStringLiteral("': es una carpeta")),
                 qPrintable(text));
    }

    void damagedFileIsNeverWrittenOver_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("truncated") << QByteArray("{\"values\": {\"a\": \"b\"}, \"keys\": {");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("number value") << QByteArray(R"({"values": {"a": 1}, "keys": {}})");
        QTest::newRow("twice without case")
            << QByteArray(R"({"values": {}, "keys": {"a": {}, "A": {}}})");
    }

    void damagedFileIsNeverWrittenOver() {
        QFETCH(QByteArray, content);
        QVERIFY(QDir().mkpath(folder()));
        QFile file(SettingsStore::FilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        const QString key = Key(QStringLiteral("1.0"));
        try {
            store_.ReadString(key, QStringLiteral("Root"));
            QFAIL("a damaged store was read");
        } catch (const SettingsError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(SettingsStore::FilePath()),
                     error.what());
        }
        QVERIFY_THROWS_EXCEPTION(SettingsError, store_.KeyExists(key));
        QVERIFY_THROWS_EXCEPTION(SettingsError,
                                 store_.WriteString(key, QStringLiteral("Root"), QString()));
        QVERIFY_THROWS_EXCEPTION(SettingsError, store_.CreateKey(key));
        QVERIFY_THROWS_EXCEPTION(SettingsError, store_.DeleteValue(key, QStringLiteral("Root")));
        QVERIFY_THROWS_EXCEPTION(SettingsError, store_.DeleteKey(key));
        QVERIFY_THROWS_EXCEPTION(SettingsError, store_.DeleteKey(kRoot));
        QCOMPARE(ReadFile(SettingsStore::FilePath()), content);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
