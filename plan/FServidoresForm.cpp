#include "plan/FServidoresForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "db/ServerPath.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"

namespace {

const QString kLineBreak = QStringLiteral("\n\r");
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kGreen(0x00, 0x60, 0x00);

// The address of a server's computer as the client takes it: a name or an
// IPv4 address, optionally "/" and a port ("192.168.1.20/3051"). Nothing
// that would end the address early in a database name or a plan entry
// (":", "[", "]", blanks).
bool ValidAddress(const QString& address) {
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(/[0-9]{1,5})?$"));
    return address.isEmpty() || pattern.match(address).hasMatch();
}

QString PlanKeepsEntries(const ServerEntry& server) {
    return QStringLiteral("El plan de copia usa el servidor ") + plantext::ServerText(server) +
           QStringLiteral(".") + kLineBreak +
           QStringLiteral("El plan conserva sus entradas hasta que las quite del plan.") +
           kLineBreak;
}

QString AliasInUse(const QString& alias) {
    return QStringLiteral("Ya hay un servidor con el alias ") + alias + u'.';
}

// Nothing was written: the transaction is rolled back whole.
void ReportWriteFailure(const QString& errorText) {
    platform::ShowErrorBox(
        QStringLiteral("No se ha podido guardar la lista de servidores; queda como estaba.") +
        kLineBreak + errorText);
}

QLabel* FieldLabel(const QString& text, const QString& name, QWidget* parent, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setGeometry(15, top, 392, 16);
    return label;
}

QLineEdit* Field(const QString& name, QWidget* parent, const QRect& place, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(place);
    // The columns of the shipped table.
    edit->setMaxLength(maxLength);
    return edit;
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent, const QRect& place) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

}  // namespace

