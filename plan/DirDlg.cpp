#include "plan/DirDlg.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

namespace {

FolderBrowserFunction& Browser() {
    static FolderBrowserFunction browser;
    return browser;
}

// Qt's folder dialog shows directories only and returns local paths only,
// so nothing but a file-system folder can be chosen. It has no status line.
std::optional<QString> ShowFolderDialog(QWidget* owner, const QString& title,
                                        const QString& initialFolder, const QString&) {
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, title, initialFolder, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen);
}

}  // namespace

bool TBrowseForFolderDialog::Execute() {
    QWidget* owner = QApplication::activeWindow();
    const FolderBrowserFunction& browser = Browser();
    const std::optional<QString> chosen =
        browser ? browser(owner, Title, InitialFolder, StatusText)
                : ShowFolderDialog(owner, Title, InitialFolder, StatusText);
    if (!chosen) return false;
    Path = *chosen;
    return true;
}

bool BrowseForFolder(const QString& title, const QString& initialFolder, const QString& statusText,
                     QString& path) {
    TBrowseForFolderDialog dialog;
    dialog.Title = title;
    dialog.InitialFolder = initialFolder;
    dialog.StatusText = statusText;
    if (!dialog.Execute()) return false;
    path = dialog.Path;
    return true;
}

QString FileSystemRoot() { return QDir::toNativeSeparators(QDir::rootPath()); }

void SetFolderBrowser(FolderBrowserFunction browser) { Browser() = std::move(browser); }
