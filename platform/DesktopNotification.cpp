#include "platform/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The action a click on the notification itself invokes.
const QString kDefaultAction = QStringLiteral("default");
// A service that has not answered by then is taken as none.
constexpr int kReplyTimeoutMs = 5000;

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

void DesktopNotifier::Listen() {
    if (listening_) return;
    // Any sender: naming the service would make Qt ask the bus who owns it,
    // and wait for the answer.
    QDBusConnection bus = QDBusConnection::sessionBus();
    listening_ = bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                             SLOT(ActionInvoked(uint, QString))) &&
                 bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"),
                             this, SLOT(NotificationClosed(uint, uint)));
}

void DesktopNotifier::Notify(const QString& title, const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    Listen();

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quillbase-backup"));
    call << title                                                     // app_name
         << uint(0)                                                   // replaces_id
         << QStringLiteral("quillbase-backup")                        // app_icon
         << title                                                     // summary
         << text                                                      // body
         << QStringList{kDefaultAction, QStringLiteral("Historial")}  // actions
         << hints                                                     // hints
         << qint32(0);                                                // expire_timeout: never
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<uint> reply = *finished;
                // No service, or none that answered: nothing was shown.
                if (reply.isValid()) shown_.insert(reply.value());
                finished->deleteLater();
            });
}

void DesktopNotifier::ActionInvoked(uint id, const QString& action) {
    if (!shown_.contains(id) || action != kDefaultAction) return;
    emit Activated();
}

void DesktopNotifier::NotificationClosed(uint id, uint /*reason*/) { shown_.remove(id); }

}  // namespace platform
