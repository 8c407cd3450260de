#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

#include "platform/Dialogs.h"

namespace platform {

QString UnhandledErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

void ReportUnhandledError(const QString& message) {
    CurrentDialogs().Message(MsgIcon::Error, kAppTitle, UnhandledErrorText(message),
                             MsgButtons::Ok);
}

void ReportUnhandledError(const std::exception& error) {
    ReportUnhandledError(QString::fromUtf8(error.what()));
}

WaitCursor::WaitCursor()
    : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (active_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    if (active_ && qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
}

}  // namespace platform
