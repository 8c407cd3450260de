#pragma once
// What the restore window and its confirmation share: fonts, the coloured
// bands and boxes, and the pictures of resources/restore.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QWidget>

namespace restorelook {

inline const QColor kGreenBand(0, 128, 64);
inline const QColor kBlueBand(87, 136, 176);
inline const QColor kMaroon(0x80, 0x00, 0x00);
inline const QColor kNavy(0x00, 0x00, 0x80);
inline const QColor kRed(0xFF, 0x00, 0x00);

// Tahoma at 11 pixels, and the same at another size, bold.
QFont NormalFont();
QFont BoldFont(int pixelSize = 11);

// ":/restore/<name>.svg" drawn at the given size.
QPixmap Picture(const QString& name, const QSize& size);
QIcon Icon(const QString& name, const QSize& size);

// A rectangle with rounded corners: filled (a band, a box) or only outlined.
class TShape : public QWidget {
public:
    TShape(const QColor& fill, const QColor& border, QWidget* parent);
    QColor Fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    QColor border_;
};

// Gives a label (or any widget) its text colour.
void Paint(QWidget* widget, const QColor& text);

}  // namespace restorelook
