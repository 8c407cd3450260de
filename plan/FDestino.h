#pragma once
// The destination chooser: the folder into which one server's backups go,
// typed in or, for a server on this computer, picked in the folder browser,
// and how many backups of each company are kept there.
// The caller sets LocalServer, the heading Label2, the folder Edit1 and the
// number seConservar, shows the dialog modally and reads Edit1 and
// seConservar after an OK result.

#include <QDialog>

class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QShowEvent;
class QToolButton;

class TDestino : public QDialog {
    Q_OBJECT
public:
    explicit TDestino(QWidget* parent = nullptr);

    // The server of the destination is on this computer: only then can its
    // folders be browsed, and old backups be removed from them.
    bool LocalServer = false;

    QLabel* Label2 = nullptr;  // "Servidor : " + the server entry's text
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* spBuscar = nullptr;
    // Backups kept of each company: 0 ("Todas") keeps them all. Only for a
    // server on this computer; for another, Label4 says why not.
    QLabel* Label3 = nullptr;
    QSpinBox* seConservar = nullptr;
    QLabel* Label4 = nullptr;
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
