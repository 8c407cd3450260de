// The server catalogue beside the executable and the company catalogues of
// local servers (embedded engine) and of a remote one (the shared private
// server of the test fixture).

#include "db/Catalogue.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestCatalogue : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString installDir_;
    QString localServer_;
    QString remoteServer_;
    QString remoteIp_;
    QString remotePassword_;

    QString Make(const QString& relative) {
        const QString path = scratch_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return path;
    }

    void WriteServers(const QList<ServerCatalogueRow>& rows) {
        QFile::remove(installDir_ + QStringLiteral("Servidores.gdb"));
        QVERIFY(MakeServerCatalogue(installDir_ + QStringLiteral("Servidores.gdb"), rows));
    }

private slots:
    void initTestCase() {
        installDir_ = Make(QStringLiteral("instalacion/x")).chopped(1);
        platform::SetExecutableDirectory(installDir_);
        installDir_ = platform::ExecutableDirectory();
        localServer_ = QFileInfo(Make(QStringLiteral("local/x"))).absolutePath();
        QVERIFY(MakeCompanyCatalogue(localServer_ + QStringLiteral("/Empresas.gdb"),
                             {QStringLiteral("EMPRESA1"), QStringLiteral("Cañas y Compañía"), QStringLiteral("ZETA")}));
        remoteServer_ = QFileInfo(Make(QStringLiteral("remoto/x"))).absolutePath();
        QVERIFY(MakeCompanyCatalogue(remoteServer_ + QStringLiteral("/Empresas.gdb"), {QStringLiteral("REMOTA")}));
        remoteIp_ = qEnvironmentVariable("QB_TEST_SERVER_IP");
        remotePassword_ = qEnvironmentVariable("QB_TEST_SERVER_PASSWORD");
        QVERIFY2(!remoteIp_.isEmpty(), "the shared Firebird server fixture is not running");
    }

    void serversAndTheFirstServersCompaniesLoadInDatabaseOrder() {
        WriteServers({{QStringLiteral("Oficina"), localServer_ + QLatin1Char('/'), QString()},
                      {QStringLiteral("Central"), remoteServer_, remoteIp_},
                      {QStringLiteral("Windows"), QStringLiteral("D:\\Quillbase\\"), QStringLiteral("192.0.2.1")}});
        FakeDialogs dialogs;
        TData data(remotePassword_);
        TCatalogue catalogue(data);
        QSignalSpy companiesChanged(&catalogue, &TCatalogue::CompanyListChanged);
        QVERIFY(catalogue.LoadServerCatalogue());
        QCOMPARE(catalogue.ServerList().size(), 3);
        QCOMPARE(catalogue.ServerList().at(0), (ServerEntry{QStringLiteral("Oficina"), localServer_, QString()}));
        QCOMPARE(catalogue.ServerList().at(2).RutaAcceso, QStringLiteral("D:\\Quillbase"));
        QCOMPARE(catalogue.SelectedServer(), 0);
        QCOMPARE(catalogue.CompanyList(),
                 (QList<CompanyEntry>{{QStringLiteral("EMPRESA1")}, {QStringLiteral("Cañas y Compañía")},
                                      {QStringLiteral("ZETA")}}));
        QVERIFY(companiesChanged.count() >= 2);
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(!data.IBDServidores.Connected());
        QVERIFY(!data.IBDEmpresas.Connected());

        // Selecting the remote server reads its catalogue over the network.
        catalogue.SelectServer(1);
        QCOMPARE(catalogue.CompanyList(), QList<CompanyEntry>{{QStringLiteral("REMOTA")}});
        QCOMPARE(data.IBDEmpresas.DatabaseName(), remoteIp_ + QLatin1Char(':') + remoteServer_ + QStringLiteral("/Empresas.gdb"));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void anUnreachableServerLeavesItsListEmpty() {
        WriteServers({{QStringLiteral("Oficina"), localServer_, QString()},
                      {QStringLiteral("Apagado"), QStringLiteral("/srv/quillbase"), QStringLiteral("127.0.0.250")}});
        FakeDialogs dialogs;
        TData data(remotePassword_);
        TCatalogue catalogue(data);
        QVERIFY(catalogue.LoadServerCatalogue());
        catalogue.SelectServer(1);
        QVERIFY(catalogue.CompanyList().isEmpty());
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages.first().text.endsWith(QStringLiteral("\n\rStatus 0")));
    }

    // Once by the selection of the first server, once by the second reading
    // at start: each box is the engine's error about that server's catalogue.
    void aFailingFirstServerIsReportedTwice() {
        const QString folder = Make(QStringLiteral("vacio/x")).chopped(2);
        WriteServers({{QStringLiteral("Roto"), folder, QString()}});
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        TCatalogue catalogue(data);
        QVERIFY(!catalogue.LoadServerCatalogue());
        QCOMPARE(catalogue.ServerList().size(), 1);
        QCOMPARE(dialogs.messages.size(), 2);
        for (const FakeDialogs::Shown& shown : dialogs.messages) {
            QCOMPARE(shown.title, platform::kAppTitle);
            QCOMPARE(shown.icon, platform::MsgIcon::None);
            QVERIFY2(shown.text.contains(folder + QStringLiteral("/Empresas.gdb")), qPrintable(shown.text));
            QVERIFY2(shown.text.endsWith(QStringLiteral("\n\rStatus 0")), qPrintable(shown.text));
        }
        QCOMPARE(dialogs.messages.at(0).text, dialogs.messages.at(1).text);
        QVERIFY(catalogue.CompanyList().isEmpty());
    }

    void anEmptyServerTableLeavesTheCompanyListAlone() {
        WriteServers({});
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        TCatalogue catalogue(data);
        QVERIFY(catalogue.LoadCompanyCatalogue(localServer_, QString()));
        QCOMPARE(catalogue.CompanyList().size(), 3);
        QVERIFY(catalogue.LoadServerCatalogue());
        QVERIFY(catalogue.ServerList().isEmpty());
        QCOMPARE(catalogue.CompanyList().size(), 3);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void aMissingServerCatalogueIsReported() {
        QFile::remove(installDir_ + QStringLiteral("Servidores.gdb"));
        FakeDialogs dialogs;
        TData data(QStringLiteral("x"));
        TCatalogue catalogue(data);
        QVERIFY(!catalogue.LoadServerCatalogue());
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages.first().text.contains(QStringLiteral("Servidores.gdb")));
        QVERIFY(dialogs.messages.first().text.endsWith(QStringLiteral("\n\rStatus 0")));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
