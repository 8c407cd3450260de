#pragma once
// Changes of the server catalogue Servidores.gdb made by the operator: a
// server added, changed or removed, and the check of a server's Empresas.gdb
// before it is saved.
//
// A change goes through the connection that reads the catalogue
// (IBDServidores, opened by the same session rules, so by the same engine:
// the embedded one or this computer's server, as the installation says), in
// a transaction of its own that is committed whole or rolled back whole.
// Only the three columns of a ServerEntry are written: a change updates the
// row in place, so columns that an installation adds to the table keep
// their values.

#include <QString>
#include <optional>

#include "db/Catalogue.h"

// What the check of a server found in its Empresas.gdb.
struct CompanyCatalogueCheck {
    bool Read = false;
    int Companies = 0;
    QString Failure;  // worded as the session rules report a failed open
};

// Reads the server's company catalogue as a selection of the server does
// (session rules, ShortFallbackPassword), without a message box.
CompanyCatalogueCheck CheckCompanyCatalogue(TData& data, const ServerEntry& server);

enum class ServerWriteResult {
    Written,
    AliasInUse,  // another row has that alias, ignoring letter case
    ServerGone,  // the row to change or remove is no longer there
    NotOpened,   // the catalogue could not be opened (already reported)
    Failed,      // the database refused the change (ErrorText)
};

struct ServerWrite {
    ServerWriteResult Result = ServerWriteResult::Written;
    QString ErrorText;
};

// Adds `after` (no `before`), changes the row listed as `before` into
// `after`, or removes `before` (no `after`). `before` is the server as the
// catalogue lists it (path trimmed).
ServerWrite WriteServerCatalogue(TData& data, const std::optional<ServerEntry>& before,
                                 const std::optional<ServerEntry>& after);

// Alias comparison of the catalogue: letter case and surrounding blanks do
// not count.
bool SameAlias(const QString& a, const QString& b);
