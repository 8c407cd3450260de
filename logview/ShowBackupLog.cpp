#include "logview/ShowBackupLog.h"

#include <QApplication>
#include <QComboBox>
#include <QSignalBlocker>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

// Gives the memory of the closed browser back to the system: the C library
// keeps freed memory for later use, and after a log of a million rows that
// would be a hundred megabytes held by a program that waits in the tray.
struct FreedMemoryReturner {
    ~FreedMemoryReturner() {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }
};

}  // namespace

void ShowBackupLog(TData& data, int Mode, QWidget* owner) {
    // Declared first, so that it runs after the window and the session are gone.
    const FreedMemoryReturner returner;
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
