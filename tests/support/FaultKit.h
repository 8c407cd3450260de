#pragma once
// Faults provoked for real in a private Firebird server (FirebirdTestServer)
// while it works: killed with SIGKILL, or given a file-size limit so that its
// writes fail as they do on a destination without free space. And a company
// database big enough that its backup and its restore are still running when
// the fault comes.

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryFile>
#include <QThread>
#include <QtDebug>
#include <csignal>
#include <functional>

#include "backup/FProgreso.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

namespace faultkit {

// The server's process, read from its folder; 0 when there is none.
inline pid_t ServerPid(const FirebirdTestServer& server) {
    QFile file(server.dir() + QStringLiteral("/pid"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return static_cast<pid_t>(file.readAll().trimmed().toLong());
}

// True while the process runs; a zombie has let go of its files and port.
inline bool ProcessAlive(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    const char state = end >= 0 && end + 2 < line.size() ? line.at(end + 2) : 'X';
    return state != 'Z' && state != 'X';
}

// SIGKILL, as a crash or the out-of-memory killer would end the server: no
// clean shutdown, connections cut. Waits until it is gone (at most 10 s).
inline bool KillServer(const FirebirdTestServer& server) {
    const pid_t pid = ServerPid(server);
    if (pid <= 0 || ::kill(pid, SIGKILL) != 0) {
        qWarning("KillServer: no server process in %s", qPrintable(server.dir()));
        return false;
    }
    for (int i = 0; i < 1000 && ProcessAlive(pid); ++i) QThread::msleep(10);
    return !ProcessAlive(pid);
}

// SIGSTOP, as a hung server or a pulled network cable leaves it: the
// connections stay open and nothing answers. ThawServer (SIGCONT) lets it
// go on.
inline bool FreezeServer(const FirebirdTestServer& server) {
    const pid_t pid = ServerPid(server);
    return pid > 0 && ::kill(pid, SIGSTOP) == 0;
}

inline bool ThawServer(const FirebirdTestServer& server) {
    const pid_t pid = ServerPid(server);
    return pid > 0 && ::kill(pid, SIGCONT) == 0;
}

// A server started after this call inherits SIGXFSZ ignored (an ignored
// signal stays ignored across fork and exec): past its file-size limit a
// write then fails with EFBIG, as it fails with ENOSPC on a full disk,
// instead of the signal ending the server. Harmless for this process, which
// has no limit.
inline void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

// Files that the server writes may grow to `bytes` at most from now on; -1
// lifts the limit. Only the soft limit changes, so that it can be lifted
// again without privileges.
inline bool LimitServerFileSize(const FirebirdTestServer& server, qint64 bytes) {
    const pid_t pid = ServerPid(server);
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly)) {
        qWarning("LimitServerFileSize: no server process in %s", qPrintable(server.dir()));
        return false;
    }
    bool ignored = false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigIgn:"))
            ignored = (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGXFSZ - 1)) & 1U;
    if (!ignored) {
        qWarning(
            "LimitServerFileSize: the server does not ignore SIGXFSZ "
            "(IgnoreFileSizeSignal before start)");
        return false;
    }
    struct rlimit limit {};
    if (::prlimit(pid, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
    limit.rlim_cur = bytes < 0 ? limit.rlim_max : static_cast<rlim_t>(bytes);
    if (::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) != 0) {
        qWarning("LimitServerFileSize: prlimit failed on %d", static_cast<int>(pid));
        return false;
    }
    return true;
}

// The sample company with `invoices` invoices in all (the sample's 1,500
// and more, 5 lines each, with a text remark), generated as the backup
// benchmark grows its company. 20,000 invoices make some 15 MB of database
// and 7.5 MB of backup file; LINEAS has some 97,000 rows, so the service
// output reports the progress of its data ("10000 records written") several
// times. Filled without forced writes, which makes it several times faster;
// they are switched on again afterwards.
inline bool MakeBigCompanyDatabase(const QString& path, int invoices) {
    if (!MakeCompanyDatabase(path)) return false;
    const QString grow =
        QStringLiteral(
            "SET TERM ^ ;\n"
            "EXECUTE BLOCK AS\n"
            "  DECLARE I INTEGER = 1501;\n"
            "  DECLARE L INTEGER;\n"
            "BEGIN\n"
            "  WHILE (I <= %1) DO\n"
            "  BEGIN\n"
            "    INSERT INTO FACTURAS (ID, NUMERO, FECHA, CLIENTE, TOTAL, OBSERVACIONES)\n"
            "    VALUES (:I, 'B' || LPAD(:I, 8, '0'), DATEADD(MOD(:I, 3650) DAY TO DATE "
            "'2016-01-01'),\n"
            "      MOD(:I, 240) + 1, MOD(:I * 37, 100000) / 100.0,\n"
            "      'Factura ' || :I || ' de prueba: entrega en almacén, pago a 30 días. ' ||\n"
            "      LPAD('', MOD(:I, 120), 'x'));\n"
            "    L = 1;\n"
            "    WHILE (L <= 5) DO\n"
            "    BEGIN\n"
            "      INSERT INTO LINEAS (FACTURA, LINEA, ARTICULO, CANTIDAD, PRECIO)\n"
            "      VALUES (:I, :L, MOD(:I + :L, 120) + 1, MOD(:I, 17) + 1, MOD(:I * :L, 5000) / "
            "10.0);\n"
            "      L = L + 1;\n"
            "    END\n"
            "    I = I + 1;\n"
            "  END\n"
            "END^\n"
            "SET TERM ; ^\n"
            "COMMIT;\n")
            .arg(invoices);
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/qb-grow-XXXXXX.sql"));
    if (!script.open() || script.write(grow.toUtf8()) < 0 || !script.flush()) return false;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_PASSWORD"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
    const auto run = [&](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
        qWarning().noquote() << "MakeBigCompanyDatabase:" << program << arguments.join(u' ')
                             << "failed:" << process.readAll();
        return false;
    };
    const QString gfix = QStringLiteral("gfix");
    return run(gfix, {QStringLiteral("-write"), QStringLiteral("async"), path}) &&
           run(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-bail"), QStringLiteral("-ch"),
                QStringLiteral("UTF8"), QStringLiteral("-i"), script.fileName(), path}) &&
           run(gfix, {QStringLiteral("-write"), QStringLiteral("sync"), path});
}

// Calls `act` once, the first time a progress window whose title starts
// with `title` shows a line that holds `text`.
class LineTrigger : public QObject {
public:
    LineTrigger(QString title, QString text, std::function<void()> act)
        : title_(std::move(title)), text_(std::move(text)), act_(std::move(act)) {
        qApp->installEventFilter(this);
    }
    ~LineTrigger() override { qApp->removeEventFilter(this); }
    QString seen;  // the line that set it off

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = event->type() == QEvent::Show ? qobject_cast<TProgreso*>(watched) : nullptr;
        if (window == nullptr || !window->windowTitle().startsWith(title_) ||
            watched->property("qb-watched").toBool())
            return false;
        watched->setProperty("qb-watched", true);
        QPlainTextEdit* memo = window->Memo1;
        connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
            const QString last = memo->toPlainText().section(u'\n', -1);
            if (!seen.isEmpty() || !last.contains(text_)) return;
            seen = last;
            act_();
        });
        return false;
    }

private:
    QString title_;
    QString text_;
    std::function<void()> act_;
};

}  // namespace faultkit
