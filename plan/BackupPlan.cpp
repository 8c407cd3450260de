#include "plan/BackupPlan.h"

#include <algorithm>
#include <optional>

#include "db/ServerPath.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Settings.h"

namespace plantext {

QString ServerText(const ServerEntry& server) {
    return u'[' + server.DireccionIP + u']' + server.Alias;
}

QString CompanyText(const ServerEntry& server, const CompanyEntry& company) {
    return CompanyDirectory(server.RutaAcceso, company.NombreEmpresa);
}

bool IsLocalServer(const QString& serverText) {
    return serverText.size() >= 2 && serverText.at(1) == u']';
}

QString ServerAddress(const QString& serverText) {
    QString address = serverText.left(serverText.indexOf(u']'));
    address.remove(u'[');
    return address;
}

bool IsDestination(const QString& childText) { return childText.contains(kDestinationTag); }

QString DestinationFolder(const QString& childText) {
    return childText.mid(childText.indexOf(u'>') + 1);
}

bool IsTimeMarker(const QString& childText) { return childText.startsWith(kTimeMarkerTag); }

QString CompanyName(const QString& companyText) { return serverpath::LastComponent(companyText); }

QString CompanyOrigin(const QString& companyText) {
    return companyText.left(companyText.size() - CompanyName(companyText).size());
}

bool SameText(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    const auto fold = [](QChar c) {
        return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c;
    };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a.at(i)) != fold(b.at(i))) return false;
    }
    return true;
}

}  // namespace plantext

using namespace plantext;

namespace {

const QString kOrigenValue = QStringLiteral("Origen");
const QString kIpValue = QStringLiteral("IP");
const QString kDestinoValue = QStringLiteral("Destino");
// Missing, empty, "0" or anything but a positive number: every copy is kept.
const QString kConservarValue = QStringLiteral("Conservar");

int ReadConservar(const QString& text) {
    bool ok = false;
    const int copies = text.trimmed().toInt(&ok);
    return ok && copies > 0 ? copies : 0;
}

QString SubKey(const QString& key, const QString& name) { return key + u'\\' + name; }

// The plan's questions are information boxes with Yes and No.
bool AskInformationYesNo(const QString& text) {
    return platform::CurrentDialogs().Message(
               platform::MsgIcon::Information, QStringLiteral("Información"), text,
               platform::MsgButtons::YesNo) == platform::MsgResult::Yes;
}

bool HasChild(const PlanServer& server, const QString& text) {
    for (const QString& child : server.Children) {
        if (SameText(child, text)) return true;
    }
    return false;
}

}  // namespace

QString BackupPlan::Text(const PlanRef& entry) const {
    if (!Contains(entry)) return QString();
    const PlanServer& server = Servers.at(entry.Server);
    return entry.IsServer() ? server.Text : server.Children.at(entry.Child);
}

bool BackupPlan::Contains(const PlanRef& entry) const {
    if (entry.Server < 0 || entry.Server >= Servers.size()) return false;
    return entry.Child < Servers.at(entry.Server).Children.size();
}

int BackupPlan::FindServer(const QString& serverText) const {
    for (int i = 0; i < Servers.size(); ++i) {
        if (SameText(Servers.at(i).Text, serverText)) return i;
    }
    return -1;
}

bool BackupPlan::UsesServer(const QString& serverText) const {
    if (FindServer(serverText) >= 0) return true;
    const platform::SettingsStore store;
    if (!store.KeyExists(kPlanKey)) return false;
    const QStringList stored = store.SubKeys(kPlanKey);
    return std::any_of(stored.cbegin(), stored.cend(),
                       [&](const QString& name) { return SameText(name, serverText); });
}

PlanEntryName BackupPlan::NameOf(const PlanRef& entry) const {
    if (!Contains(entry)) return {};
    const PlanServer& server = Servers.at(entry.Server);
    if (entry.IsServer()) return {server.Text, std::nullopt};
    return {server.Text, server.Children.at(entry.Child)};
}

PlanRef BackupPlan::Find(const PlanEntryName& name) const {
    for (int s = 0; s < Servers.size(); ++s) {
        if (Servers.at(s).Text != name.Server) continue;
        if (!name.Child) return PlanRef::ServerEntry(s);
        const qsizetype child = Servers.at(s).Children.indexOf(*name.Child);
        if (child >= 0) return PlanRef::ChildEntry(s, static_cast<int>(child));
    }
    return PlanRef();
}

