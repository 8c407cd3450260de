#include "logview/LogPictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

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
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/logview/") + name + QStringLiteral(".svg"));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon LogIcon(const QString& name, const QSize& size) {
    QIcon icon;
    icon.addPixmap(LogPicture(name, size));
    return icon;
}
