#include "plan/Help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QWidget>

#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Paths.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

std::function<QString()>& Source() {
    static std::function<QString()> source;
    return source;
}

HelpOpener& OpenerInForce() {
    static HelpOpener opener;
    return opener;
}

#ifdef Q_OS_WIN
// HTML Help lives in hhctrl.ocx; loading it on first use spares the
// program an import library that not every tool chain ships.
void OpenWithHtmlHelp(const QString& file, int context) {
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    constexpr UINT kHelpContextCommand = 0x000F;  // HH_HELP_CONTEXT
    static HtmlHelpFunction htmlHelp = [] {
        HMODULE library = LoadLibraryW(L"hhctrl.ocx");
        return library != nullptr
                   ? reinterpret_cast<HtmlHelpFunction>(GetProcAddress(library, "HtmlHelpW"))
                   : nullptr;
    }();
    if (htmlHelp == nullptr) return;
    QWidget* owner = QApplication::activeWindow();
    htmlHelp(owner != nullptr ? reinterpret_cast<HWND>(owner->winId()) : nullptr,
             reinterpret_cast<LPCWSTR>(file.utf16()), kHelpContextCommand,
             static_cast<DWORD_PTR>(context));
}
#endif

// False when nothing on this computer would show the page.
bool SystemOpener(const QString& file, [[maybe_unused]] int context) {
#ifdef Q_OS_WIN
    OpenWithHtmlHelp(file, context);
    return true;
#else
    // A page that does not exist is the viewer's to report.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
#endif
}

}  // namespace

void SetHelpFileSource(std::function<QString()> source) { Source() = std::move(source); }

void SetHelpOpener(HelpOpener opener) { OpenerInForce() = std::move(opener); }

QString HelpPageFor(int context) {
    switch (context) {
        case 1:
            return QStringLiteral("ayuda/copias.html");
        case 2:
            return QStringLiteral("ayuda/restaurar.html");
        case 3:
            return QStringLiteral("ayuda/principal.html");
        default:
            return QStringLiteral("ayuda/index.html");
    }
}

void OpenHelp(int context) {
    QString file;
    bool opened = true;
    {
        const platform::WaitCursor busy;
#ifdef Q_OS_WIN
        file = Source() ? Source()() : QString();
        if (file.isEmpty()) return;
#else
        file = platform::ExecutableDirectory() + HelpPageFor(context);
#endif
        if (OpenerInForce()) {
            OpenerInForce()(file, context);
        } else {
            opened = SystemOpener(file, context);
        }
    }
    // Without a program for web pages (xdg-utils and a browser) the desktop
    // opens nothing and says so only on the terminal.
    if (!opened)
        platform::ShowWarning(QStringLiteral("No se ha podido abrir la ayuda: ningún programa de "
                                             "este escritorio abre la página\n\r") +
                              QDir::toNativeSeparators(file));
}