int BackupPlan::AppendServer(const QString& serverText) {
    Servers.append(PlanServer{serverText, {}, false});
    return static_cast<int>(Servers.size()) - 1;
}

void BackupPlan::LoadPlan() {
    Servers.clear();
    CurrentServerEntry = -1;
    CurrentChildEntry = PlanRef();
    SelectedEntry = PlanRef();

    // One reading of the store for the whole plan; over before any message
    // box, whose event loop may run other changes of the store.
    std::optional<platform::SettingsBatch> snapshot(std::in_place);
    const platform::SettingsStore store;
    const QStringList serverNames =
        store.KeyExists(kPlanKey) ? store.SubKeys(kPlanKey) : QStringList();

    // The stored values of each server, in the order of serverNames.
    struct recordservidores {
        QString origen;
        QString ip;
        QString destino;
    };
    QList<recordservidores> stored;
    for (const QString& name : serverNames) {
        const int server = AppendServer(name);
        const QString key = SubKey(kPlanKey, name);
        Servers[server].Conservar = ReadConservar(store.ReadString(key, kConservarValue));
        stored.append({store.ReadString(key, kOrigenValue), store.ReadString(key, kIpValue),
                       store.ReadString(key, kDestinoValue)});
    }

    for (int i = 0; i < serverNames.size(); ++i) {
        const QStringList companies = store.SubKeys(SubKey(kPlanKey, serverNames.at(i)));
        for (int c = 0; c < companies.size(); ++c) {
            const int server = FindServer(serverNames.at(i));
            if (server < 0) continue;
            QStringList& children = Servers[server].Children;
            if (c == 0) children.append(kDestinationTag + stored.at(i).destino);
            children.append(stored.at(i).origen + companies.at(c));
        }
    }

    snapshot.reset();
    for (PlanServer& server : Servers) server.Expanded = true;

    if (!PlanDestinationsComplete()) platform::ShowInformation(kMissingDestinationWarning);
}

void BackupPlan::SavePlan() {
    if (!PlanDestinationsComplete()) platform::ShowInformation(kMissingDestinationWarning);

    // Whatever happens, the plan counts as saved afterwards.
    struct Saved {
        BackupPlan& plan;
        ~Saved() { plan.PlanModified = false; }
    } saved{*this};

    // One write of the store for the whole plan, and none when something
    // fails on the way: the plan stored before stays as it was.
    const platform::WaitCursor busy;
    platform::SettingsBatch batch;
    DeletePlanKey(kPlanKey);

    platform::SettingsStore store;
    for (const PlanServer& server : Servers) {
        const QString serverKey = SubKey(kPlanKey, server.Text);
        store.CreateKey(serverKey);
        store.WriteString(serverKey, kOrigenValue, QString());
        store.WriteString(serverKey, kIpValue, ServerAddress(server.Text));
        store.WriteString(serverKey, kDestinoValue, QString());
        // Written only when set: a plan that keeps every copy is stored as before.
        if (server.Conservar > 0) {
            store.WriteString(serverKey, kConservarValue, QString::number(server.Conservar));
        }
        bool firstCompany = true;
        for (const QString& child : server.Children) {
            if (IsDestination(child)) {
                store.WriteString(serverKey, kDestinoValue, DestinationFolder(child));
                continue;
            }
            if (firstCompany) {
                store.WriteString(serverKey, kOrigenValue, CompanyOrigin(child));
                firstCompany = false;
            }
            const QString companyKey = SubKey(serverKey, CompanyName(child));
            store.CreateKey(companyKey);
            store.WriteString(companyKey, QString(), QString());
        }
    }
    batch.Commit();
}

void BackupPlan::DeletePlanKey(const QString& keyPath) {
    platform::SettingsStore store;
    if (store.KeyExists(keyPath)) store.DeleteKey(keyPath);
}

bool BackupPlan::PlanDestinationsComplete() const {
    for (const PlanServer& server : Servers) {
        for (const QString& child : server.Children) {
            if (SameText(child, kDestinationTag)) return false;
        }
    }
    return true;
}

