#pragma once
// The restore window: which computer's Firebird server restores, which .fbk
// file it reads and which database it creates. The fields are typed, filled
// by the file and folder choosers (for a restore on this computer) or taken
// from a successful entry of the backup log; spRestore runs the restore.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "db/FData.h"
#include "restore/RestoreRun.h"

class QLabel;
class QLineEdit;
class QToolButton;

namespace restorelook {
class TShape;
}

// The file-open dialog of the window: a starting folder, one filter entry
// ("*.fbk|*.fbk": shown as "*.fbk", pattern "*.fbk") and a default extension.
class TOpenDialog {
public:
    QString InitialDir;
    QString Filter;
    QString DefaultExt;
    // The chosen file's full path, once Execute returned true.
    QString FileName;

    // Shows the dialog over `owner`; false on Cancel.
    bool Execute(QWidget* owner);
};

// What actually shows the file-open dialog: the chosen path or nothing on
// Cancel. Tests put their own answer here; an empty function brings back the
// real dialog.
using FileChooserFunction =
    std::function<std::optional<QString>(QWidget* owner, const TOpenDialog& dialog)>;
void SetFileChooser(FileChooserFunction chooser);

class TRestoreForm : public QDialog, public RestoreHost {
    Q_OBJECT
public:
    explicit TRestoreForm(TData& data, QWidget* parent = nullptr);

    QWidget* Panel1 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QWidget* Panel8 = nullptr;
    QToolButton* spRestore = nullptr;
    QToolButton* spAyuda = nullptr;
    QToolButton* spSalir = nullptr;
    restorelook::TShape* Shape3 = nullptr;
    QLabel* Label4 = nullptr;
    QToolButton* spLeerLog = nullptr;
    restorelook::TShape* Shape1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* spBuscar = nullptr;
    restorelook::TShape* Shape2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QToolButton* spRestaurarEn = nullptr;
    QLabel* st1 = nullptr;
    TOpenDialog OpenDialog1;

    // spBuscar and spRestaurarEn are enabled exactly when the server field
    // says "LOCAL" in any letter case: the choosers show this computer's
    // disks.
    void UpdateBrowseButtons();

    // RestoreHost: what the restore run does to this window.
    bool ConfirmRestore(const RestoreRequest& request) override;
    void LockButtons() override;
    void ResetWindow() override;
    QWidget* Window() override { return this; }

public slots:
    void spRestoreClick();
    void spAyudaClick();
    void spSalirClick();
    void spLeerLogClick();
    void spBuscarClick();
    void spRestaurarEnClick();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The window has no close box: only spSalir closes it.
    void reject() override {}

private:
    void BuildControls();
    QToolButton* PictureButton(QWidget* parent, const QString& name, const QString& picture,
                               const QString& hint, const QRect& place, int iconSize);
    void FormCreate();
    void FormActivate();
    void FormHelp();
    void Edit3Exit();
    void Edit3MouseEnter(QObject* field);
    void Edit3MouseLeave();

    TData& data_;
    // While spRestoreClick runs the restore; and from a deactivation during
    // the restore (its confirmation, progress window or boxes took the
    // activation) to the activation that gives it back.
    bool restoreRunning_ = false;
    bool deactivatedByRestore_ = false;
    // The restore of the last spRestoreClick got as far as locking them.
    bool buttonsLockedByRun_ = false;
};