TServidoresForm::TServidoresForm(TData& data, QList<ServerEntry> listed, const BackupPlan& plan,
                                 std::optional<ServerEntry> editing, QWidget* parent)
    : QDialog(parent),
      data_(data),
      listed_(std::move(listed)),
      plan_(plan),
      editing_(std::move(editing)) {
    setObjectName(QStringLiteral("Servidores"));
    // The look of the destination chooser: no caption, no buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString());
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(422, 320);

    QFont headingFont(QStringLiteral("Tahoma"), 9);
    headingFont.setBold(true);
    Label4 = new QLabel(
        editing_ ? QStringLiteral("Modificar servidor") : QStringLiteral("Añadir servidor"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(headingFont);
    QPalette maroon = Label4->palette();
    maroon.setColor(QPalette::WindowText, kMaroon);
    Label4->setPalette(maroon);
    Label4->setGeometry(15, 16, 392, 18);

    Label1 = FieldLabel(QStringLiteral("Alias"), QStringLiteral("Label1"), this, 48);
    edAlias = Field(QStringLiteral("edAlias"), this, QRect(15, 66, 200, 21), 60);
    Label2 = FieldLabel(QStringLiteral("Ruta de acceso en el ordenador del servidor"),
                        QStringLiteral("Label2"), this, 98);
    edRutaAcceso = Field(QStringLiteral("edRutaAcceso"), this, QRect(15, 116, 392, 21), 255);
    Label3 =
        FieldLabel(QStringLiteral("Dirección IP (vacía si el servidor está en este ordenador)"),
                   QStringLiteral("Label3"), this, 148);
    edDireccionIP = Field(QStringLiteral("edDireccionIP"), this, QRect(15, 166, 200, 21), 60);
    btComprobar = Button(QStringLiteral("Comprobar"), QStringLiteral("btComprobar"), this,
                         QRect(303, 162, 93, 28));

    // The answer of the check, in the status style of the backup window.
    stComprobacion = new QLabel(this);
    stComprobacion->setObjectName(QStringLiteral("stComprobacion"));
    stComprobacion->setGeometry(15, 200, 392, 60);
    stComprobacion->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    stComprobacion->setWordWrap(true);
    stComprobacion->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    stComprobacion->setMargin(3);
    stComprobacion->setAutoFillBackground(true);
    QPalette status = stComprobacion->palette();
    status.setColor(QPalette::Window, QColor(0xFD, 0xFF, 0xD9));
    stComprobacion->setPalette(status);

    btCancelar = Button(QStringLiteral("Cancelar"), QStringLiteral("btCancelar"), this,
                        QRect(183, 272, 93, 32));
    btCancelar->setAutoDefault(true);
    btAceptar = Button(QStringLiteral("Aceptar"), QStringLiteral("btAceptar"), this,
                       QRect(303, 272, 93, 32));
    btAceptar->setDefault(true);

    if (editing_) {
        edAlias->setText(editing_->Alias);
        edRutaAcceso->setText(editing_->RutaAcceso);
        edDireccionIP->setText(editing_->DireccionIP);
    }

    // Esc rejects the window as Cancelar does (QDialog's own key handling).
    connect(btCancelar, &QPushButton::clicked, this, &QDialog::reject);
    connect(btAceptar, &QPushButton::clicked, this, &TServidoresForm::btAceptarClick);
    connect(btComprobar, &QPushButton::clicked, this, &TServidoresForm::btComprobarClick);
    setTabOrder(edAlias, edRutaAcceso);
    setTabOrder(edRutaAcceso, edDireccionIP);
    setTabOrder(edDireccionIP, btComprobar);
    setTabOrder(btComprobar, btCancelar);
    setTabOrder(btCancelar, btAceptar);
    edAlias->setFocus();
}

void TServidoresForm::Refuse(const QString& text, QLineEdit* field) {
    platform::ShowWarning(text);
    field->setFocus();
    field->selectAll();
}

std::optional<ServerEntry> TServidoresForm::EnteredServer() {
    const ServerEntry server{edAlias->text().trimmed(), edRutaAcceso->text().trimmed(),
                             edDireccionIP->text().trimmed()};
    if (server.Alias.isEmpty()) {
        Refuse(QStringLiteral("Escriba el alias del servidor."), edAlias);
        return std::nullopt;
    }
    // The alias names a key of the stored plan, where "\" separates keys.
    if (server.Alias.contains(u'\\')) {
        Refuse(QStringLiteral("El alias no puede contener la barra \\."), edAlias);
        return std::nullopt;
    }
    // A server keeps its own alias, also where an older list holds it twice.
    const bool aliasKept = editing_ && SameAlias(server.Alias, editing_->Alias);
    for (const ServerEntry& other : listed_) {
        if (aliasKept || !SameAlias(other.Alias, server.Alias)) continue;
        Refuse(AliasInUse(server.Alias), edAlias);
        return std::nullopt;
    }
    if (server.RutaAcceso.isEmpty()) {
        Refuse(QStringLiteral("Escriba la ruta de acceso del servidor."), edRutaAcceso);
        return std::nullopt;
    }
    if (!ValidAddress(server.DireccionIP)) {
        Refuse(QStringLiteral("La dirección IP no es válida. Escriba, por ejemplo, 192.168.1.20 o, "
                              "con el puerto, 192.168.1.20/3050."),
               edDireccionIP);
        return std::nullopt;
    }
    return server;
}

bool TServidoresForm::Comprobar(const ServerEntry& server) {
    QPalette palette = stComprobacion->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
    stComprobacion->setPalette(palette);
    stComprobacion->setText(QStringLiteral("Comprobando el servidor…"));
    stComprobacion->repaint();

    CompanyCatalogueCheck check;
    {
        const platform::WaitCursor busy;
        check = CheckCompanyCatalogue(data_, server);
    }
    answered_.reset();
    if (check.Read) {
        answered_ = server;
        stComprobacion->setText(QStringLiteral("Empresas encontradas en el servidor: ") +
                                QString::number(check.Companies));
    } else {
        QString failure = check.Failure;
        stComprobacion->setText(QStringLiteral("No se ha podido leer la lista de empresas:\n") +
                                failure.replace(kLineBreak, QStringLiteral("\n")));
    }
    palette.setColor(QPalette::WindowText, check.Read ? kGreen : kMaroon);
    stComprobacion->setPalette(palette);
    return check.Read;
}

void TServidoresForm::showEvent(QShowEvent* event) {
    platform::KeepCaptionEmpty(*this);
    QDialog::showEvent(event);
}

void TServidoresForm::btComprobarClick() {
    platform::Guarded([this] {
        if (const std::optional<ServerEntry> server = EnteredServer()) Comprobar(*server);
    });
}

void TServidoresForm::btAceptarClick() {
    platform::Guarded([this] {
        const std::optional<ServerEntry> server = EnteredServer();
        if (!server) return;
        if (editing_ && *server == *editing_) {
            reject();  // nothing changed, nothing to write
            return;
        }
        const bool answered = answered_ == server || Comprobar(*server);
        if (!answered &&
            !platform::AskYesNo(QStringLiteral("No se ha podido leer la lista de empresas de este "
                                               "servidor.") +
                                kLineBreak +
                                QStringLiteral("¿ Desea guardar el servidor de todos modos ?")))
            return;
        if (editing_ && plan_.UsesServer(plantext::ServerText(*editing_)) &&
            !platform::AskYesNo(PlanKeepsEntries(*editing_) +
                                QStringLiteral("¿ Desea modificar el servidor ?")))
            return;

        ServerWrite written;
        {
            const platform::WaitCursor busy;
            written = WriteServerCatalogue(data_, editing_, *server);
        }
        switch (written.Result) {
            case ServerWriteResult::Written:
                Saved = *server;
                Saved.RutaAcceso = serverpath::TrimTrailingSeparator(server->RutaAcceso);
                SavedAnswered = answered;
                accept();
                return;
            case ServerWriteResult::AliasInUse:
                Refuse(AliasInUse(server->Alias), edAlias);
                return;
            case ServerWriteResult::ServerGone:
                platform::ShowInformation(QStringLiteral("El servidor ") + editing_->Alias +
                                          QStringLiteral(" ya no está en la lista de servidores."));
                reject();
                return;
            case ServerWriteResult::NotOpened:
                return;  // reported by the session rules
            case ServerWriteResult::Failed:
                ReportWriteFailure(written.ErrorText);
                return;
        }
    });
}

bool TServidoresForm::QuitarServidor(TData& data, const BackupPlan& plan,
                                     const ServerEntry& server) {
    const QString question = QStringLiteral("¿ Desea quitar el servidor ") + server.Alias +
                             QStringLiteral(" de la lista ?");
    const bool used = plan.UsesServer(plantext::ServerText(server));
    if (!platform::AskYesNo(used ? PlanKeepsEntries(server) + question : question)) return false;
    ServerWrite written;
    {
        const platform::WaitCursor busy;
        written = WriteServerCatalogue(data, server, std::nullopt);
    }
    if (written.Result == ServerWriteResult::Failed) ReportWriteFailure(written.ErrorText);
    // A server already gone is no longer listed either way.
    return written.Result == ServerWriteResult::Written ||
           written.Result == ServerWriteResult::ServerGone;
}
