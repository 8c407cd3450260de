#include "backup/FErrorenCopia.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextLayout>
#include <QtMath>
#include <algorithm>

#include "backup/RunWindows.h"

namespace {

const QColor kMaroon(128, 0, 0);
constexpr int kWidth = 627;
constexpr int kHeight = 108;
constexpr int kMessageLeft = 10;
constexpr int kMessageTop = 64;
constexpr int kMessageWidth = kWidth - 2 * kMessageLeft;
constexpr int kBottomMargin = 8;

void Maroon(QLabel* label, const QString& name, int pixelSize) {
    label->setObjectName(name);
    label->setFont(runwindows::BoldFont(pixelSize));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kMaroon);
    label->setPalette(palette);
}

QLabel* MaroonLabel(QWidget* parent, const QString& name, const QString& text, int pixelSize) {
    auto* label = new QLabel(text, parent);
    Maroon(label, name, pixelSize);
    return label;
}

// The message line. A Firebird error comes in several lines and names files
// by their whole path: the text breaks at its own line ends, at blanks, and
// inside a word that is wider than the line, so that nothing of it is cut.
class TMessageLabel final : public QLabel {
public:
    using QLabel::QLabel;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return Layout(width, nullptr); }
    QSize sizeHint() const override { return {kMessageWidth, heightForWidth(kMessageWidth)}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        Layout(width(), &painter);
    }

private:
    // Lays the text out in lines `width` pixels wide, draws them when given
    // a painter, and returns their height.
    int Layout(int width, QPainter* painter) const {
        QString lines = text();
        lines.remove(u'\r');
        lines.replace(u'\n', QChar::LineSeparator);
        QTextLayout layout(lines, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        const qreal spacing = QFontMetricsF(font()).lineSpacing();
        qreal y = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            line.setPosition(QPointF(0, y));
            y += spacing;
        }
        layout.endLayout();
        if (painter != nullptr) layout.draw(painter, QPointF(0, 0));
        return qCeil(y);
    }
};

}  // namespace

TErrorenCopia::TErrorenCopia(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ErrorenCopia"));
    setWindowTitle(QStringLiteral("Quillbase Backup"));
    setFont(runwindows::NormalFont());
    setFixedSize(kWidth, kHeight);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(runwindows::Picture(QStringLiteral("error.svg"), QSize(48, 48)));
    Image1->setGeometry(10, 8, 48, 48);

    Label6 =
        MaroonLabel(this, QStringLiteral("Label6"),
                    QStringLiteral("Error en la copia, verifique que el disco no esté lleno"), 17);
    Label6->setGeometry(70, 8, kWidth - 70 - 8, 24);
    Label2 = MaroonLabel(this, QStringLiteral("Label2"),
                         QStringLiteral("la copia automática ha quedado interrumpida"), 14);
    Label2->setGeometry(70, 34, kWidth - 70 - 8, 20);

    message_ = new QScrollArea(this);
    message_->setObjectName(QStringLiteral("Mensaje"));
    message_->setFrameShape(QFrame::NoFrame);
    message_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message_->viewport()->setAutoFillBackground(false);
    Label1 = new TMessageLabel(QStringLiteral("Mensaje : "));
    Maroon(Label1, QStringLiteral("Label1"), 11);
    message_->setWidget(Label1);
    FitMessage();
}

void TErrorenCopia::FitMessage() {
    const QScreen* screen = this->screen() != nullptr ? this->screen()
                                                      : QGuiApplication::primaryScreen();
    // Room for the frame above and below.
    const int tallest =
        screen != nullptr ? std::max(kHeight, screen->availableGeometry().height() - 60) : 10000;
    const int needed = kMessageTop + Label1->heightForWidth(kMessageWidth) + kBottomMargin;
    const int height = std::clamp(needed, kHeight, tallest);
    const int labelWidth =
        needed > height ? kMessageWidth - message_->verticalScrollBar()->sizeHint().width()
                        : kMessageWidth;
    setFixedSize(kWidth, height);
    message_->setGeometry(kMessageLeft, kMessageTop, kMessageWidth,
                          height - kMessageTop - kBottomMargin);
    Label1->resize(labelWidth, Label1->heightForWidth(labelWidth));
    runwindows::CentreOnScreen(this);
}

void TErrorenCopia::showEvent(QShowEvent* event) {
    // The run sets the message after creating the window.
    FitMessage();
    QDialog::showEvent(event);
}

void TErrorenCopia::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
