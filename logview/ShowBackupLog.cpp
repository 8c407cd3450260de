#include "logview/ShowBackupLog.h"

#include <QApplication>
#include <QComboBox>
#include <QSignalBlocker>

#include "backup/BackupLog.h"
#include "logview/FLogForm.h"
#include "logview/HistoryChoice.h"
#include "platform/Dialogs.h"

using namespace logtext;

namespace {

// Choose mode: the selected row becomes the choice.
void TakeChoice(const std::optional<TLogRow>& row) {
    if (!row) return;
    if (row->Icon == 0) {
        platform::ShowInformation(kInvalidCopy);
        HistoryChoice.Clear();
        return;
    }
    HistoryChoice = ChoiceOfLogEntry(row->Servidor, row->Destino, row->Empresa);
}

}  // namespace

void ShowBackupLog(TData& data, int Mode, QWidget* owner) {
    if (!data.OpenDatabaseSession(data.IBDBackup, BackupLogName(), LongFallbackPassword,
                                  SessionPrecondition::DisconnectFirst)) {
        data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup);
        return;
    }
    // Declared before the window, so that it runs after the window is gone.
    struct SessionCloser {
        TData& data;
        ~SessionCloser() { data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup); }
    } closer{data};

    fb::Statement& statement = data.IBSQLBackup;
    data.IBTBackup.RollbackQuietly();
    statement.SetSql(kSelect + kOrderByDate);
    data.IBTBackup.StartTransaction();
    statement.Execute();

    if (owner == nullptr) owner = QApplication::activeWindow();
    TLogForm form(data, owner);
    form.Mode = Mode;
    form.Rows->Clear();
    form.cbServidores->addItem(kAllServers);
    form.AddRows(statement, true);
    {
        const QSignalBlocker quiet(form.cbServidores);
        form.cbServidores->setCurrentIndex(0);
    }
    // The connection and its read transaction stay open while the window is
    // up, until a refill closes them.
    form.exec();
    if (Mode == 1) TakeChoice(form.SelectedRow());
}

void ShowBackupLog(int Mode) { ShowBackupLog(*Data, Mode); }
