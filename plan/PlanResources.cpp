#include "plan/PlanResources.h"
#include "platform/Pictures.h"

#include <QGuiApplication>

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
    return platform::RenderPicture(PicturePath(name), size);
}
