#pragma once
// The error window of an unattended backup whose verification failed:
// always on top, no buttons; it stays until somebody closes it through its
// frame. Label1 carries "Mensaje : " and the error text, all of it: the
// window grows to show every line when it opens.

#include <QDialog>

class QLabel;
class QScrollArea;

class TErrorenCopia : public QDialog {
    Q_OBJECT
public:
    explicit TErrorenCopia(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;

protected:
    // Only the frame closes it: Escape does nothing.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // As tall as the message needs, up to the screen's height; beyond that
    // the message scrolls.
    void FitMessage();

    QScrollArea* message_ = nullptr;
};
