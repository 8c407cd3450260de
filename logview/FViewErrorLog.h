#pragma once
// The detail of one log row: every column, the observations one per line, and
// a banner telling whether that copy succeeded or failed. Read only.

#include <QDialog>

#include "db/FData.h"
#include "logview/FLogForm.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TViewErrorLog : public QDialog {
    Q_OBJECT
public:
    explicit TViewErrorLog(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Label7 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Image1 = nullptr;  // failure picture
    QLabel* Label6 = nullptr;  // "Error en la copia"
    QLabel* Image2 = nullptr;  // success picture
    QLabel* Label8 = nullptr;  // "Copia satisfactoria"
    QPushButton* BitBtn1 = nullptr;

    // The banner for an EXITO text: "T" puts the success banner where the
    // failure banner stands, "F" shows the failure banner, anything else none.
    void ShowBanner(const QString& exito);
    // The observations, one line per remark.
    void ShowObservations(const QString& observaciones);

protected:
    // The window sees key presses before its controls.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool FormKeyPress(int key);
};

// Finds the row again by the four texts the list shows (date, time, server,
// company), shows it in a TViewErrorLog modally over `owner` and destroys it.
// The log's connection is closed before the window shows. A failure closes
// the connection, shows no window and propagates.
void ShowLogEntry(TData& data, const TLogRow& row, QWidget* owner = nullptr);
