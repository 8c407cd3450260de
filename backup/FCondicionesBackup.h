#pragma once
// The confirmation shown before an interactive backup of one company: where
// the copy comes from (server and company) and where it goes (server and
// destination folder). "Continuar" answers OK, "Cancelar" or Escape Cancel.

#include <QDialog>

class QLabel;
class QPushButton;

namespace runwindows {
class TShape;
}

class TCondicionesBackup : public QDialog {
    Q_OBJECT
public:
    explicit TCondicionesBackup(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label7 = nullptr;
    runwindows::TShape* Shape1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* label1 = nullptr;
    QLabel* Label2 = nullptr;  // server text
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;  // company entry
    runwindows::TShape* Shape2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;  // server text again
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;        // destination folder
    QPushButton* BitBtn2 = nullptr;  // Continuar
    QPushButton* BitBtn1 = nullptr;  // Cancelar

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceControls();
};
