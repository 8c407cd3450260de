#include "backup/BackupLog.h"

#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

const QString kLogWriteError = QStringLiteral("Error al grabar en tabla LOG");

void ShowLogWriteError(const QString& text) {
    platform::CurrentDialogs().Message(platform::MsgIcon::Error, QStringLiteral("ERROR"), text,
                                       platform::MsgButtons::Ok);
}

}  // namespace

QString BackupLogName() { return platform::ExecutableDirectory() + QStringLiteral("Backup.fdb"); }

QString JoinRemarks(const QStringList& remarks) {
    QString text;
    for (const QString& line : remarks) text += line + QStringLiteral("\r\n");
    return text;
}

void WriteBackupLog(TData& data, const QString& fecha, const QString& hora, const QString& servidor,
                    const QString& empresa, const QString& destino, const QString& exito,
                    const QStringList& remarks) {
    if (!data.OpenDatabaseSession(data.IBDBackup, BackupLogName(), LongFallbackPassword,
                                  SessionPrecondition::DisconnectFirst))
        return;
    fb::Transaction& transaction = data.IBTBackup;
    fb::StoredProc& procedure = data.spAddLineasLog;
    try {
        transaction.RollbackQuietly();
        transaction.StartTransaction();
        procedure.SetParam(QStringLiteral("FECHA"), fecha);
        procedure.SetParam(QStringLiteral("HORA"), hora);
        procedure.SetParam(QStringLiteral("SERVIDOR"), servidor);
        procedure.SetParam(QStringLiteral("EMPRESA"), empresa);
        procedure.SetParam(QStringLiteral("DESTINO"), destino);
        procedure.SetParam(QStringLiteral("EXITO"), exito);
        procedure.SetParam(QStringLiteral("OBSERVACIONES"), JoinRemarks(remarks));
        procedure.ExecProc();
        if (procedure.Output(QStringLiteral("RESULT")).trimmed() == u"-1") {
            ShowLogWriteError(kLogWriteError);
            transaction.RollbackQuietly();
        } else {
            transaction.Commit();
        }
    } catch (const std::exception& error) {
        // The row is lost (a text outside WIN1252, a lock conflict, a failed
        // commit): the operator must not take the backup for logged. The run
        // goes on with its next job.
        transaction.RollbackQuietly();
        ShowLogWriteError(kLogWriteError + QStringLiteral("\n\r") +
                          QString::fromUtf8(error.what()));
    }
    procedure.Close();
    // A server shares the log with every program and keeps the connection
    // for the next use. The engine inside this process would hold the file
    // for this process alone while it stays attached: another operator's
    // program, or isql, could neither append to the log nor read it.
    if (!fb::IsRemoteName(BackupLogName()) &&
        fb::CurrentLocalProvider() == fb::LocalProvider::Embedded)
        data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup);
}
