#pragma once
// The folder browser: the operator picks a folder of this computer's file
// system. On Windows this is the shell's folder browser; elsewhere Qt's
// folder dialog, which offers the same: a title, an initial folder, only
// file-system folders, and Cancel.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

class TBrowseForFolderDialog {
public:
    // Supplied by the caller; either may be empty.
    QString Title;
    QString InitialFolder;
    QString StatusText;
    // The chosen folder's full path, once Execute returned true.
    QString Path;

    // Shows the browser, owned by the window that is active; false on Cancel.
    bool Execute();
};

// Runs a TBrowseForFolderDialog: true with the chosen folder in path, false
// when the browser was cancelled (path is then left as it was).
bool BrowseForFolder(const QString& title, const QString& initialFolder, const QString& statusText,
                     QString& path);

// The folder that a browse for a destination starts at: the root of this
// computer's file system ("C:\" on Windows, "/" elsewhere).
QString FileSystemRoot();

// What actually shows a folder browser: given the owner, title, initial
// folder and status text, the chosen path or nothing on Cancel. Tests put
// their own answer here; an empty function brings back the real dialog.
using FolderBrowserFunction = std::function<std::optional<QString>(
    QWidget* owner, const QString& title, const QString& initialFolder, const QString& statusText)>;
void SetFolderBrowser(FolderBrowserFunction browser);
