#pragma once

#include <functional>
// The backup selection window: the servers of this computer and the
// companies of the selected server on the left, the backup plan on the
// right. Servers and companies are dragged from the lists into the plan;
// a row of buttons saves the plan, deletes entries, starts a backup, shows
// the log and the schedule, opens the help and closes the window.
//
// The window only shows and forwards: the plan's rules live in BackupPlan,
// the lists' contents in TCatalogue.

#include <QDialog>
#include <QStringList>
#include <QTreeWidget>
#include <optional>

#include "db/Catalogue.h"
#include "plan/BackupPlan.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMouseEvent;
class QSplitter;
class QStyleOptionViewItem;
class QToolButton;
class TBackupForm;

// The plan tree. Presses, clicks of the primary button and drags are handed
// to the window's rules; nothing here changes the plan itself.
class TPlanTreeView : public QTreeWidget {
    Q_OBJECT
public:
    TPlanTreeView(TBackupForm& form, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TBackupForm& form_;
    bool primaryPressed_ = false;
};

// The widget a drag into the plan tree comes from. Qt names it for every
// drag that starts in this program; where the platform cannot run a real
// drag (the offscreen platform of the tests) a test names it here, and
// nullptr gives the question back to Qt.
void SetSimulatedDragSource(QObject* source);

class TBackupForm : public QDialog {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate: loads the plan from the store
    // and the catalogue from Servidores.gdb.
    explicit TBackupForm(TData& data, QWidget* parent = nullptr);
    ~TBackupForm() override;

    BackupPlan Plan;
    TCatalogue Catalogue;
    // The state of a backup run (RunBackup), held here for its length.
    bool Unattended = false;
    QStringList Remarks;
    // True while an interactive backup run of this window goes on: the
    // window stays open until it ends.
    bool InteractiveRun = false;
    // What the last unattended walk (RunScheduledBackup) did: the companies
    // it wrote a row for, and how many of those rows say "F".
    int ScheduledCompanies = 0;
    int ScheduledFailures = 0;

    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    QWidget* Panel6 = nullptr;
    QLabel* Label1 = nullptr;
    QTreeWidget* listview1 = nullptr;
    QLabel* Label2 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* Panel8 = nullptr;
    QToolButton* spGuardar = nullptr;
    QToolButton* spBorrarServidor = nullptr;
    QToolButton* spBackup = nullptr;
    QToolButton* spLog = nullptr;
    QToolButton* spProgramacion = nullptr;
    QToolButton* spAyuda = nullptr;
    QToolButton* spSalir = nullptr;
    QWidget* Panel10 = nullptr;
    QLabel* Label3 = nullptr;
    TPlanTreeView* TreeView = nullptr;
    QWidget* Panel9 = nullptr;
    QLabel* st1 = nullptr;

    // What spProgramacion and spLog open: the schedule and log layers sit
    // above this window and set these at start-up. Empty: nothing opens.
    static inline std::function<void(TBackupForm&)> ScheduleDialogHook;
    static inline std::function<void(TBackupForm&)> LogBrowserHook;

    // Shows the plan in the tree as it stands: entries, expanded servers,
    // selected entry.
    void ShowPlan();
    // The plan entry a tree item shows, and the item of an entry.
    PlanRef EntryOf(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* ItemOf(const PlanRef& entry) const;

    // The rules of the tree (see TPlanTreeView).
    void TreeViewMouseDown(const QPoint& position);
    void TreeViewClick();
    bool TreeViewDragOver(const QObject* source) const;
    void TreeViewDragDrop(const QObject* source);
    // Colour and weight of one entry as the tree draws it.
    void TreeViewCustomDrawItem(QStyleOptionViewItem& option, const QModelIndex& index) const;

public slots:
    // The immediate backup of the picked server or company, and the
    // unattended walk over the whole plan. Both live beside the run in
    // backup/FBackupFormRun.cpp.
    void RunBackup();
    void RunScheduledBackup();

    void spGuardarClick();
    void spBorrarServidorClick();
    void spBackupClick();
    // Opens the log browser in browse mode (ShowBackupLog); a later task
    // fills it in.
    void spLogClick();
    // Opens the schedule dialog; a later task fills it in.
    void spProgramacionClick();
    void spAyudaClick();
    void spSalirClick();
    void listview1Click();
    void listview1Change();
    // The context menu of the server list: add a server, and change or
    // remove the one under the pointer (TServidoresForm). The list is read
    // again afterwards.
    void listview1ContextPopup(const QPoint& position);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    QToolButton* AddButton(const QString& name, const QString& picture, const QString& hint,
                           int left);
    void FormCreate();
    void FormActivate();
    void FormResize();
    void FormClose();
    void FormHelp();
    void listview1MouseEnter(QObject* list);
    void listview1MouseLeave();
    void EditDestination();
    void FillServerList();
    void FillCompanyList();
    void ShowSelectedServer(int row);
    int SelectedRow(const QTreeWidget* list) const;
    void EditServer(const std::optional<ServerEntry>& editing);
    void RemoveServer(const ServerEntry& server);
    ServerEntry SelectedServerEntry() const;

    TData& data_;
};
