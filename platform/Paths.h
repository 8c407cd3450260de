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

// Makes `folder` (mode 0700) when missing; true when it is a real folder
// (not a link) of this user that nobody else may write or even list, so
// that no other user can have put a name of their own into it. For the
// program's folders in a temporary folder that every user shares.
bool EnsurePrivateFolder(const QString& folder);

}  // namespace platform
