#include "restore/RestoreLook.h"
#include "platform/Pictures.h"

#include <QGuiApplication>
#include <QPainter>

static void RegisterRestorePictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(restore);
        return true;
    }();
    (void)registered;
}

namespace restorelook {

QFont NormalFont() {
    // Tahoma, or a face of like width where it is not installed.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    return font;
}

QFont BoldFont(int pixelSize) {
    QFont font = NormalFont();
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

QPixmap Picture(const QString& name, const QSize& size) {
    RegisterRestorePictures();
    return platform::RenderPicture(QStringLiteral(":/restore/") + name + QStringLiteral(".svg"), size);
}

QIcon Icon(const QString& name, const QSize& size) {
    QIcon icon;
    icon.addPixmap(Picture(name, size));
    return icon;
}

TShape::TShape(const QColor& fill, const QColor& border, QWidget* parent)
    : QWidget(parent), fill_(fill), border_(border) {}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(border_.isValid() ? QPen(border_, 1) : QPen(Qt::NoPen));
    painter.setBrush(fill_.isValid() ? QBrush(fill_) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

void Paint(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

}  // namespace restorelook
