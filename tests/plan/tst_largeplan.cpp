// A plan of fifty servers with twenty companies each, the size of a large
// installation: saved to the real settings file, loaded back and shown in
// the backup selection window (offscreen) without losing or changing an
// entry. The time each step takes is printed for whoever reads the log;
// nothing is asserted about it.

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "plan/FBackupForm.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

namespace {

constexpr int kServers = 50;
constexpr int kCompanies = 20;

// The store lists subkeys by name without regard to case, and so the plan
// comes back in that order.
bool StoreOrder(const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

// Servers local and remote, with accents, spaces and mixed letter case in
// their aliases; companies in Windows folders of their server.
QList<PlanServer> LargePlan() {
    QList<PlanServer> servers;
    for (int s = 1; s <= kServers; ++s) {
        const QString alias =
            QStringLiteral("%1 Nº%2 Peña")
                .arg(s % 2 == 0 ? QStringLiteral("sucursal") : QStringLiteral("Sucursal"))
                .arg(s, 2, 10, QLatin1Char('0'));
        const QString address =
            s % 10 == 0 ? QString() : QStringLiteral("192.168.%1.%2").arg(s / 10).arg(s);
        const QString origin = QStringLiteral("C:\\Quillbase %1\\").arg(s);
        PlanServer server{QStringLiteral("[%1]%2").arg(address, alias),
                          {kDestinationTag + QStringLiteral("D:\\Copias\\Sucursal %1").arg(s)}};
        QStringList companies;
        for (int c = 1; c <= kCompanies; ++c)
            companies.append(origin +
                             QStringLiteral("Empresa %1 Ñandú").arg(c, 2, 10, QLatin1Char('0')));
        std::sort(companies.begin(), companies.end(), StoreOrder);
        server.Children += companies;
        servers.append(server);
    }
    std::sort(servers.begin(), servers.end(),
              [](const PlanServer& a, const PlanServer& b) { return StoreOrder(a.Text, b.Text); });
    return servers;
}

QList<PlanServer> Shown(const QTreeWidget* tree, bool* allExpanded) {
    QList<PlanServer> servers;
    *allExpanded = true;
    for (int s = 0; s < tree->topLevelItemCount(); ++s) {
        const QTreeWidgetItem* item = tree->topLevelItem(s);
        PlanServer server{item->text(0), {}};
        for (int c = 0; c < item->childCount(); ++c)
            server.Children.append(item->child(c)->text(0));
        *allExpanded = *allExpanded && item->isExpanded();
        servers.append(server);
    }
    return servers;
}

}  // namespace

class TestLargePlan : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    std::unique_ptr<TData> data_;

private slots:
    void initTestCase() {
        QVERIFY(scratch_.isValid());
        const QString server = scratch_.filePath(QStringLiteral("servidor"));
        const QString install = scratch_.filePath(QStringLiteral("instalacion"));
        QVERIFY(QDir().mkpath(server) && QDir().mkpath(install));
        QVERIFY(MakeCompanyCatalogue(server + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("EMPRESA1")}));
        QVERIFY(MakeServerCatalogue(install + QStringLiteral("/Servidores.gdb"),
                                    {{QStringLiteral("Oficina"), server, QString()}}));
        platform::SetExecutableDirectory(install);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch_.filePath(QStringLiteral("config"))));
        data_ = std::make_unique<TData>(QStringLiteral("masterkey"));
    }

    void aLargePlanIsSavedLoadedAndShownIntact() {
        FakeDialogs dialogs;
        const QList<PlanServer> expected = LargePlan();
        QElapsedTimer clock;

        BackupPlan saved;
        saved.Servers = expected;
        saved.PlanModified = true;
        clock.start();
        saved.SavePlan();
        qDebug("save of %d servers with %d companies each: %lld ms", kServers, kCompanies,
               clock.elapsed());
        QVERIFY(!saved.PlanModified);
        const QStringList stored = platform::SettingsStore().SubKeys(kPlanKey);
        QCOMPARE(stored.size(), kServers);

        BackupPlan loaded;
        clock.restart();
        loaded.LoadPlan();
        qDebug("load: %lld ms", clock.elapsed());
        QCOMPARE(loaded.Servers.size(), kServers);
        QCOMPARE(loaded.Servers, expected);
        QVERIFY(std::all_of(loaded.Servers.cbegin(), loaded.Servers.cend(),
                            [](const PlanServer& server) { return server.Expanded; }));

        clock.restart();
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        qDebug("backup window created and shown: %lld ms", clock.elapsed());
        QCOMPARE(form.Plan.Servers, expected);
        bool allExpanded = false;
        QCOMPARE(Shown(form.TreeView, &allExpanded), expected);
        QVERIFY(allExpanded);
        QVERIFY(!form.Plan.PlanModified);

        // The last company of the last server is there to be picked.
        QTreeWidgetItem* last = form.ItemOf(PlanRef::ChildEntry(kServers - 1, kCompanies));
        QVERIFY(last != nullptr);
        form.TreeView->scrollToItem(last);
        QCOMPARE(last->text(0), expected.last().Children.last());
        QVERIFY(form.TreeView->visualItemRect(last).isValid());

        // Every destination was chosen: nobody was warned.
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
    }
};

QTEST_MAIN(TestLargePlan)
#include "tst_largeplan.moc"
