#pragma once
// The progress window of a backup, its verification and a restore: one
// multi-line text box that receives the service's output line by line. Shown
// without blocking; its user fills it and destroys it as soon as the output
// ends. While it exists it can be found by its instance name "Progreso".

#include <QWidget>

class QPlainTextEdit;

class TProgreso : public QWidget {
    Q_OBJECT
public:
    explicit TProgreso(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr;
};
