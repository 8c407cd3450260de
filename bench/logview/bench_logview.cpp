// Log browser benchmark: the browser opens on a Backup.fdb of 100,000 rows
// and the time until its list is filled and painted on screen is measured;
// in the same run isql-fb fetches the same query from the same file to
// /dev/null, for comparison. Both go through the embedded engine.
//
//   bench_logview [work folder]     (default: <temp>/qb-bench-logview)
//
// The log is generated once (a few seconds) and kept in the work folder for
// the next runs. Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "backup/BackupLog.h"
#include "logview/FLogForm.h"
#include "logview/ShowBackupLog.h"
#include "platform/Paths.h"

namespace {

constexpr int kRows = 100000;
constexpr int kRounds = 5;
const QString kQuery = QStringLiteral("select * from backuplog order by fecha desc, hora desc;");

QString SourceDir() {
    const QString fromEnvironment = qEnvironmentVariable("QB_SOURCE_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(QB_BENCH_SOURCE_DIR) : fromEnvironment;
}

void Say(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

[[noreturn]] void Fail(const QString& text) {
    std::fprintf(stderr, "bench_logview: %s\n", qPrintable(text));
    std::exit(1);
}

// Runs a tool to its end; its output goes to `output` (a file, or the null
// device), its errors are kept for the failure message.
qint64 Run(const QString& program, const QStringList& arguments, const QString& input = {},
           const QString& output = QProcess::nullDevice()) {
    QProcess process;
    if (!input.isEmpty()) process.setStandardInputFile(input);
    process.setStandardOutputFile(output);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(-1))
        Fail(program + QStringLiteral(": ") + process.errorString());
    const qint64 elapsed = clock.elapsed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Fail(program + QStringLiteral(" failed: ") +
             QString::fromLocal8Bit(process.readAllStandardError()));
    return elapsed;
}

QString WriteFile(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Fail(QStringLiteral("cannot write ") + path);
    file.write(text.toUtf8());
    return path;
}

QString Isql() { return QStringLiteral("isql-fb"); }

QStringList IsqlArguments(const QString& database) {
    return {QStringLiteral("-user"), QStringLiteral("sysdba"), QStringLiteral("-password"),
            QStringLiteral("x"),     QStringLiteral("-q"),     database};
}

int CountRows(const QString& folder, const QString& database) {
    const QString script =
        WriteFile(folder + QStringLiteral("/count.sql"),
                  QStringLiteral("set heading off; select count(*) from backuplog;\n"));
    const QString output = folder + QStringLiteral("/count.out");
    Run(Isql(), IsqlArguments(database), script, output);
    QFile file(output);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).trimmed().toInt();
}

// A log as ten years of backups would leave it: 27 jobs a day over eight
// servers and thirty companies, one job in twenty failed with its remarks.
void MakeLog(const QString& folder, const QString& database) {
    Run(QStringLiteral("bash"),
        {SourceDir() + QStringLiteral("/scripts/make-db.sh"), QStringLiteral("-f"), database,
         SourceDir() + QStringLiteral("/schema/backup.sql")});
    const QString script = WriteFile(folder + QStringLiteral("/rows.sql"), QStringLiteral(R"(
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
  DECLARE D DATE;
  DECLARE H VARCHAR(5);
  DECLARE S VARCHAR(100);
  DECLARE E VARCHAR(100);
BEGIN
  WHILE (I < %1) DO BEGIN
    D = DATEADD(DAY, I / 27, DATE '2016-01-01');
    H = LPAD(MOD(I * 7, 24), 2, '0') || ':' || LPAD(MOD(I * 13, 60), 2, '0');
    S = DECODE(MOD(I, 8), 0, '[]Local', 1, '[192.168.1.10]Central', 2, '[192.168.1.11]Almacén',
               3, '[192.168.1.12]Tienda Norte', 4, '[192.168.1.13]Tienda Sur',
               5, '[10.0.0.5/3051]Delegación', 6, '[10.0.0.6]Oficina', '[]Portátil');
    E = 'C:\Quillbase\Datos\EMP' || LPAD(MOD(I, 30), 2, '0');
    INSERT INTO BACKUPLOG (FECHA, HORA, SERVIDOR, EMPRESA, DESTINO, EXITO, OBSERVACIONES)
    VALUES (:D, :H, :S, :E || '\Quillbase.orv',
            'D:\Copias\' || :S || '_EMP' || LPAD(MOD(:I, 30), 2, '0') || '_' ||
              LPAD(EXTRACT(DAY FROM :D), 2, '0') || LPAD(EXTRACT(MONTH FROM :D), 2, '0') ||
              RIGHT(EXTRACT(YEAR FROM :D), 2) || '_' || REPLACE(:H, ':', '') || '.fbk',
            IIF(MOD(:I, 20) = 0, 'F', 'T'),
            IIF(MOD(:I, 20) = 0, 'No existe la carpeta destino donde realizar la copia' ||
                ASCII_CHAR(13) || ASCII_CHAR(10), ''));
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
)")
                                                                               .arg(kRows));
    QStringList arguments = IsqlArguments(database);
    arguments << QStringLiteral("-ch") << QStringLiteral("UTF8");
    Run(Isql(), arguments, script);
}

struct Times {
    qint64 filled = -1;  // open, query and fill, until the window shows
    qint64 shown = -1;   // ... until the list has been painted
};

// Watches the browser: the moment it shows, and the end of the list's first
// paint, after which it closes the window.
class Stopwatch : public QObject {
public:
    QElapsedTimer clock;
    Times times;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && times.filled < 0 && qobject_cast<TLogForm*>(watched)) {
            times.filled = clock.elapsed();
            form_ = qobject_cast<TLogForm*>(watched);
        } else if (event->type() == QEvent::Paint && form_ && times.shown < 0 &&
                   watched == form_->listviewlog->viewport()) {
            // Measured when the paint has finished.
            QTimer::singleShot(0, this, [this] {
                if (times.shown >= 0 || !form_) return;
                times.shown = clock.elapsed();
                form_->close();
            });
        }
        return false;
    }

