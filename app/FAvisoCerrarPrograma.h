#pragma once
// The close warning: shown when the main window is closed while a schedule is
// stored. OK keeps the program running in the notification area; Cancel lets
// the program end.

#include <QDialog>
#include <QPushButton>
#include <functional>

class QLabel;

// A large button with a picture at the left and its caption wrapped beside it.
class TBitBtn : public QPushButton {
    Q_OBJECT
public:
    TBitBtn(const QPixmap& glyph, const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap glyph_;
};

class TAvisoCerrarPrograma : public QDialog {
    Q_OBJECT
public:
    explicit TAvisoCerrarPrograma(QWidget* parent = nullptr);

    // Shows the warning modally and gives its result: Accepted keeps the
    // program running, Rejected lets it end. A test that runs the whole
    // program answers it from the inside instead (AnswererInForce).
    int Run();

    // Answers a warning in place of the operator; empty: the operator does.
    using Answerer = std::function<int(TAvisoCerrarPrograma&)>;
    static Answerer& AnswererInForce();

    QWidget* Panel1 = nullptr;  // white band across the top
    QLabel* Image1 = nullptr;
    QLabel* Label5 = nullptr;    // what closing means
    QLabel* Label1 = nullptr;    // "Existe una copia programada para"
    QLabel* Label2 = nullptr;    // the day list
    QLabel* Label4 = nullptr;    // "Hora :"
    QLabel* Label3 = nullptr;    // the time
    TBitBtn* BitBtn1 = nullptr;  // leave: Cancel, Esc
    TBitBtn* BitBtn2 = nullptr;  // keep running: OK, Enter, focused first
};
