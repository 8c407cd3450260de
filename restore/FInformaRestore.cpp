#include "restore/FInformaRestore.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/Dialogs.h"
#include "restore/RestoreLook.h"

using namespace restorelook;

namespace {

const QColor kFieldGrey(226, 226, 226);

QLabel* Text(const QString& name, const QString& text, const QFont& font, const QColor& colour,
             const QRect& place, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    Paint(label, colour);
    label->setGeometry(place);
    return label;
}

QLineEdit* Field(const QString& name, const QRect& place, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setGeometry(place);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, kFieldGrey);
    edit->setPalette(palette);
    return edit;
}

// A band or box with a label centred across it.
TShape* Band(const QColor& fill, const QColor& border, const QRect& place, QWidget* parent) {
    auto* shape = new TShape(fill, border, parent);
    shape->setGeometry(place);
    return shape;
}

}  // namespace

TInformaRestore::TInformaRestore(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("InformaRestore"));
    setWindowTitle(platform::kAppTitle);
    setFont(NormalFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setFixedSize(802, 458);

    const QFont bold = BoldFont(11);
    const QFont large = BoldFont(15);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(16, 10, 32, 32);
    picture->setPixmap(Picture(QStringLiteral("aviso"), QSize(32, 32)));
    Label4 = Text(QStringLiteral("Label4"),
                  QStringLiteral("Se va a proceder a la restauración de los datos del fichero"),
                  large, kMaroon, QRect(58, 14, 720, 24), this);

    Shape1 = Band(kGreenBand, QColor(), QRect(16, 52, 770, 22), this);
    Label8 = Text(QStringLiteral("Label8"), QStringLiteral("ORIGEN"), bold, Qt::white,
                  QRect(26, 52, 200, 22), this);
    Label3 = Text(QStringLiteral("Label3"), QStringLiteral("Dirección IP"), bold, Qt::black,
                  QRect(26, 84, 90, 21), this);
    Edit3 = Field(QStringLiteral("Edit3"), QRect(120, 84, 145, 21), this);
    Label1 = Text(QStringLiteral("Label1"), QStringLiteral("Fichero "), bold, Qt::black,
                  QRect(26, 112, 90, 21), this);
    Edit1 = Field(QStringLiteral("Edit1"), QRect(120, 112, 631, 21), this);

    Shape2 = Band(kBlueBand, QColor(), QRect(16, 146, 770, 22), this);
    Label9 = Text(QStringLiteral("Label9"), QStringLiteral("DESTINO"), bold, Qt::white,
                  QRect(26, 146, 200, 22), this);
    Label11 = Text(QStringLiteral("Label11"), QStringLiteral("Dirección IP"), bold, Qt::black,
                   QRect(26, 178, 90, 21), this);
    Edit4 = Field(QStringLiteral("Edit4"), QRect(120, 178, 145, 21), this);
    Label2 = Text(QStringLiteral("Label2"), QStringLiteral("Restaurar en"), bold, Qt::black,
                  QRect(26, 206, 90, 21), this);
    Edit2 = Field(QStringLiteral("Edit2"), QRect(120, 206, 631, 21), this);

    Shape5 = Band(kMaroon, QColor(), QRect(16, 242, 770, 30), this);
    Label5 = Text(QStringLiteral("Label5"),
                  QStringLiteral("Es muy importante que nadie esté trabajando con esta empresa"),
                  BoldFont(13), Qt::white, QRect(16, 242, 770, 30), this);
    Label5->setAlignment(Qt::AlignCenter);

    Label7 = Text(QStringLiteral("Label7"),
                  QStringLiteral("Es recomendable que antes de iniciar este proceso renombre el "
                                 "fichero original :"),
                  bold, kRed, QRect(16, 284, 770, 18), this);
    Shape3 = Band(QColor(0xFF, 0xF4, 0xE8), kMaroon, QRect(16, 306, 770, 26), this);
    Label10 =
        Text(QStringLiteral("Label10"), QString(), bold, kMaroon, QRect(26, 306, 752, 26), this);
    Label6 = Text(QStringLiteral("Label6"), QStringLiteral("que está en el ordenador"), bold, kRed,
                  QRect(16, 342, 300, 18), this);
    Shape4 = Band(QColor(0xFF, 0xF4, 0xE8), kMaroon, QRect(16, 364, 300, 26), this);
    Label12 =
        Text(QStringLiteral("Label12"), QString(), bold, kMaroon, QRect(26, 364, 282, 26), this);

    BitBtn1 = new QPushButton(Icon(QStringLiteral("cancelar"), QSize(16, 16)),
                              QStringLiteral("Cancelar"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(464, 412, 120, 30);
    // Enter presses the focused button: on Cancelar it cancels.
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    BitBtn2 = new QPushButton(Icon(QStringLiteral("seguir"), QSize(16, 16)),
                              QStringLiteral("Seguir con la restauración"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(596, 412, 190, 30);
    BitBtn2->setDefault(true);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);
}

void TInformaRestore::Fill(const QString& server, const QString& backupFile,
                           const QString& target) {
    Label10->setText(target);
    Edit2->setText(target);
    Label12->setText(server);
    Edit3->setText(server);
    Edit4->setText(server);
    Edit1->setText(backupFile);
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) edit->setCursorPosition(0);
}

void TInformaRestore::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    BitBtn2->setFocus();
}
