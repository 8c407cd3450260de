#pragma once
// What the three windows of the backup run share: their font, their
// placement and their pictures.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QWidget>

namespace runwindows {

// Tahoma at 11 pixels, the windows' normal text.
QFont NormalFont();
// The same family at another pixel size, bold.
QFont BoldFont(int pixelSize = 11);

// Centres a window over the main window (on the screen without one).
void CentreOverMainWindow(QWidget* window);
void CentreOnScreen(QWidget* window);

// A picture of resources/backup drawn at the given size.
QPixmap Picture(const QString& name, const QSize& size);

// A filled rectangle with rounded corners, the band behind a white title.
class TShape : public QWidget {
public:
    TShape(const QColor& colour, QWidget* parent);
    QColor Colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
};

}  // namespace runwindows
