#include "platform/Desktop.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QString>
#include <QtGlobal>

namespace platform {

bool ChooseWindowSystem() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return false;
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
    // Without XWayland the program stays on Qt's own choice.
    if (!wayland || qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    return true;
}

bool HostDrawsTrayMenu() {
    static const bool drawsMenu = [] {
        const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusConnectionInterface* daemon = bus.interface();
        if (!bus.isConnected() || daemon == nullptr || !daemon->isServiceRegistered(watcher))
            return false;
        // A watcher alone draws nothing: a host must have registered with it.
        QDBusMessage get = QDBusMessage::createMethodCall(
            watcher, QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
        const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, 5000);
        return reply.isValid() && reply.value().variant().toBool();
    }();
    return drawsMenu;
}

}  // namespace platform
