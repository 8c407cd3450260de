#pragma once
// The restore run: a .fbk file turned back into a database by the Firebird
// server of one computer, through its service manager, with the server's
// verbose output shown line by line in the progress window. The run does not
// judge the outcome: errors of the restore arrive as output lines. Only an
// output that ends before gbak's closing words (a backup file that breaks
// off, which the server gives up without an error) is a failed restore.

#include <QByteArray>
#include <QString>

#include "db/FData.h"

class QWidget;

// The three fields of the restore window, read when the run starts.
struct RestoreRequest {
    QString Server;          // address or host name; "" or "LOCAL": this computer
    QString BackupFile;      // the .fbk file, as that computer sees it
    QString TargetDatabase;  // the database to create there

    bool operator==(const RestoreRequest&) const = default;
};

namespace restoretext {

inline const QString kNoBackupFile = QStringLiteral("No se ha especificado archivo fbk de copia");
inline const QString kNoTarget = QStringLiteral("No se ha especificado destino");
inline const QString kProgressTitle = QStringLiteral("Restaurando en ");
inline const QString kFinished = QStringLiteral("¡ PROCESO TERMINADO !");

}  // namespace restoretext

// The fixed settings of every restore.
inline constexpr unsigned kRestoreOptions = 0x1000 | 0x2000;  // replace, create
inline constexpr unsigned kRestorePageSize = 4096;
inline constexpr unsigned kRestoreBuffers = 3000;

// The start request of a restore, items in this order: the restore action,
// options 0x3000, verbose, page size 4096, buffers 3000, the backup file,
// the database. A file or database name that is blank once trimmed is left
// out; the others travel as they are (UTF-8). A name longer than the
// request can hold (65535 bytes) is an FbError.
QByteArray BuildRestoreRunParams(const QString& backupFile, const QString& database);

// A line of the server's output as the progress shows it: when it holds
// "gbak:" (in lower case), every "gbak:" in any letter case becomes
// "Copiando : ".
QString RewriteRestoreLine(const QString& line);

// The service manager address of a request: none for "" and for "LOCAL"
// (exactly so: "local" is a host name), else the server text itself.
QString RestoreServerAddress(const QString& server);

// What the run needs of the restore window.
class RestoreHost {
public:
    virtual ~RestoreHost() = default;
    // Shows the confirmation with the request; true to go on.
    virtual bool ConfirmRestore(const RestoreRequest& request) = 0;
    // Disables spRestore, spSalir, spAyuda, spLeerLog, spBuscar and
    // spRestaurarEn, in this order.
    virtual void LockButtons() = 0;
    // Empties Edit3, Edit1, Edit4 and Edit2 (in this order), puts the focus
    // on Edit3 and enables the six buttons in the order above.
    virtual void ResetWindow() = 0;
    // The window the progress window belongs to.
    virtual QWidget* Window() = 0;
};

// The whole run. Missing input and a cancelled confirmation end it at once;
// from the lock on, the window is reset at the end whatever happens. A start
// failure, or an output failure after the completion box (a restore that
// stopped short among them), propagates after that reset, for the caller's
// general error report.
void RunRestore(TData& data, const RestoreRequest& request, RestoreHost& host);
