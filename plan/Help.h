#pragma once
// The program's help. On Windows the help file opens at a help context of
// HTML Help; elsewhere the desktop's default handler opens the file and the
// context is not used.

#include <QString>
#include <functional>

// Where the help file is; the application shell tells, once it knows the
// install root. Without a source, or with an empty path, help opens nothing.
void SetHelpFileSource(std::function<QString()> source);

// Opens the help file at the given context (1 for the backup window), with
// the busy cursor shown meanwhile.
void OpenHelp(int context);