void BackupPlan::AddServerToPlan(const ServerEntry& server, const QList<CompanyEntry>& companies) {
    PlanModified = true;
    const QString serverText = ServerText(server);
    const int found = FindServer(serverText);
    if (found >= 0) {
        for (const CompanyEntry& company : companies) {
            const QString companyText = CompanyText(server, company);
            if (!HasChild(Servers.at(found), companyText)) {
                Servers[found].Children.append(companyText);
            }
        }
        return;
    }

    const int added = AppendServer(serverText);
    SelectedEntry = PlanRef::ServerEntry(added);
    QStringList& children = Servers[added].Children;
    children.append(kDestinationTag);
    for (const CompanyEntry& company : companies) children.append(CompanyText(server, company));
}

void BackupPlan::AddCompanyToPlan(const ServerEntry& server, const CompanyEntry& company) {
    PlanModified = true;
    const QString serverText = ServerText(server);
    const QString companyText = CompanyText(server, company);
    const int found = FindServer(serverText);
    if (found >= 0) {
        SelectedEntry = PlanRef::ServerEntry(found);
        if (!HasChild(Servers.at(found), companyText)) {
            Servers[found].Children.append(companyText);
        }
        return;
    }

    const int added = AppendServer(serverText);
    SelectedEntry = PlanRef::ServerEntry(added);
    Servers[added].Children = QStringList{kDestinationTag, companyText};
}

void BackupPlan::DeletePlanEntry() {
    const bool serverSet = CurrentServerEntry >= 0 && CurrentServerEntry < Servers.size();
    if (serverSet && Contains(CurrentChildEntry)) {
        const PlanEntryName asked = NameOf(CurrentChildEntry);
        const QString childText = Text(CurrentChildEntry);
        if (IsDestination(childText)) return;
        if (!AskInformationYesNo(QStringLiteral("Desea eliminar :  ") + childText +
                                 QStringLiteral("  de esta configuración"))) {
            return;
        }
        const PlanRef entry = Find(asked);
        if (entry.IsNone()) return;
        if (entry.IsServer()) {
            Servers.removeAt(entry.Server);
        } else {
            Servers[entry.Server].Children.removeAt(entry.Child);
        }
        PlanModified = true;
    } else if (serverSet) {
        const PlanEntryName asked = NameOf(PlanRef::ServerEntry(CurrentServerEntry));
        if (!AskInformationYesNo(QStringLiteral("Desea eliminar todo el servidor :  ") +
                                 asked.Server + QStringLiteral("  de esta configuración"))) {
            return;
        }
        const PlanRef entry = Find(asked);
        if (entry.IsNone()) return;
        Servers.removeAt(entry.Server);
        PlanModified = true;
    }

    // Whatever was deleted, the first server entry becomes the current one.
    if (Servers.isEmpty()) {
        SelectedEntry = PlanRef();
        CurrentServerEntry = -1;
    } else {
        SelectedEntry = PlanRef::ServerEntry(0);
        CurrentServerEntry = 0;
    }
    CurrentChildEntry = PlanRef();
}

void BackupPlan::SetPlanDestination(const QString& folder) {
    if (!CurrentChildEntry.IsChild() || !IsDestination(Text(CurrentChildEntry))) return;
    Servers[CurrentChildEntry.Server].Children[CurrentChildEntry.Child] = kDestinationTag + folder;
    PlanModified = true;
}

void BackupPlan::SetPlanConservar(int copies) {
    if (!CurrentChildEntry.IsChild() || !IsDestination(Text(CurrentChildEntry))) return;
    int& stored = Servers[CurrentChildEntry.Server].Conservar;
    const int kept = std::max(copies, 0);
    if (stored == kept) return;
    stored = kept;
    PlanModified = true;
}

void BackupPlan::PickEntry(const PlanRef& entry) {
    CurrentChildEntry = PlanRef();
    CurrentServerEntry = -1;
    if (!Contains(entry)) return;
    CurrentChildEntry = entry;
    SelectedEntry = entry;
    if (entry.IsChild()) CurrentServerEntry = entry.Server;
}

bool BackupPlan::ClickSelectedEntry() {
    if (!Contains(SelectedEntry)) return false;
    CurrentServerEntry = SelectedEntry.Server;
    if (SelectedEntry.IsServer()) {
        CurrentChildEntry = PlanRef();
        return false;
    }
    CurrentChildEntry = SelectedEntry;
    return IsDestination(Text(SelectedEntry));
}