private:
    QPointer<TLogForm> form_;
};

Times TimeBrowser(TData& data) {
    Stopwatch stopwatch;
    qApp->installEventFilter(&stopwatch);
    stopwatch.clock.start();
    ShowBackupLog(data, 0);
    qApp->removeEventFilter(&stopwatch);
    if (stopwatch.times.shown < 0) Fail(QStringLiteral("the log browser did not show"));
    return stopwatch.times;
}

qint64 Median(QList<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QString Ms(qint64 value) { return QString::number(value) + QStringLiteral(" ms"); }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString folder = QCoreApplication::arguments().value(
        1, QDir::tempPath() + QStringLiteral("/qb-bench-logview"));
    QDir().mkpath(folder);
    platform::SetExecutableDirectory(folder);
    const QString database = BackupLogName();

    if (!QFileInfo::exists(database) || CountRows(folder, database) != kRows) {
        Say(QStringLiteral("Generating %1 log rows in %2 ...").arg(kRows).arg(database));
        MakeLog(folder, database);
        if (CountRows(folder, database) != kRows)
            Fail(QStringLiteral("the generated log is incomplete"));
    }
    Say(QStringLiteral("Log: %1 (%2 rows, %3 MB); platform %4")
            .arg(database)
            .arg(kRows)
            .arg(QFileInfo(database).size() / (1024.0 * 1024.0), 0, 'f', 1)
            .arg(QGuiApplication::platformName()));

    TData data(QStringLiteral("x"));
    const QString query = WriteFile(folder + QStringLiteral("/query.sql"), kQuery + u'\n');
    // One of each first, so that both find the file in the page cache.
    TimeBrowser(data);
    Run(Isql(), IsqlArguments(database), query);

    QList<qint64> filled, shown, isql;
    for (int round = 1; round <= kRounds; ++round) {
        const Times browser = TimeBrowser(data);
        const qint64 tool = Run(Isql(), IsqlArguments(database), query);
        filled << browser.filled;
        shown << browser.shown;
        isql << tool;
        Say(QStringLiteral("round %1: log browser filled %2, shown %3; isql-fb %4")
                .arg(round)
                .arg(Ms(browser.filled), Ms(browser.shown), Ms(tool)));
    }
    const qint64 browserTime = Median(shown);
    const qint64 isqlTime = Median(isql);
    Say(QStringLiteral(
            "median: log browser filled %1, filled and shown %2; isql-fb to /dev/null %3")
            .arg(Ms(Median(filled)), Ms(browserTime), Ms(isqlTime)));
    Say(QStringLiteral("target (no slower than isql-fb, under 1000 ms): %1")
            .arg(browserTime <= isqlTime && browserTime < 1000 ? QStringLiteral("met")
                                                               : QStringLiteral("NOT met")));
    return 0;
}
