#pragma once
// Where the program's files are.

#include <QString>

namespace platform {

// The directory of the running executable, ending in the native separator.
// Servidores.gdb, Backup.fdb and the help live there.
QString ExecutableDirectory();
// Points ExecutableDirectory elsewhere (tests run on scratch installations);
// a separator is appended when the text lacks one. An empty text points it
// back at the running executable's directory.
void SetExecutableDirectory(const QString& directory);

}  // namespace platform
