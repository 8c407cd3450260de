#include "logview/LogPictures.h"
#include "platform/Pictures.h"

#include <QGuiApplication>

// The resources of a static library are registered by hand, once.
static void RegisterLogPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(logview);
        return true;
    }();
    (void)registered;
}

QPixmap LogPicture(const QString& name, const QSize& size) {
    RegisterLogPictures();
    return platform::RenderPicture(QStringLiteral(":/logview/") + name + QStringLiteral(".svg"), size);
}

QIcon LogIcon(const QString& name, const QSize& size) {
    QIcon icon;
    icon.addPixmap(LogPicture(name, size));
    return icon;
}
