#pragma once
// Reading back what the backup log holds, from a connection of its own.

#include <QList>
#include <QStringList>

#include "backup/BackupLog.h"
#include "db/FData.h"
#include "db/FbClient.h"

// The log's rows in the order they were appended, each as its seven texts:
// FECHA, HORA, SERVIDOR, EMPRESA, DESTINO, EXITO, OBSERVACIONES.
inline QList<QStringList> LogRows(TData& data) {
    data.IBDBackup.Disconnect();
    fb::Database db;
    db.SetParams(TData::DatabaseParams(QStringLiteral("x")));
    db.SetDatabaseName(BackupLogName());
    db.Connect();
    fb::Transaction transaction(db, {QStringLiteral("concurrency"), QStringLiteral("nowait")});
    fb::Statement statement(db, transaction);
    transaction.StartTransaction();
    statement.SetSql(
        QStringLiteral("select fecha, hora, servidor, empresa, destino, exito, observaciones "
                       "from backuplog order by rdb$db_key"));
    statement.Execute();
    QList<QStringList> rows;
    while (statement.Next()) {
        QStringList row;
        for (int i = 0; i < statement.FieldCount(); ++i) row << statement.Field(i);
        rows << row;
    }
    transaction.Rollback();
    return rows;
}
