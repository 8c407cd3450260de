#pragma once
// The backup log: Backup.fdb beside the executable, appended to only through
// its procedure ADDLINEASLOG, one row per logged event.

#include "db/FData.h"

#include <QString>
#include <QStringList>

// "Backup.fdb" beside the executable.
QString BackupLogName();

// The remark lines as OBSERVACIONES stores them: each line followed by a
// carriage return and a line feed; no lines give "".
QString JoinRemarks(const QStringList& remarks);

// Appends one row. A log that cannot be opened has been reported when this
// returns; a RESULT of -1 shows "Error al grabar en tabla LOG" under the
// title "ERROR"; any other failure rolls back and shows the same box with the
// error's text on the next line. Through a server the connection stays open
// until its next use; through the embedded engine it is closed at once.
void WriteBackupLog(TData& data, const QString& fecha, const QString& hora, const QString& servidor,
                    const QString& empresa, const QString& destino, const QString& exito,
                    const QStringList& remarks);
