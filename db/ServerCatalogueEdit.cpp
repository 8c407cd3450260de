#include "db/ServerCatalogueEdit.h"

#include "db/ServerPath.h"

namespace {

// One row of the table as it is stored, NULLs told apart from empty texts.
struct StoredRow {
    QString Alias;
    QString RutaAcceso;
    QString DireccionIP;
    bool AliasNull = false;
    bool RutaNull = false;
    bool IpNull = false;

    // The catalogue lists this row as `entry`.
    bool Lists(const ServerEntry& entry) const {
        return Alias == entry.Alias && DireccionIP == entry.DireccionIP &&
               serverpath::TrimTrailingSeparator(RutaAcceso) == entry.RutaAcceso;
    }
};

// The table has no key: a row is found by its stored values, and ROWS 1
// keeps two identical rows from changing together.
const QString kThatRow = QStringLiteral(
    " where ALIAS is not distinct from :ALIAS_ANTES"
    " and RUTAACCESO is not distinct from :RUTA_ANTES"
    " and DIRECCIONIP is not distinct from :IP_ANTES rows 1");

// A parameter left unset is NULL.
void BindRow(fb::Statement& statement, const StoredRow& row) {
    if (!row.AliasNull) statement.SetParam(QStringLiteral("ALIAS_ANTES"), row.Alias);
    if (!row.RutaNull) statement.SetParam(QStringLiteral("RUTA_ANTES"), row.RutaAcceso);
    if (!row.IpNull) statement.SetParam(QStringLiteral("IP_ANTES"), row.DireccionIP);
}

QList<StoredRow> ReadStoredRows(fb::Statement& statement) {
    statement.SetSql(QStringLiteral("select ALIAS, RUTAACCESO, DIRECCIONIP from SERVIDORES"));
    statement.Execute();
    QList<StoredRow> rows;
    while (statement.Next()) {
        rows.append({statement.Field(0), statement.Field(1), statement.Field(2),
                     statement.FieldIsNull(QStringLiteral("ALIAS")),
                     statement.FieldIsNull(QStringLiteral("RUTAACCESO")),
                     statement.FieldIsNull(QStringLiteral("DIRECCIONIP"))});
    }
    statement.Close();
    return rows;
}

// The statement of one change, its parameters bound.
void PrepareChange(fb::Statement& statement, const std::optional<StoredRow>& row,
                   const std::optional<ServerEntry>& before,
                   const std::optional<ServerEntry>& after) {
    statement.ClearParams();
    if (!row) {
        statement.SetSql(QStringLiteral(
            "insert into SERVIDORES (ALIAS, RUTAACCESO, DIRECCIONIP) values (:ALIAS, :RUTA, :IP)"));
        statement.SetParam(QStringLiteral("ALIAS"), after->Alias);
        statement.SetParam(QStringLiteral("RUTA"), after->RutaAcceso);
        statement.SetParam(QStringLiteral("IP"), after->DireccionIP);
        return;
    }
    BindRow(statement, *row);
    if (!after) {
        statement.SetSql(QStringLiteral("delete from SERVIDORES") + kThatRow);
        return;
    }
    // Only what the operator changed: a path shown trimmed and left alone
    // keeps its stored form.
    QStringList set;
    if (after->Alias != before->Alias) {
        set << QStringLiteral("ALIAS = :ALIAS");
        statement.SetParam(QStringLiteral("ALIAS"), after->Alias);
    }
    if (after->RutaAcceso != before->RutaAcceso) {
        set << QStringLiteral("RUTAACCESO = :RUTA");
        statement.SetParam(QStringLiteral("RUTA"), after->RutaAcceso);
    }
    if (after->DireccionIP != before->DireccionIP) {
        set << QStringLiteral("DIRECCIONIP = :IP");
        statement.SetParam(QStringLiteral("IP"), after->DireccionIP);
    }
    statement.SetSql(QStringLiteral("update SERVIDORES set ") + set.join(QStringLiteral(", ")) +
                     kThatRow);
}

}  // namespace

bool SameAlias(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

CompanyCatalogueCheck CheckCompanyCatalogue(TData& data, const ServerEntry& server) {
    CompanyCatalogueCheck check;
    const QString name = CompanyCatalogueName(serverpath::TrimTrailingSeparator(server.RutaAcceso),
                                              server.DireccionIP);
    if (!data.TryOpenDatabaseSession(data.IBDEmpresas, name, ShortFallbackPassword,
                                     SessionPrecondition::DisconnectFirst, &check.Failure))
        return check;
    data.IBSQLEmpresas.SetSql(QStringLiteral("select * from empresas"));
    try {
        data.ReadRows(data.IBDEmpresas, data.IBTEmpresas, data.IBSQLEmpresas,
                      [&check](const fb::Statement&) { ++check.Companies; });
        check.Read = true;
    } catch (const fb::FbError& error) {
        // Opened, but not a company catalogue (no table empresas, ...).
        check.Companies = 0;
        check.Failure = error.Text();
    }
    return check;
}

ServerWrite WriteServerCatalogue(TData& data, const std::optional<ServerEntry>& before,
                                 const std::optional<ServerEntry>& after) {
    if (before && after && *before == *after) return {};
    if (!data.OpenDatabaseSession(data.IBDServidores, ServerCatalogueName(), LongFallbackPassword,
                                  SessionPrecondition::DisconnectFirst))
        return {ServerWriteResult::NotOpened, {}};

    fb::Transaction transaction(data.IBDServidores,
                                {QStringLiteral("concurrency"), QStringLiteral("nowait")});
    fb::Statement statement(data.IBDServidores, transaction);
    // Whatever happens, the connection is closed and an unfinished change
    // rolled back.
    struct Closer {
        TData& data;
        fb::Transaction& transaction;
        ~Closer() { data.CloseDatabaseSession(data.IBDServidores, transaction); }
    } closer{data, transaction};

    try {
        transaction.StartTransaction();
        const QList<StoredRow> rows = ReadStoredRows(statement);
        std::optional<StoredRow> row;
        if (before) {
            for (const StoredRow& stored : rows) {
                if (!stored.Lists(*before)) continue;
                row = stored;
                break;
            }
            if (!row) return {ServerWriteResult::ServerGone, {}};
        }
        // Aliases already alike (an older list may hold two) stay allowed.
        if (after && (!before || !SameAlias(after->Alias, before->Alias))) {
            for (const StoredRow& stored : rows) {
                if (SameAlias(stored.Alias, after->Alias))
                    return {ServerWriteResult::AliasInUse, {}};
            }
        }
        PrepareChange(statement, row, before, after);
        statement.Execute();
        transaction.Commit();
        return {};
    } catch (const fb::FbError& error) {
        return {ServerWriteResult::Failed, error.Text()};
    }
}
