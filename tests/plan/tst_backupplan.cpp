// The backup plan without a window: its edit rules and its save and load
// against the real settings file in a scratch configuration folder.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "plan/BackupPlan.h"
#include "platform/Settings.h"
#include "tests/support/FakeDialogs.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QString kCentral = QStringLiteral("[192.168.1.20]Central");
const QString kOficina = QStringLiteral("[]Oficina");

const ServerEntry kCentralServer{QStringLiteral("Central"), QStringLiteral("C:\\Quillbase"),
                                 QStringLiteral("192.168.1.20")};
const ServerEntry kLinuxServer{QStringLiteral("Oficina"), QStringLiteral("/srv/quillbase"),
                               QString()};

QList<CompanyEntry> Companies(const QStringList& names) {
    QList<CompanyEntry> companies;
    for (const QString& name : names) companies.append(CompanyEntry{name});
    return companies;
}

QJsonObject JsonKey(const QJsonObject& values, const QJsonObject& keys = {}) {
    return QJsonObject{{QStringLiteral("values"), values}, {QStringLiteral("keys"), keys}};
}

QJsonObject Company() { return JsonKey({{QString(), QString()}}); }

QJsonObject StoredServer(const QString& origen, const QString& ip, const QString& destino,
                         const QStringList& companies) {
    QJsonObject keys;
    for (const QString& company : companies) keys.insert(company, Company());
    return JsonKey({{QStringLiteral("Origen"), origen},
                    {QStringLiteral("IP"), ip},
                    {QStringLiteral("Destino"), destino}},
                   keys);
}

