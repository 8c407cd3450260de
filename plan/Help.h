#pragma once
// The program's help. Each window opens it at its help context: 3 the main
// window, 1 the backup window, 2 the restore window.
//
// On Windows the compiled help file (HelpFilePath, from the install root)
// opens through HTML Help at that context. Elsewhere there is no HTML Help:
// the help pages installed with the program, in the folder "ayuda" beside
// the executable, open in the desktop's viewer, one page per context.

#include <QString>
#include <functional>

// Where the compiled help file is (Windows); the application shell tells,
// once it knows the install root. Without a source, or with an empty path,
// help on Windows opens nothing. Elsewhere the source is not used.
void SetHelpFileSource(std::function<QString()> source);

// Opens the help at the given context, with the busy cursor shown meanwhile.
void OpenHelp(int context);

// What finally shows the help: given the file and the context, on Windows
// the help file and its context for HTML Help, elsewhere the page for the
// context (the context is then only informative). Tests put their own in
// place; an empty function brings back the system's.
using HelpOpener = std::function<void(const QString& file, int context)>;
void SetHelpOpener(HelpOpener opener);

// The help page, beside the executable, for a context: "ayuda/" followed by
// the page's name. A context without a page of its own gets the index.
QString HelpPageFor(int context);
