#pragma once
// What an installation says about itself in "QuillbaseBackup.conf" beside
// the executable: which engine serves the databases named without a host
// (Servidores.gdb, Backup.fdb, the companies of a server on this computer).
//
//   LocalEngine=server     this computer's Firebird server (the package)
//   LocalEngine=embedded   the engine inside the program (the build, the demo)
//
// No file, no such line or any other value: the embedded engine, which only
// ever touches the operator's own files with the operator's own rights.
// On Windows local names always go to the local server.

#include "db/FbClient.h"

#include <QString>

inline const QString kInstallationFile = QStringLiteral("QuillbaseBackup.conf");

// The choice written in `directory` + kInstallationFile.
fb::LocalProvider InstallationLocalProvider(const QString& directory);

// The embedded engine keeps its locks in /tmp/firebird, which Debian's
// Firebird packages make for the group firebird only. For an operator
// outside that group the engine gets a lock folder of the operator's own
// (FIREBIRD_LOCK, unless already set). Call before the first attachment.
void PrepareEmbeddedEngineLocks();

// Files that this process creates (backup files of the embedded engine,
// settings) are for the operator alone: no rights for the group or other
// users. The engine gives a database it creates to the owner's group as
// well, whatever the mask; the backup run narrows its verification
// database itself.
void RestrictNewFiles();
