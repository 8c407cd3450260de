// The backup window's run operations. The window (plan/) shows the plan and
// takes the operator's choice; the run itself is TBackupRun's, which sees the
// window through the small host below.

#include <QToolButton>

#include "backup/BackupRun.h"
#include "plan/FBackupForm.h"

namespace {

class BackupFormHost final : public BackupRunHost {
public:
    explicit BackupFormHost(TBackupForm& form) : form_(form) {}

    BackupPlan& Plan() override { return form_.Plan; }

    // The window keeps the plan's selected entry in step with the tree's
    // current item, keyboard moves included.
    PlanRef SelectedEntry() const override { return form_.Plan.SelectedEntry; }

    void SelectEntry(const PlanRef& entry) override {
        QTreeWidgetItem* item = form_.ItemOf(entry);
        form_.TreeView->setCurrentItem(item);
        if (item != nullptr)
            form_.TreeView->scrollToItem(item);
        else
            form_.TreeView->clearSelection();
        form_.Plan.SelectedEntry = item != nullptr ? entry : PlanRef{};
    }

    bool TreeHasFocus() const override { return form_.focusWidget() == form_.TreeView; }

    void SetRunControlsEnabled(bool enabled) override {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 form_.spGuardar, form_.spBorrarServidor, form_.spBackup, form_.spLog,
                 form_.spProgramacion, form_.spAyuda, form_.spSalir, form_.listview1,
                 form_.ListView2, form_.TreeView})
            control->setEnabled(enabled);
    }

    void FocusTree() override {
        form_.TreeView->setEnabled(true);
        form_.TreeView->setFocus();
    }

    bool Unattended() const override { return form_.Unattended; }
    void SetUnattended(bool unattended) override { form_.Unattended = unattended; }
    QStringList& Remarks() override { return form_.Remarks; }
    QWidget* Window() override { return &form_; }

private:
    TBackupForm& form_;
};

}  // namespace

void TBackupForm::RunBackup() {
    BackupFormHost host(*this);
    const bool interactive = !Unattended && !InteractiveRun;
    if (interactive) InteractiveRun = true;
    struct EndOfRun {
        TBackupForm& form;
        bool interactive;
        ~EndOfRun() {
            if (interactive) form.InteractiveRun = false;
        }
    } endOfRun{*this, interactive};
    TBackupRun(*Data, host).RunBackup();
}

void TBackupForm::RunScheduledBackup() {
    BackupFormHost host(*this);
    TBackupRun run(*Data, host);
    // Also when the walk ends with an error: what it did so far.
    struct Tallied {
        TBackupForm& form;
        const TBackupRun& run;
        ~Tallied() {
            form.ScheduledCompanies = run.Tally.Companies;
            form.ScheduledFailures = run.Tally.Failed;
        }
    } tallied{*this, run};
    run.RunScheduledBackup();
}
