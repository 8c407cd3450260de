#pragma once
// The server window: one server of the list of this computer (Servidores.gdb)
// added or changed by the operator: its alias, its folder as its own
// computer sees it and the address of that computer (empty for this one).
// Before anything is written the window reads the server's Empresas.gdb and
// shows how many companies it holds or why it could not be read; a server
// that does not answer is saved only after the operator confirms it.
// Opened from the context menu of the backup window's server list, which
// reads the list again afterwards.

#include <QDialog>
#include <optional>

#include "db/ServerCatalogueEdit.h"
#include "plan/BackupPlan.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TServidoresForm : public QDialog {
    Q_OBJECT
public:
    // `listed`: the servers as the backup window lists them; `editing`: the
    // listed server to change, none to add one.
    TServidoresForm(TData& data, QList<ServerEntry> listed, const BackupPlan& plan,
                    std::optional<ServerEntry> editing, QWidget* parent = nullptr);

    // Removes a listed server after the operator's yes; true when removed.
    static bool QuitarServidor(TData& data, const BackupPlan& plan, const ServerEntry& server);

    QLabel* Label4 = nullptr;  // "Añadir servidor" / "Modificar servidor"
    QLabel* Label1 = nullptr;
    QLineEdit* edAlias = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edRutaAcceso = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edDireccionIP = nullptr;
    QPushButton* btComprobar = nullptr;
    QLabel* stComprobacion = nullptr;  // the answer of the last check
    QPushButton* btCancelar = nullptr;
    QPushButton* btAceptar = nullptr;

    // After an OK result: the server as written, and whether its check
    // read its companies.
    ServerEntry Saved;
    bool SavedAnswered = false;

public slots:
    void btComprobarClick();
    void btAceptarClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The fields as a server, or none after telling the operator what is
    // missing or wrong.
    std::optional<ServerEntry> EnteredServer();
    // Reads the server's companies and shows the answer; true when read.
    bool Comprobar(const ServerEntry& server);
    void Refuse(const QString& text, QLineEdit* field);

    TData& data_;
    QList<ServerEntry> listed_;
    const BackupPlan& plan_;
    std::optional<ServerEntry> editing_;
    // The server of the last check that read its companies.
    std::optional<ServerEntry> answered_;
};
