#pragma once
// The catalogue of Quillbase servers (Servidores.gdb beside the executable)
// and of one server's companies (its Empresas.gdb): the two lists from which
// the operator builds the backup plan.

#include "db/FData.h"

#include <QList>
#include <QObject>
#include <QString>

struct ServerEntry {
    QString Alias;
    QString RutaAcceso;   // trimmed of a final separator
    QString DireccionIP;  // empty for a server on this computer
    bool operator==(const ServerEntry&) const = default;
};

struct CompanyEntry {
    QString NombreEmpresa;
    bool operator==(const CompanyEntry&) const = default;
};

// "Servidores.gdb" beside the executable.
QString ServerCatalogueName();
// [IP + ":"] + RutaAcceso + separator + "Empresas.gdb".
QString CompanyCatalogueName(const QString& rutaAcceso, const QString& direccionIP);
// RutaAcceso + separator + company name: the company's entry in the plan.
QString CompanyDirectory(const QString& rutaAcceso, const QString& nombreEmpresa);

class TCatalogue : public QObject {
    Q_OBJECT
public:
    explicit TCatalogue(TData& data, QObject* parent = nullptr);

    const QList<ServerEntry>& ServerList() const { return servers_; }
    const QList<CompanyEntry>& CompanyList() const { return companies_; }
    int SelectedServer() const { return selected_; }

    // Fills the server list and the first server's companies; false when a
    // catalogue could not be opened (already reported).
    bool LoadServerCatalogue();
    // Fills the company list with the given server's companies.
    bool LoadCompanyCatalogue(const QString& rutaAcceso, const QString& direccionIP);
    // A server becomes the selected one: its companies replace the list.
    void SelectServer(int row);
    // Reads the server list again after an edit of Servidores.gdb and
    // selects the row of `select`, if it is listed: reading its companies
    // when readCompanies, else keeping the company list as it is (it was
    // already that server's). Not listed: nothing selected, no companies.
    // False when the catalogue could not be opened (reported).
    bool ReloadServerList(const ServerEntry& select, bool readCompanies);

signals:
    void ServerListChanged();
    void CompanyListChanged();
    void SelectedServerChanged(int row);

private:
    bool OpenServerCatalogue();
    void FillServers();
    void ClearCompanies();
    void FillCompanies();

    TData& data_;
    QList<ServerEntry> servers_;
    QList<CompanyEntry> companies_;
    int selected_ = -1;
};
