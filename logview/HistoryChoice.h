#pragma once
// The backup chosen in the log browser for a restore: kept for the whole run
// of the program, written only when the log browser closes in choose mode and
// read by the restore window.

#include <QString>

struct THistoryChoice {
    QString Server;          // "LOCAL" or the server's address
    QString BackupFile;      // the row's DESTINO: the .fbk file
    QString TargetDatabase;  // the row's EMPRESA: the company database

    void Clear();
    bool operator==(const THistoryChoice&) const = default;
};

extern THistoryChoice HistoryChoice;

// The server that holds the backup of a row, from its SERVIDOR text:
// "LOCAL" when the text begins "[]" (a server without an address), else the
// text before its first "]" without any "[" (the whole text when it holds no
// "]").
QString ServerOfLogEntry(const QString& servidor);

// The choice a valid row gives.
THistoryChoice ChoiceOfLogEntry(const QString& servidor, const QString& destino,
                                const QString& empresa);