// The whole settings file as a JSON object.
QJsonObject StoredDocument() {
    QFile file(platform::SettingsStore::FilePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The file as it must be when it holds only the given servers key.
QJsonObject DocumentWithServers(const QJsonObject& servers) {
    return JsonKey(
        {}, {{QStringLiteral("1.0"),
              JsonKey({}, {{QStringLiteral("backup"),
                            JsonKey({}, {{QStringLiteral("servers"), JsonKey({}, servers)}})}})}});
}

PlanServer Server(const QString& text, const QStringList& children) {
    return PlanServer{text, children, false};
}

// Message boxes during which other handlers run, as in a modal box's own
// event loop.
class BusyDialogs : public FakeDialogs {
public:
    std::function<void()> meanwhile;

    MsgResult Message(MsgIcon icon, const QString& title, const QString& text,
                      MsgButtons buttons) override {
        if (meanwhile) meanwhile();
        return FakeDialogs::Message(icon, title, text, buttons);
    }
};

}  // namespace

class TestBackupPlan : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> configHome_;

    static BackupPlan Reloaded(FakeDialogs& dialogs) {
        const qsizetype before = dialogs.messages.size();
        BackupPlan plan;
        plan.LoadPlan();
        // Loading never asks anything: at most it warns.
        for (qsizetype i = before; i < dialogs.messages.size(); ++i) {
            if (dialogs.messages.at(i).buttons != MsgButtons::Ok) return BackupPlan();
        }
        return plan;
    }

private slots:
    void init() {
        configHome_ = std::make_unique<QTemporaryDir>();
        QVERIFY(configHome_->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_->path()));
    }

    void savesInTheStoreFormatAndReloadsInEnumerationOrder() {
        FakeDialogs dialogs;
        BackupPlan plan;
        plan.Servers = {Server(kOficina, {QStringLiteral("<DESTINO>"),
                                          QStringLiteral("/srv/quillbase/EMPRESA1")}),
                        Server(kCentral, {QStringLiteral("<DESTINO>D:\\Copias"),
                                          QStringLiteral("C:\\Quillbase\\EMPRESA2"),
                                          QStringLiteral("C:\\Quillbase\\EMPRESA1")})};
        plan.PlanModified = true;
        plan.SavePlan();
        QVERIFY(!plan.PlanModified);
        QCOMPARE(dialogs.texts(), QStringList{kMissingDestinationWarning});
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Information);
        QCOMPARE(dialogs.messages.first().title, QStringLiteral("Información"));

        QCOMPARE(StoredDocument(),
                 DocumentWithServers(
                     {{kCentral,
                       StoredServer(QStringLiteral("C:\\Quillbase\\"),
                                    QStringLiteral("192.168.1.20"), QStringLiteral("D:\\Copias"),
                                    {QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")})},
                      {kOficina, StoredServer(QStringLiteral("/srv/quillbase/"), QString(),
                                              QString(), {QStringLiteral("EMPRESA1")})}}));

        // "[1" sorts before "[]"; companies come back sorted as well.
        dialogs.messages.clear();
        const BackupPlan reloaded = Reloaded(dialogs);
        QCOMPARE(
            reloaded.Servers,
            (QList<PlanServer>{Server(kCentral, {QStringLiteral("<DESTINO>D:\\Copias"),
                                                 QStringLiteral("C:\\Quillbase\\EMPRESA1"),
                                                 QStringLiteral("C:\\Quillbase\\EMPRESA2")}),
                               Server(kOficina, {QStringLiteral("<DESTINO>"),
                                                 QStringLiteral("/srv/quillbase/EMPRESA1")})}));
        QVERIFY(reloaded.Servers.at(0).Expanded && reloaded.Servers.at(1).Expanded);
        QVERIFY(!reloaded.PlanModified);
        QCOMPARE(dialogs.texts(), QStringList{kMissingDestinationWarning});
    }

    void addressesWithPortsAndSeparatorsInNamesSurviveAsTheStoreAllows() {
        FakeDialogs dialogs;
        const QString withPort = QStringLiteral("[127.0.0.1/3051]Central");
        BackupPlan plan;
        plan.Servers = {Server(withPort, {QStringLiteral("<DESTINO>/var/copias"),
                                          QStringLiteral("C:\\Quillbase\\EMPRESA1"),
                                          QStringLiteral("C:\\Quillbase\\Uno:Dos"),
                                          QStringLiteral("C:\\Quillbase\\Tres\\Cuatro")})};
        plan.SavePlan();
        QVERIFY(dialogs.messages.isEmpty());

        const QJsonObject servers = StoredDocument()
                                        .value(QStringLiteral("keys"))
                                        .toObject()
                                        .value(QStringLiteral("1.0"))
                                        .toObject()
                                        .value(QStringLiteral("keys"))
                                        .toObject()
                                        .value(QStringLiteral("backup"))
                                        .toObject()
                                        .value(QStringLiteral("keys"))
                                        .toObject()
                                        .value(QStringLiteral("servers"))
                                        .toObject()
                                        .value(QStringLiteral("keys"))
                                        .toObject();
        QCOMPARE(servers.keys(), QStringList{withPort});
        QCOMPARE(servers.value(withPort).toObject(),
                 StoredServer(QStringLiteral("C:\\Quillbase\\"), QStringLiteral("127.0.0.1/3051"),
                              QStringLiteral("/var/copias"),
                              {QStringLiteral("Cuatro"), QStringLiteral("Dos"),
                               QStringLiteral("EMPRESA1")}));

        // The server text comes back whole; a company name keeps only what
        // follows its last separator.
        const BackupPlan reloaded = Reloaded(dialogs);
        QCOMPARE(reloaded.Servers,
                 QList<PlanServer>{Server(withPort, {QStringLiteral("<DESTINO>/var/copias"),
                                                     QStringLiteral("C:\\Quillbase\\Cuatro"),
                                                     QStringLiteral("C:\\Quillbase\\Dos"),
                                                     QStringLiteral("C:\\Quillbase\\EMPRESA1")})});
        QVERIFY(!plantext::IsLocalServer(withPort));
        QCOMPARE(plantext::ServerAddress(withPort), QStringLiteral("127.0.0.1/3051"));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void anEmptyPlanRemovesTheKeyAndLoadsSilently() {
        FakeDialogs dialogs;
        platform::SettingsStore store;
        const QString schedule =
            QStringLiteral("Software\\Orvalenta Software\\Quillbase\\1.0\\backup\\programacion");
        store.WriteString(schedule, QStringLiteral("dias"), QStringLiteral("246"));

        BackupPlan plan;
        plan.AddServerToPlan(kCentralServer, Companies({QStringLiteral("EMPRESA1")}));
        plan.SavePlan();
        QVERIFY(store.KeyExists(kPlanKey));

        plan.Servers.clear();
        plan.PlanModified = true;
        plan.SavePlan();
        QVERIFY(!plan.PlanModified);
        QVERIFY(!store.KeyExists(kPlanKey));
        QCOMPARE(store.ReadString(schedule, QStringLiteral("dias")), QStringLiteral("246"));

        dialogs.messages.clear();
        BackupPlan reloaded;
        reloaded.LoadPlan();
        QVERIFY(reloaded.Servers.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(reloaded.PlanDestinationsComplete());
    }

    // The number of copies kept rides beside "Destino": read where it is a
    // positive number, written only where it is set, so that a plan without
    // it is stored as older programs store it (see the test above).
    void conservarRoundTripsBesideTheDestination() {
        FakeDialogs dialogs;
        platform::SettingsStore store;
        const QStringList servers{kCentral, kOficina, QStringLiteral("[]Otro")};
        const QStringList conservar{QStringLiteral("3"), QStringLiteral("-2"), QString()};
        for (int i = 0; i < servers.size(); ++i) {
            const QString key = kPlanKey + u'\\' + servers[i];
            store.WriteString(key, QStringLiteral("Destino"), QStringLiteral("/copias"));
            if (!conservar[i].isNull())
                store.WriteString(key, QStringLiteral("Conservar"), conservar[i]);
            store.WriteString(key + QStringLiteral("\\E"), QString(), QString());
        }
        BackupPlan plan = Reloaded(dialogs);
        QCOMPARE((QList<int>{plan.Servers[0].Conservar, plan.Servers[1].Conservar,
                             plan.Servers[2].Conservar}),
                 (QList<int>{3, 0, 0}));

        // Only through a destination entry, and only a change counts as one.
        const std::tuple<PlanRef, int, bool> changes[] = {{PlanRef::ChildEntry(2, 1), 5, false},
                                                          {PlanRef::ChildEntry(0, 0), 3, false},
                                                          {PlanRef::ChildEntry(2, 0), 2, true}};
        for (const auto& [entry, copies, modified] : changes) {
            plan.PickEntry(entry);
            plan.ClickSelectedEntry();
            plan.SetPlanConservar(copies);
            QCOMPARE(plan.PlanModified, modified);
        }
        plan.SavePlan();
        QStringList stored;
        for (const QString& server : servers)
            stored << store.ReadString(kPlanKey + u'\\' + server, QStringLiteral("Conservar"));
        QCOMPARE(stored, (QStringList{QStringLiteral("3"), QString(), QStringLiteral("2")}));
        QCOMPARE(Reloaded(dialogs).Servers, plan.Servers);
    }

    void aServerWithoutCompaniesComesBackBareAndIsFilledByTheNextDrop() {
        FakeDialogs dialogs;
        BackupPlan plan;
        plan.AddServerToPlan(kCentralServer, Companies({QStringLiteral("EMPRESA1")}));
        plan.PickEntry(PlanRef::ChildEntry(0, 0));
        plan.SetPlanDestination(QStringLiteral("D:\\Copias"));
        plan.PickEntry(PlanRef::ChildEntry(0, 1));
        plan.DeletePlanEntry();
        QCOMPARE(plan.Servers.at(0).Children, QStringList{QStringLiteral("<DESTINO>D:\\Copias")});
        plan.SavePlan();

        const QJsonObject stored = StoredServer(QString(), QStringLiteral("192.168.1.20"),
                                                QStringLiteral("D:\\Copias"), {});
        QCOMPARE(StoredDocument(), DocumentWithServers({{kCentral, stored}}));

        dialogs.messages.clear();
        BackupPlan reloaded = Reloaded(dialogs);
        QCOMPARE(reloaded.Servers, QList<PlanServer>{Server(kCentral, {})});
        QVERIFY(reloaded.PlanDestinationsComplete());
        QVERIFY(dialogs.messages.isEmpty());

        reloaded.AddServerToPlan(
            kCentralServer, Companies({QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
        QCOMPARE(reloaded.Servers.at(0).Children,
                 (QStringList{QStringLiteral("C:\\Quillbase\\EMPRESA1"),
                              QStringLiteral("C:\\Quillbase\\EMPRESA2")}));
        QVERIFY(reloaded.PlanModified);
    }

    void mergesIgnoreTheCaseOfAToZOnly() {
        FakeDialogs dialogs;
        BackupPlan plan;
        plan.AddServerToPlan(kCentralServer,
                             Companies({QStringLiteral("EMPRESA1"), QStringLiteral("Año")}));
        QCOMPARE(plan.SelectedEntry, PlanRef::ServerEntry(0));
        QVERIFY(!plan.Servers.at(0).Expanded);
        plan.SelectedEntry = PlanRef();

        // The same server in other letters: only the companies it lacks.
        const ServerEntry shouted{QStringLiteral("CENTRAL"), QStringLiteral("c:\\QUILLBASE"),
                                  QStringLiteral("192.168.1.20")};
        plan.AddServerToPlan(shouted, Companies({QStringLiteral("empresa1"), QStringLiteral("AÑO"),
                                                 QStringLiteral("Nueva")}));
        QCOMPARE(plan.Servers.size(), 1);
        QCOMPARE(
            plan.Servers.at(0).Children,
            (QStringList{QStringLiteral("<DESTINO>"), QStringLiteral("C:\\Quillbase\\EMPRESA1"),
                         QStringLiteral("C:\\Quillbase\\Año"), QStringLiteral("c:\\QUILLBASE\\AÑO"),
                         QStringLiteral("c:\\QUILLBASE\\Nueva")}));
        // Dropping a known server does not select it.
        QCOMPARE(plan.SelectedEntry, PlanRef());

        plan.PlanModified = false;
        plan.AddServerToPlan(kCentralServer, Companies({QStringLiteral("nueva")}));
        QCOMPARE(plan.Servers.at(0).Children.size(), 5);
        QVERIFY(plan.PlanModified);

        plan.AddCompanyToPlan(shouted, CompanyEntry{QStringLiteral("empresa1")});
        QCOMPARE(plan.Servers.at(0).Children.size(), 5);
        QCOMPARE(plan.SelectedEntry, PlanRef::ServerEntry(0));

        // A company of a server not in the plan brings the server with it.
        plan.AddCompanyToPlan(kLinuxServer, CompanyEntry{QStringLiteral("EMPRESA1")});
        QCOMPARE(plan.Servers.at(1), Server(kOficina, {QStringLiteral("<DESTINO>"),
                                                       QStringLiteral("/srv/quillbase/EMPRESA1")}));
        QCOMPARE(plan.SelectedEntry, PlanRef::ServerEntry(1));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void destinationsAreMissingOnlyWhileNoneIsChosen() {
        BackupPlan plan;
        QVERIFY(plan.PlanDestinationsComplete());
        plan.Servers = {Server(kCentral, {QStringLiteral("<DESTINO>D:\\Copias")}),
                        Server(kOficina, {})};
        QVERIFY(plan.PlanDestinationsComplete());
        plan.Servers[1].Children = {QStringLiteral("<destino>"), QStringLiteral("C:\\Q\\E")};
        QVERIFY(!plan.PlanDestinationsComplete());
        plan.Servers[1].Children[0] = QStringLiteral("<DESTINO> ");
        QVERIFY(plan.PlanDestinationsComplete());
    }

    void deletingAsksAndNeverRemovesTheDestination() {
        FakeDialogs dialogs;
        BackupPlan plan;
        plan.Servers = {
            Server(kCentral, {QStringLiteral("<DESTINO>D:\\Copias"),
                              QStringLiteral("C:\\Quillbase\\EMPRESA1")}),
            Server(kOficina, {QStringLiteral("<DESTINO>"), QStringLiteral("C:\\Q\\A")})};

        // The destination entry: nothing at all happens.
        plan.PickEntry(PlanRef::ChildEntry(1, 0));
        plan.DeletePlanEntry();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(plan.CurrentChildEntry, PlanRef::ChildEntry(1, 0));
        QVERIFY(!plan.PlanModified);

        // A company, answered No, then Yes.
        plan.PickEntry(PlanRef::ChildEntry(1, 1));
        dialogs.answers.enqueue(MsgResult::No);
        plan.DeletePlanEntry();
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().text,
                 QStringLiteral("Desea eliminar :  C:\\Q\\A  de esta configuración"));
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Information);
        QCOMPARE(dialogs.messages.first().title, QStringLiteral("Información"));
        QCOMPARE(dialogs.messages.first().buttons, MsgButtons::YesNo);
        QCOMPARE(plan.Servers.at(1).Children.size(), 2);
        QCOMPARE(plan.CurrentChildEntry, PlanRef::ChildEntry(1, 1));

        plan.DeletePlanEntry();
        QCOMPARE(plan.Servers.at(1).Children, QStringList{QStringLiteral("<DESTINO>")});
        QVERIFY(plan.PlanModified);
        QCOMPARE(plan.SelectedEntry, PlanRef::ServerEntry(0));
        QCOMPARE(plan.CurrentServerEntry, 0);
        QCOMPARE(plan.CurrentChildEntry, PlanRef());

        // A whole server, picked with a click.
        plan.PickEntry(PlanRef::ServerEntry(1));
        QCOMPARE(plan.CurrentServerEntry, -1);
        QCOMPARE(plan.CurrentChildEntry, PlanRef::ServerEntry(1));
        QVERIFY(!plan.ClickSelectedEntry());
        QCOMPARE(plan.CurrentServerEntry, 1);
        QCOMPARE(plan.CurrentChildEntry, PlanRef());
        plan.DeletePlanEntry();
        QCOMPARE(
            dialogs.messages.last().text,
            QStringLiteral("Desea eliminar todo el servidor :  []Oficina  de esta configuración"));
        QCOMPARE(plan.Servers.size(), 1);

        // A server picked by a press alone is asked about by nobody: the
        // first server just becomes the current one.
        dialogs.messages.clear();
        plan.PickEntry(PlanRef::ServerEntry(0));
        plan.DeletePlanEntry();
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(plan.CurrentServerEntry, 0);

        plan.DeletePlanEntry();
        QVERIFY(plan.Servers.isEmpty());
        QCOMPARE(plan.SelectedEntry, PlanRef());
        QCOMPARE(plan.CurrentServerEntry, -1);
    }

    // Other handlers run while the question is open (the scheduled walk
    // among them, which moves the editing state): the answer acts on the
    // entry named in the question, wherever it stands now, or on nothing.
    void theAnswerActsOnTheEntryAskedAbout() {
        BusyDialogs dialogs;
        BackupPlan plan;
        const QString a = QStringLiteral("C:\\Q\\A");
        const QString b = QStringLiteral("C:\\Q\\B");
        plan.Servers = {Server(kOficina, {QStringLiteral("<DESTINO>"), a, b})};

        plan.PickEntry(PlanRef::ChildEntry(0, 1));
        dialogs.meanwhile = [&] {
            plan.Servers.prepend(Server(kCentral, {QStringLiteral("<DESTINO>")}));
            plan.CurrentServerEntry = 1;
            plan.CurrentChildEntry = PlanRef::ChildEntry(1, 2);
        };
        plan.DeletePlanEntry();
        QCOMPARE(plan.Servers.at(1).Children, (QStringList{QStringLiteral("<DESTINO>"), b}));

        // Gone meanwhile: nothing changes.
        plan.PlanModified = false;
        plan.PickEntry(PlanRef::ChildEntry(1, 1));
        dialogs.meanwhile = [&] { plan.Servers[1].Children.removeLast(); };
        plan.DeletePlanEntry();
        QCOMPARE(plan.Servers.at(1).Children, QStringList{QStringLiteral("<DESTINO>")});
        plan.PickEntry(PlanRef::ServerEntry(0));
        QVERIFY(!plan.ClickSelectedEntry());
        dialogs.meanwhile = [&] { plan.Servers.removeFirst(); };
        plan.DeletePlanEntry();
        QCOMPARE(plan.Servers, QList<PlanServer>{Server(kOficina, {QStringLiteral("<DESTINO>")})});
        QVERIFY(!plan.PlanModified);

        // A folder never turns a company into a destination.
        plan.Servers[0].Children.append(a);
        plan.PickEntry(PlanRef::ChildEntry(0, 1));
        plan.SetPlanDestination(QStringLiteral("D:\\Otra"));
        QCOMPARE(plan.Servers.at(0).Children, (QStringList{QStringLiteral("<DESTINO>"), a}));
        QVERIFY(!plan.PlanModified);
    }

    void aStoreThatCannotBeWrittenStillCountsAsSaved() {
        FakeDialogs dialogs;
        QVERIFY(QDir().mkpath(QFileInfo(platform::SettingsStore::FilePath()).absolutePath()));
        QFile damaged(platform::SettingsStore::FilePath());
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{ not json");
        damaged.close();

        BackupPlan plan;
        plan.AddServerToPlan(kCentralServer, Companies({QStringLiteral("EMPRESA1")}));
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, plan.SavePlan());
        QVERIFY(!plan.PlanModified);
    }
};

QTEST_GUILESS_MAIN(TestBackupPlan)
#include "tst_backupplan.moc"
