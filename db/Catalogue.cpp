#include "db/Catalogue.h"

#include "db/ServerPath.h"
#include "platform/Paths.h"

QString ServerCatalogueName() {
    return platform::ExecutableDirectory() + QStringLiteral("Servidores.gdb");
}

QString CompanyCatalogueName(const QString& rutaAcceso, const QString& direccionIP) {
    const QString path = serverpath::Join(rutaAcceso, QStringLiteral("Empresas.gdb"));
    return direccionIP.isEmpty() ? path : direccionIP + QLatin1Char(':') + path;
}

QString CompanyDirectory(const QString& rutaAcceso, const QString& nombreEmpresa) {
    return serverpath::Join(rutaAcceso, nombreEmpresa);
}

namespace {

// Tells the window that the server list changed, also after a read that
// failed part-way.
struct ServerListNotify {
    TCatalogue* self;
    ~ServerListNotify() { emit self->ServerListChanged(); }
};

}  // namespace

TCatalogue::TCatalogue(TData& data, QObject* parent) : QObject(parent), data_(data) {}

bool TCatalogue::LoadServerCatalogue() {
    if (!OpenServerCatalogue()) return false;
    // The list is shown once the whole load is over.
    const ServerListNotify notify{this};
    FillServers();
    if (servers_.isEmpty()) return true;

    SelectServer(0);
    // The start-up load reads the first server's companies once more, with
    // the fallback of window start.
    const ServerEntry& first = servers_.first();
    if (!data_.OpenDatabaseSession(data_.IBDEmpresas, CompanyCatalogueName(first.RutaAcceso, first.DireccionIP),
                                   LongFallbackPassword, SessionPrecondition::DisconnectFirst))
        return false;
    FillCompanies();
    return true;
}

bool TCatalogue::ReloadServerList(const ServerEntry& select, bool readCompanies) {
    if (!OpenServerCatalogue()) return false;
    {
        const ServerListNotify notify{this};
        FillServers();
    }
    selected_ = -1;
    const int row = static_cast<int>(servers_.indexOf(select));
    if (row >= 0 && readCompanies) {
        SelectServer(row);
    } else if (row >= 0) {
        selected_ = row;
        emit SelectedServerChanged(row);
    } else {
        ClearCompanies();
    }
    return true;
}

bool TCatalogue::OpenServerCatalogue() {
    return data_.OpenDatabaseSession(data_.IBDServidores, ServerCatalogueName(),
                                     LongFallbackPassword, SessionPrecondition::SkipWhenConnected);
}

void TCatalogue::FillServers() {
    data_.IBSQLServidores.SetSql(QStringLiteral("select * from servidores"));
    servers_.clear();
    data_.ReadRows(data_.IBDServidores, data_.IBTServidores, data_.IBSQLServidores,
                   [this](const fb::Statement& row) {
                       servers_.append({row.Field(QStringLiteral("ALIAS")),
                                        serverpath::TrimTrailingSeparator(
                                            row.Field(QStringLiteral("RUTAACCESO"))),
                                        row.Field(QStringLiteral("DIRECCIONIP"))});
                   });
}

bool TCatalogue::LoadCompanyCatalogue(const QString& rutaAcceso, const QString& direccionIP) {
    if (!data_.OpenDatabaseSession(data_.IBDEmpresas, CompanyCatalogueName(rutaAcceso, direccionIP),
                                   ShortFallbackPassword, SessionPrecondition::DisconnectFirst))
        return false;
    FillCompanies();
    return true;
}

void TCatalogue::SelectServer(int row) {
    if (row < 0 || row >= servers_.size()) return;
    selected_ = row;
    emit SelectedServerChanged(row);
    ClearCompanies();
    const ServerEntry server = servers_.at(row);
    LoadCompanyCatalogue(server.RutaAcceso, server.DireccionIP);
}

void TCatalogue::ClearCompanies() {
    companies_.clear();
    emit CompanyListChanged();
}

void TCatalogue::FillCompanies() {
    data_.IBSQLEmpresas.SetSql(QStringLiteral("select * from empresas"));
    companies_.clear();
    struct Notify {
        TCatalogue* self;
        ~Notify() { emit self->CompanyListChanged(); }
    } notify{this};
    data_.ReadRows(data_.IBDEmpresas, data_.IBTEmpresas, data_.IBSQLEmpresas,
                   [this](const fb::Statement& row) {
                       companies_.append({row.Field(QStringLiteral("NOMBREEMPRESA"))});
                   });
}
