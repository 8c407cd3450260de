#include "backup/BackupLog.h"

#include "platform/Dialogs.h"
#include "platform/Paths.h"

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
            platform::CurrentDialogs().Message(platform::MsgIcon::Error, QStringLiteral("ERROR"),
                                               QStringLiteral("Error al grabar en tabla LOG"),
                                               platform::MsgButtons::Ok);
            transaction.RollbackQuietly();
        } else {
            transaction.Commit();
        }
    } catch (const std::exception&) {
        // The row is lost; the run goes on with its next job.
        transaction.RollbackQuietly();
    }
    procedure.Close();
}
