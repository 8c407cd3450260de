#pragma once
// The schedule dialog: the weekdays and the time of day of the unattended
// backup, a box that switches the schedule off, and "Aceptar", the only way
// to save. Saving with no day and a blank time removes the schedule. Esc
// closes without saving.
//
// Every save writes the store and the main window's copy together, then
// disarms the trigger and lets the main window's notice re-arm it.

#include <QCheckBox>
#include <QDialog>
#include <QString>
#include <QTime>
#include <stdexcept>

#include "schedule/ScheduleOwner.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TBackupForm;

// A value of the schedule that the store could not take:
// "Failed to set data for '<name>'".
class ScheduleStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of an empty time field.
inline const QString kBlankTime = QStringLiteral("  :  ");

// Reads the time field's text "hh:nn" as a time of day: hours 0 to 23 and
// minutes 0 to 59 on either side of the ":", blanks next to a number
// allowed (" 7:05", "7 :5 "). False for anything else, the blank field
// included.
bool ParseScheduleTime(const QString& text, QTime* time = nullptr);

// A check box whose caption stands at the left and its box at the right
// edge, so that the boxes of a column line up whatever their captions.
class TLeftTextCheckBox : public QCheckBox {
    Q_OBJECT
public:
    TLeftTextCheckBox(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};

class TProgramacion : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog and runs FormCreate. The owner is the registered
    // main window unless given; without one the dialog only writes the store.
    explicit TProgramacion(QWidget* parent = nullptr,
                           ScheduleOwner* owner = CurrentScheduleOwner());

    // The time field's text as the schedule reads it: five characters, a
    // blank position as a space ("  :  " when empty).
    QString TimeText() const;
    // Puts each digit of `text` at its own position of the field, a blank
    // where the text has none (" 7:05" stays " 7:05").
    void SetTimeText(const QString& text);

    // Writes the dialog's state to the store and into the main window's
    // copy of the schedule.
    void SaveSchedule();

    QLabel* Label1 = nullptr;
    QLineEdit* edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QWidget* Shape1 = nullptr;
    TLeftTextCheckBox* chlunes = nullptr;
    TLeftTextCheckBox* chMartes = nullptr;
    TLeftTextCheckBox* chMiercoles = nullptr;
    TLeftTextCheckBox* chJueves = nullptr;
    TLeftTextCheckBox* chViernes = nullptr;
    TLeftTextCheckBox* chSabado = nullptr;
    TLeftTextCheckBox* chDomingo = nullptr;
    QPushButton* btAceptar = nullptr;
    QCheckBox* chDesactivar = nullptr;

public slots:
    // When the focus leaves the time field: "Hora errónea" for a text that
    // is no time of day, and the focus back in the field. True when the
    // text is blank or a time.
    bool edit1Exit();
    void btAceptarClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void FormCreate();
    // Enter and Esc, seen before the focused control sees them.
    bool FormKeyPress(QKeyEvent* event);
    // The day boxes with their weekday digits, Monday first.
    QList<QPair<QCheckBox*, QChar>> DayBoxes() const;

    ScheduleOwner* owner_;
    // The focus left the time field for a press not yet delivered.
    bool mouseLeftTimeField_ = false;
};

// The click of the backup window's spProgramacion: checks the plan shown in
// its tree, then opens the schedule dialog.
void ProgramacionFromBackupForm(TBackupForm& form);
// Makes the backup window's spProgramacion open the schedule dialog.
void InstallScheduleDialogHook();
