#include "platform/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace platform {

QPixmap RenderPicture(const QString& resource, const QSize& size) {
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace platform
