#pragma once
// The destination chooser: the folder into which one server's backups go,
// typed in or, for a server on this computer, picked in the folder browser.
// The caller sets LocalServer, the heading Label2 and the folder Edit1,
// shows the dialog modally and reads Edit1 after an OK result.

#include <QDialog>

class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QToolButton;

class TDestino : public QDialog {
    Q_OBJECT
public:
    explicit TDestino(QWidget* parent = nullptr);

    // The server of the destination is on this computer: only then can its
    // folders be browsed.
    bool LocalServer = false;

    QLabel* Label2 = nullptr;  // "Servidor : " + the server entry's text
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* spBuscar = nullptr;
    QPushButton* btCancelar = nullptr;
    QPushButton* btAceptar = nullptr;

public slots:
    void spBuscarClick();
    void btAceptarClick();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
};
