#include "plan/FDestino.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "db/ServerPath.h"
#include "plan/DirDlg.h"
#include "plan/PlanResources.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"

TDestino::TDestino(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Destino"));
    // A title bar without buttons and without a caption.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString());
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(422, 209);

    QFont headingFont(QStringLiteral("Tahoma"), 9);
    headingFont.setBold(true);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(headingFont);
    QPalette maroon = Label2->palette();
    maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    Label2->setPalette(maroon);
    Label2->setGeometry(15, 16, 392, 18);

    Label1 = new QLabel(QStringLiteral("Seleccione la carpeta destino"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(headingFont);
    Label1->setGeometry(15, 60, 392, 18);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(15, 86, 347, 21);

    spBuscar = new QToolButton(this);
    spBuscar->setObjectName(QStringLiteral("spBuscar"));
    spBuscar->setGeometry(368, 84, 28, 26);
    spBuscar->setIcon(PlanIcon(QStringLiteral("buscar"), QSize(20, 20)));
    spBuscar->setIconSize(QSize(20, 20));
    spBuscar->setCursor(Qt::PointingHandCursor);
    spBuscar->setFocusPolicy(Qt::NoFocus);

    // Under the folder, in the room the buttons leave.
    Label3 = new QLabel(QStringLiteral("Copias que se conservan de cada empresa:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(15, 116, 272, 22);
    seConservar = new QSpinBox(this);
    seConservar->setObjectName(QStringLiteral("seConservar"));
    seConservar->setGeometry(292, 116, 70, 22);
    seConservar->setRange(0, 999);
    seConservar->setSpecialValueText(QStringLiteral("Todas"));
    seConservar->setToolTip(
        QStringLiteral("Tras cada copia correcta se eliminan las más antiguas de la empresa"));
    Label3->setBuddy(seConservar);
    Label4 = new QLabel(QStringLiteral("Las copias antiguas se conservan en el servidor"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(15, 152, 160, 32);
    Label4->setWordWrap(true);
    QPalette grey = Label4->palette();
    grey.setColor(QPalette::WindowText, QColor(0x60, 0x60, 0x60));
    Label4->setPalette(grey);
    Label4->hide();

    QFont buttonFont = font();
    buttonFont.setBold(true);

    btCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btCancelar->setObjectName(QStringLiteral("btCancelar"));
    btCancelar->setGeometry(183, 152, 93, 32);
    btCancelar->setFont(buttonFont);
    btCancelar->setCursor(Qt::PointingHandCursor);
    // Enter on the focused Cancelar cancels; elsewhere it accepts.
    btCancelar->setAutoDefault(true);

    btAceptar = new QPushButton(QStringLiteral("Aceptar"), this);
    btAceptar->setObjectName(QStringLiteral("btAceptar"));
    btAceptar->setGeometry(303, 152, 93, 32);
    btAceptar->setFont(buttonFont);
    btAceptar->setCursor(Qt::PointingHandCursor);
    btAceptar->setDefault(true);

    // Esc rejects the dialog as Cancel does (QDialog's own key handling).
    connect(btCancelar, &QPushButton::clicked, this, &QDialog::reject);
    connect(btAceptar, &QPushButton::clicked, this, &TDestino::btAceptarClick);
    connect(spBuscar, &QToolButton::clicked, this, &TDestino::spBuscarClick);

    setTabOrder(Edit1, seConservar);
    setTabOrder(seConservar, btCancelar);
    setTabOrder(btCancelar, btAceptar);
    Edit1->setFocus();
}

bool TDestino::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

void TDestino::showEvent(QShowEvent* event) {
    // Before the window is mapped.
    platform::KeepCaptionEmpty(*this);
    // Also where no window manager activates windows.
    FormActivate();
    QDialog::showEvent(event);
}

void TDestino::FormActivate() {
    spBuscar->setEnabled(LocalServer);
    // A remote server's folder is on its own computer, out of this one's reach.
    Label3->setEnabled(LocalServer);
    seConservar->setEnabled(LocalServer);
    Label4->setVisible(!LocalServer);
}

void TDestino::spBuscarClick() {
    platform::Guarded([this] {
        QString folder;
        if (BrowseForFolder(QStringLiteral("Destino"), FileSystemRoot(), QString(), folder)) {
            Edit1->setText(folder);
        }
    });
}

void TDestino::btAceptarClick() {
    platform::Guarded([this] {
        if (Edit1->text().isEmpty()) {
            const QString question = QStringLiteral("No ha indicado ninguna carpeta destino") +
                                     QStringLiteral("\n\n\r") + QString(8, u' ') +
                                     QStringLiteral("¿ desea continuar ?") + QString(11, u' ');
            if (platform::CurrentDialogs().Message(
                    platform::MsgIcon::Information, QStringLiteral("Información"), question,
                    platform::MsgButtons::YesNo) != platform::MsgResult::Yes) {
                Edit1->setFocus();
                return;
            }
        }
        // One final separator goes, never more, and never the only character.
        const QString folder = Edit1->text();
        if (folder.size() > 1 && folder.endsWith(serverpath::SeparatorOf(folder))) {
            Edit1->setText(folder.chopped(1));
        }
        accept();
    });
}
