#include "app/FAvisoCerrarPrograma.h"

#include <QLabel>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include "app/FMainForm.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

QFont TahomaFont(int pointSize, bool bold) {
    QFont font(QStringLiteral("Tahoma"), pointSize);
    font.setBold(bold);
    return font;
}

QLabel* BoldLabel(const QString& name, const QString& text, const QColor& colour, int pointSize,
                  QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(TahomaFont(pointSize, true));
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

TBitBtn::TBitBtn(const QPixmap& glyph, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), glyph_(glyph) {}

void TBitBtn::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const int shift = isDown() ? 1 : 0;
    const QRect area = rect().adjusted(14 + shift, 6 + shift, -12 + shift, -6 + shift);
    const QSize glyphSize = glyph_.deviceIndependentSize().toSize();
    const QRect glyphRect(QPoint(area.left(), area.center().y() - glyphSize.height() / 2 + 1),
                          glyphSize);
    painter.drawPixmap(glyphRect, glyph_);

    const QRect textRect = area.adjusted(glyphSize.width() + 12, 0, 0, 0);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(5, 5, -5, -5);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

TAvisoCerrarPrograma::TAvisoCerrarPrograma(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("AvisoCerrarPrograma"));
    setWindowTitle(QStringLiteral("Aviso"));
    setFixedSize(617, 369);
    setFont(TahomaFont(8, false));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 617, 118);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setAutoFillBackground(true);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(26, 11, 96, 96);
    Image1->setPixmap(ResourcePicture(QStringLiteral("aviso.svg"), Image1->size()));

    Label5 = BoldLabel(QStringLiteral("Label5"),
                       QStringLiteral("Si cierra este programa no se ejecutará la copia de "
                                      "seguridad automática"),
                       kMaroon, 12, Panel1);
    Label5->setGeometry(146, 14, 445, 90);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* edge = new QWidget(this);
    edge->setObjectName(QStringLiteral("Bevel1"));
    edge->setGeometry(0, 118, 617, 1);
    QPalette line = edge->palette();
    line.setColor(QPalette::Window, QColor(0xb8, 0xc6, 0xd8));
    edge->setPalette(line);
    edge->setAutoFillBackground(true);

    Label1 = BoldLabel(QStringLiteral("Label1"), QStringLiteral("Existe una copia programada para"),
                       kNavy, 10, this);
    Label1->setGeometry(44, 142, 530, 20);
    Label2 = BoldLabel(QStringLiteral("Label2"), QString(), QColor(), 10, this);
    Label2->setGeometry(44, 170, 540, 40);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4 = BoldLabel(QStringLiteral("Label4"), QStringLiteral("Hora :"), kNavy, 10, this);
    Label4->setGeometry(44, 216, Label4->sizeHint().width(), 20);
    Label3 = BoldLabel(QStringLiteral("Label3"), QString(), QColor(), 10, this);
    Label3->setGeometry(Label4->geometry().right() + 7, 216, 200, 20);

    BitBtn1 =
        new TBitBtn(ResourcePicture(QStringLiteral("salir.svg"), QSize(40, 40)),
                    QStringLiteral("Salir del programa sin que se ejecuten las copias"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Abandonar el programa"));
    BitBtn1->setGeometry(24, 270, 277, 72);
    BitBtn1->setFont(TahomaFont(9, false));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);

    BitBtn2 = new TBitBtn(ResourcePicture(QStringLiteral("permitir.svg"), QSize(40, 40)),
                          QStringLiteral("Permitir que se ejecuten las copias"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("El programa se minimiza en la barra de tareas"));
    BitBtn2->setGeometry(316, 270, 277, 72);
    BitBtn2->setFont(TahomaFont(9, true));
    BitBtn2->setDefault(true);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);

    setTabOrder(BitBtn2, BitBtn1);
    BitBtn2->setFocus();
}

TAvisoCerrarPrograma::Answerer& TAvisoCerrarPrograma::AnswererInForce() {
    static Answerer answerer;
    return answerer;
}

int TAvisoCerrarPrograma::Run() {
    if (const Answerer& answerer = AnswererInForce()) return answerer(*this);
    return exec();
}
