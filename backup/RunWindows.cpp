#include "backup/RunWindows.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "backup/MainWindowLink.h"
#include "platform/Pictures.h"

static void InitBackupResources() { Q_INIT_RESOURCE(backup); }

namespace runwindows {

QFont NormalFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

QFont BoldFont(int pixelSize) {
    QFont font = NormalFont();
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

namespace {

void CentreOver(QWidget* window, const QRect& area) {
    if (!area.isValid()) return;
    // The frame is not known before the first show; centre the client area.
    const QSize size = window->frameGeometry().size();
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

QRect ScreenArea(QWidget* window) {
    QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace

void CentreOverMainWindow(QWidget* window) {
    MainWindowLink* link = CurrentMainWindowLink();
    QWidget* main = link != nullptr ? link->MainWindow() : nullptr;
    CentreOver(window, main != nullptr ? main->frameGeometry() : ScreenArea(window));
}

void CentreOnScreen(QWidget* window) { CentreOver(window, ScreenArea(window)); }

QPixmap Picture(const QString& name, const QSize& size) {
    static const bool loaded = (InitBackupResources(), true);
    Q_UNUSED(loaded);
    return platform::RenderPicture(QStringLiteral(":/backup/") + name, size);
}

TShape::TShape(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) {}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour_.darker(130), 1));
    painter.setBrush(colour_);
    const qreal radius = height() / 2.5;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

}  // namespace runwindows
