#include "plan/PlanResources.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// The resources of a static library are registered by hand, once.
static void RegisterPlanPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(plan);
        return true;
    }();
    (void)registered;
}

namespace {

QString PicturePath(const QString& name) {
    return QStringLiteral(":/plan/") + name + QStringLiteral(".svg");
}

}  // namespace

QIcon PlanIcon(const QString& name, const QSize& size) {
    QIcon icon;
    icon.addPixmap(PlanPicture(name, size));
    return icon;
}

QPixmap PlanPicture(const QString& name, const QSize& size) {
    RegisterPlanPictures();
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(PicturePath(name));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}
