#include "backup/FErrorenCopia.h"

#include <QKeyEvent>
#include <QLabel>

#include "backup/RunWindows.h"

namespace {

const QColor kMaroon(128, 0, 0);

QLabel* MaroonLabel(QWidget* parent, const QString& name, const QString& text, int pixelSize) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(runwindows::BoldFont(pixelSize));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kMaroon);
    label->setPalette(palette);
    return label;
}

}  // namespace

TErrorenCopia::TErrorenCopia(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ErrorenCopia"));
    setWindowTitle(QStringLiteral("Quillbase Backup"));
    setFont(runwindows::NormalFont());
    setFixedSize(627, 108);
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
    Label6->setGeometry(70, 8, 627 - 70 - 8, 24);
    Label2 = MaroonLabel(this, QStringLiteral("Label2"),
                         QStringLiteral("la copia automática ha quedado interrumpida"), 14);
    Label2->setGeometry(70, 34, 627 - 70 - 8, 20);
    Label1 = MaroonLabel(this, QStringLiteral("Label1"), QStringLiteral("Mensaje : "), 11);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setWordWrap(true);
    Label1->setGeometry(10, 64, 627 - 20, 108 - 64 - 4);

    runwindows::CentreOnScreen(this);
}

void TErrorenCopia::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
