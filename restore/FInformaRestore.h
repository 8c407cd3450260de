#pragma once
// The confirmation before a restore: what is restored from where into what,
// with a warning to rename the existing database first. It has no behaviour
// of its own besides its two buttons: Cancelar (and Esc) ends the restore,
// "Seguir con la restauración" lets it go on.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace restorelook {
class TShape;
}

class TInformaRestore : public QDialog {
    Q_OBJECT
public:
    explicit TInformaRestore(QWidget* parent = nullptr);

    QLabel* Label4 = nullptr;
    restorelook::TShape* Shape1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    restorelook::TShape* Shape2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    restorelook::TShape* Shape5 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    restorelook::TShape* Shape3 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label6 = nullptr;
    restorelook::TShape* Shape4 = nullptr;
    QLabel* Label12 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // Cancelar
    QPushButton* BitBtn2 = nullptr;  // Seguir con la restauración

    // The request as the window shows it: the target in Label10 and Edit2,
    // the server text as typed in Label12, Edit3 and Edit4, the backup file
    // in Edit1.
    void Fill(const QString& server, const QString& backupFile, const QString& target);

protected:
    void showEvent(QShowEvent* event) override;
};
