#pragma once
// The backup plan: which servers and companies are backed up, and into which
// folder each server's backups go. A two-level tree of text entries, stored
// in the user's settings under "...\1.0\backup\servers".
//
// Server entry:      "[" + address + "]" + alias ("[]Oficina" is local)
// Destination entry: "<DESTINO>" + folder ("<DESTINO>" alone: none chosen)
// Company entry:     the company directory on the server's computer
// Time marker:       a child that begins with "<HORA>" (never created here)
//
// The plan knows nothing of windows: the selection window shows it one to
// one and turns clicks and drops into the operations below.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/Catalogue.h"

// One entry of the tree: a server (Child == -1) or one of its children;
// Server == -1 is no entry at all.
struct PlanRef {
    int Server = -1;
    int Child = -1;

    static PlanRef ServerEntry(int server) { return PlanRef{server, -1}; }
    static PlanRef ChildEntry(int server, int child) { return PlanRef{server, child}; }

    bool IsNone() const { return Server < 0; }
    bool IsServer() const { return Server >= 0 && Child < 0; }
    bool IsChild() const { return Server >= 0 && Child >= 0; }
    bool operator==(const PlanRef&) const = default;
};

// An entry named by its texts, which stay true where its indexes may not.
struct PlanEntryName {
    QString Server;
    std::optional<QString> Child;  // none: the server entry itself
};

struct PlanServer {
    QString Text;
    QStringList Children;
    // Shown with its children visible. A display state, not part of the plan:
    // two plans are equal when their texts and their numbers of copies are.
    bool Expanded = false;
    // How many backups of each company are kept in the destination folder
    // after a good backup; 0 keeps them all. Stored beside "Destino".
    int Conservar = 0;

    bool operator==(const PlanServer& other) const {
        return Text == other.Text && Children == other.Children && Conservar == other.Conservar;
    }
};

inline const QString kPlanKey =
    QStringLiteral("Software\\Orvalenta Software\\Quillbase\\1.0\\backup\\servers");
inline const QString kDestinationTag = QStringLiteral("<DESTINO>");
inline const QString kTimeMarkerTag = QStringLiteral("<HORA>");
inline const QString kMissingDestinationWarning =
    QStringLiteral("ATENCION, existen servidores sin DESTINO para hacer la copia");

// Rules read off the entries' texts.
namespace plantext {
QString ServerText(const ServerEntry& server);  // "[" + DireccionIP + "]" + Alias
QString CompanyText(const ServerEntry& server, const CompanyEntry& company);
bool IsLocalServer(const QString& serverText);        // second character is "]"
QString ServerAddress(const QString& serverText);     // up to the first "]", without "["
bool IsDestination(const QString& childText);         // contains "<DESTINO>"
QString DestinationFolder(const QString& childText);  // after the first ">"
bool IsTimeMarker(const QString& childText);          // begins with "<HORA>"
// A company directory split at its last "\", "/" or ":": the directory part
// keeps that character, the name is what follows it.
QString CompanyOrigin(const QString& companyText);
QString CompanyName(const QString& companyText);
// Equal but for the case of the letters a to z.
bool SameText(const QString& a, const QString& b);
}  // namespace plantext

class BackupPlan {
public:
    QList<PlanServer> Servers;

    // Editing state while the selection window exists.
    // The server entry last picked (directly or as the parent of the picked
    // child), or -1.
    int CurrentServerEntry = -1;
    // The entry last picked by a press of any mouse button; normally a child,
    // but a press on a server entry that no click follows leaves the server
    // entry itself here.
    PlanRef CurrentChildEntry;
    // The entry the tree shows as selected.
    PlanRef SelectedEntry;
    bool PlanModified = false;

    QString Text(const PlanRef& entry) const;
    bool Contains(const PlanRef& entry) const;
    // The first server entry whose text matches, or -1.
    int FindServer(const QString& serverText) const;
    // The server entry is in this plan or in the stored one.
    bool UsesServer(const QString& serverText) const;
    // The texts of an entry, and where the entry with those texts stands
    // now (none when it is gone). A modal question lets other handlers run,
    // and the scheduled walk leaves the editing state on the last company it
    // backed up: what was asked about is found again by its texts.
    PlanEntryName NameOf(const PlanRef& entry) const;
    PlanRef Find(const PlanEntryName& name) const;

    // Rebuilds the plan from the store, all of it expanded, and warns about
    // servers without a destination.
    void LoadPlan();
    // Replaces the store with the plan.
    void SavePlan();
    static void DeletePlanKey(const QString& keyPath);
    bool PlanDestinationsComplete() const;
    void AddServerToPlan(const ServerEntry& server, const QList<CompanyEntry>& companies);
    void AddCompanyToPlan(const ServerEntry& server, const CompanyEntry& company);
    // Asks before deleting; the destination entry is never deleted. The
    // entry named in the question is the one deleted, if it still exists.
    void DeletePlanEntry();
    // Only a destination entry takes a folder.
    void SetPlanDestination(const QString& folder);
    // The number of copies kept, for the server of the current destination
    // entry; 0 (or less) keeps them all.
    void SetPlanConservar(int copies);

    // A press of a mouse button on an entry, or on no entry at all.
    void PickEntry(const PlanRef& entry);
    // A click of the primary button: the selected entry becomes current.
    // True when it is a destination entry, whose folder is to be edited.
    bool ClickSelectedEntry();

private:
    int AppendServer(const QString& serverText);
};
