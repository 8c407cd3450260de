#include "plan/Help.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/ErrorReport.h"

namespace {

std::function<QString()>& Source() {
    static std::function<QString()> source;
    return source;
}

}  // namespace

void SetHelpFileSource(std::function<QString()> source) { Source() = std::move(source); }

void OpenHelp(int /*context*/) {
    const platform::WaitCursor busy;
    const QString helpFile = Source() ? Source()() : QString();
    if (helpFile.isEmpty()) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile));
}
