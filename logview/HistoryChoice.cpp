#include "logview/HistoryChoice.h"

THistoryChoice HistoryChoice;

void THistoryChoice::Clear() {
    Server.clear();
    BackupFile.clear();
    TargetDatabase.clear();
}

QString ServerOfLogEntry(const QString& servidor) {
    if (servidor.size() >= 2 && servidor.at(1) == u']') return QStringLiteral("LOCAL");
    const qsizetype close = servidor.indexOf(u']');
    QString server = close < 0 ? servidor : servidor.left(close);
    server.remove(u'[');
    return server;
}

THistoryChoice ChoiceOfLogEntry(const QString& servidor, const QString& destino,
                                const QString& empresa) {
    return THistoryChoice{ServerOfLogEntry(servidor), destino, empresa};
}
