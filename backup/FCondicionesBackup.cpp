#include "backup/FCondicionesBackup.h"

#include <QLabel>
#include <QPushButton>

#include "backup/RunWindows.h"

namespace {

constexpr int kMargin = 12;
constexpr int kValueLeft = 108;
const QColor kNavy(0, 0, 128);
const QColor kBandGreen(0, 128, 64);
const QColor kBandBlue(87, 136, 176);

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                  const QColor& colour) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

}  // namespace

TCondicionesBackup::TCondicionesBackup(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("CondicionesBackup"));
    setWindowTitle(QStringLiteral("Copia de seguridad"));
    setFont(runwindows::NormalFont());
    resize(561, 287);

    const QColor black = palette().color(QPalette::WindowText);
    const QFont caption = runwindows::BoldFont();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(runwindows::Picture(QStringLiteral("copia.svg"), QSize(37, 33)));
    Label7 = MakeLabel(this, QStringLiteral("Label7"), QStringLiteral("Configuración de la copia"),
                       runwindows::BoldFont(14), kNavy);

    Shape1 = new runwindows::TShape(kBandGreen, this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Label8 =
        MakeLabel(Shape1, QStringLiteral("Label8"), QStringLiteral("ORIGEN"), caption, Qt::white);
    label1 = MakeLabel(this, QStringLiteral("label1"), QStringLiteral("Servidor"), caption, black);
    Label2 = MakeLabel(this, QStringLiteral("Label2"), QStringLiteral("Label2"), font(), kNavy);
    Label3 = MakeLabel(this, QStringLiteral("Label3"), QStringLiteral("Empresa"), caption, black);
    Label4 = MakeLabel(this, QStringLiteral("Label4"), QStringLiteral("Label4"), font(), kNavy);

    Shape2 = new runwindows::TShape(kBandBlue, this);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Label9 =
        MakeLabel(Shape2, QStringLiteral("Label9"), QStringLiteral("DESTINO"), caption, Qt::white);
    Label10 =
        MakeLabel(this, QStringLiteral("Label10"), QStringLiteral("Servidor"), caption, black);
    Label11 = MakeLabel(this, QStringLiteral("Label11"), QStringLiteral("Label11"), font(), kNavy);
    Label5 = MakeLabel(this, QStringLiteral("Label5"), QStringLiteral("Destino"), caption, black);
    Label6 = MakeLabel(this, QStringLiteral("Label6"), QStringLiteral("Label6"), font(), kNavy);
    for (QLabel* value : {Label2, Label4, Label11, Label6}) value->setTextFormat(Qt::PlainText);

    BitBtn2 = new QPushButton(QStringLiteral("Continuar"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setDefault(true);
    BitBtn1 = new QPushButton(QStringLiteral("Cancelar"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    // Enter presses the focused button, Continuar when no button has the focus.
    BitBtn1->setAutoDefault(true);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(BitBtn2, BitBtn1);
    BitBtn2->setFocus();

    PlaceControls();
    runwindows::CentreOverMainWindow(this);
}

void TCondicionesBackup::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceControls();
}

// Top to bottom: picture and heading, the ORIGEN band with server and
// company, the DESTINO band with server and destination, and the buttons at
// the bottom right, Continuar on the right.
void TCondicionesBackup::PlaceControls() {
    const int w = width();
    const int valueWidth = std::max(40, w - kValueLeft - kMargin);
    Image1->setGeometry(kMargin, 10, 37, 33);
    Label7->setGeometry(kMargin + 37 + 12, 16, w - 2 * kMargin - 49, 22);

    Shape1->setGeometry(kMargin, 58, w - 2 * kMargin, 22);
    Label8->setGeometry(12, 0, Shape1->width() - 24, Shape1->height());
    label1->setGeometry(kMargin + 12, 90, kValueLeft - kMargin - 12, 18);
    Label2->setGeometry(kValueLeft, 90, valueWidth, 18);
    Label3->setGeometry(kMargin + 12, 114, kValueLeft - kMargin - 12, 18);
    Label4->setGeometry(kValueLeft, 114, valueWidth, 18);

    Shape2->setGeometry(kMargin, 146, w - 2 * kMargin, 22);
    Label9->setGeometry(12, 0, Shape2->width() - 24, Shape2->height());
    Label10->setGeometry(kMargin + 12, 178, kValueLeft - kMargin - 12, 18);
    Label11->setGeometry(kValueLeft, 178, valueWidth, 18);
    Label5->setGeometry(kMargin + 12, 202, kValueLeft - kMargin - 12, 18);
    Label6->setGeometry(kValueLeft, 202, valueWidth, 18);

    const QSize button(88, 27);
    const int y = height() - kMargin - button.height();
    BitBtn2->setGeometry(w - kMargin - button.width(), y, button.width(), button.height());
    BitBtn1->setGeometry(w - kMargin - 2 * button.width() - 8, y, button.width(), button.height());
}
