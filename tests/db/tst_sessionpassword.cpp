// Where the program finds its database password: ISC_PASSWORD in its own
// environment, else the desktop session's environment files, which a
// program started by the session (autostart, menu entry) can rely on.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "db/FData.h"

namespace {

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

}  // namespace

class TestSessionPassword : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QString Folder() const { return home_.filePath(QStringLiteral("config/environment.d")); }

private slots:
    void init() {
        QVERIFY(home_.isValid());
        QDir(home_.path()).removeRecursively();
        QDir().mkpath(home_.path());
        qputenv("HOME", home_.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home_.filePath(QStringLiteral("config")).toLocal8Bit());
        qunsetenv("ISC_PASSWORD");
    }

    void nothingGivenIsEmpty() {
        QVERIFY(SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD")).isNull());
        QCOMPARE(StartupDatabasePassword(), QString());
        WriteFile(Folder() + QStringLiteral("/10-other.conf"), "PATH=/usr/bin\nISC_USER=sysdba\n");
        QVERIFY(SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD")).isNull());
        QCOMPARE(TData().DatabasePassword(), QString());
    }

    void theProgramsEnvironmentComesFirst() {
        WriteFile(Folder() + QStringLiteral("/quillbase.conf"), "ISC_PASSWORD=fromFile\n");
        QCOMPARE(StartupDatabasePassword(), QStringLiteral("fromFile"));
        QCOMPARE(TData().DatabasePassword(), QStringLiteral("fromFile"));
        qputenv("ISC_PASSWORD", "fromTerminal");
        QCOMPARE(StartupDatabasePassword(), QStringLiteral("fromTerminal"));
        // Set but empty is a given password too.
        qputenv("ISC_PASSWORD", "");
        QCOMPARE(StartupDatabasePassword(), QString());
    }

    void laterFilesAndLinesWin() {
        WriteFile(Folder() + QStringLiteral("/20-b.conf"), "ISC_PASSWORD=second\n");
        WriteFile(Folder() + QStringLiteral("/10-a.conf"),
                  "ISC_PASSWORD=first\nISC_PASSWORD=first-again\n");
        QCOMPARE(SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD")), QStringLiteral("second"));
        // Only *.conf files, and only the name itself.
        WriteFile(Folder() + QStringLiteral("/30-c.conf.bak"), "ISC_PASSWORD=backup\n");
        WriteFile(Folder() + QStringLiteral("/40-d.conf"),
                  "ISC_PASSWORD_OLD=old\nXISC_PASSWORD=x\n# ISC_PASSWORD=comment\n");
        QCOMPARE(SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD")), QStringLiteral("second"));
        WriteFile(Folder() + QStringLiteral("/15-between.conf"), "ISC_PASSWORD=between\n");
        QCOMPARE(SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD")), QStringLiteral("second"));
    }

    void quotesAndEscapes_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QByteArray("ISC_PASSWORD=s3cr3t") << QStringLiteral("s3cr3t");
        QTest::newRow("spaces around")
            << QByteArray("  ISC_PASSWORD = s3cr3t  \r") << QStringLiteral("s3cr3t");
        QTest::newRow("single quotes keep everything")
            << QByteArray("ISC_PASSWORD='a b$c\\d\"e'") << QStringLiteral("a b$c\\d\"e");
        QTest::newRow("double quotes")
            << QByteArray("ISC_PASSWORD=\"a b\\\"c\\\\d\"") << QStringLiteral("a b\"c\\d");
        QTest::newRow("equals sign inside")
            << QByteArray("ISC_PASSWORD=a=b==") << QStringLiteral("a=b==");
        QTest::newRow("escaped character")
            << QByteArray("ISC_PASSWORD=a\\#b") << QStringLiteral("a#b");
        QTest::newRow("not ASCII")
            << QByteArray("ISC_PASSWORD=contraseña") << QStringLiteral("contraseña");
        QTest::newRow("empty") << QByteArray("ISC_PASSWORD=") << QStringLiteral("");
    }

    void quotesAndEscapes() {
        QFETCH(QByteArray, line);
        QFETCH(QString, password);
        WriteFile(Folder() + QStringLiteral("/50-quillbase.conf"),
                  "; a comment\n\n" + line + "\nOTHER=1\n");
        const QString value = SessionEnvironmentValue(QStringLiteral("ISC_PASSWORD"));
        QCOMPARE(value, password);
        QVERIFY(!value.isNull());
    }

    void homeConfigWhenNoConfigHome() {
        qunsetenv("XDG_CONFIG_HOME");
        WriteFile(home_.filePath(QStringLiteral(".config/environment.d/quillbase.conf")),
                  "ISC_PASSWORD=fromHome\n");
        QCOMPARE(StartupDatabasePassword(), QStringLiteral("fromHome"));
    }
};

QTEST_GUILESS_MAIN(TestSessionPassword)
#include "tst_sessionpassword.moc"
