// Start-up benchmark: the real program (build/QuillbaseBackup/QuillbaseBackup)
// is started several times on the offscreen platform with scratch settings,
// and measured from outside:
//
//   - start-up: from just before the process is started to the moment its
//     main window has been exposed and painted (target under 300 ms);
//   - resident memory (VmRSS) once the main window has been minimised, as
//     the operator's minimise button does, and the program has waited a few
//     seconds in that state (target under 60 MB). Offscreen there is no
//     notification area, so the program stays minimised instead of hiding.
//
//   bench_startup [runs] [program]      (default: 10 runs of the built program)
//
// The moments come from a probe plugin (StartupProbe.cpp) that Qt loads into
// the program through QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS; the program
// carries no benchmark code. The first run reads the program and Qt from
// disk and is shown apart from the others.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr double kStartupTargetMs = 300.0;
constexpr double kMemoryTargetMb = 60.0;
constexpr int kSettleSeconds = 3;

void Say(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

[[noreturn]] void Fail(const QString& text) {
    std::fprintf(stderr, "bench_startup: %s\n", qPrintable(text));
    std::exit(1);
}

qint64 MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A "Vm...:" line of /proc/<pid>/status, in kB.
qint64 StatusKilobytes(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The probe's line "<word> <ns> [<rss kB>]", waited for up to 20 s.
QList<qint64> WaitForMark(const QString& markFile, const QByteArray& word, QProcess& program) {
    for (int waited = 0; waited < 20000; waited += 2) {
        QFile file(markFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QList<QByteArray> parts = line.split(' ');
                if (parts.value(0) != word) continue;
                QList<qint64> values;
                for (int i = 1; i < parts.size(); ++i) values.append(parts[i].toLongLong());
                return values;
            }
        }
        if (program.state() == QProcess::NotRunning)
            Fail(QStringLiteral("the program ended before \"%1\": %2")
                     .arg(QString::fromLatin1(word), QString::fromLocal8Bit(program.readAll())));
        QThread::msleep(2);
    }
    Fail(QStringLiteral("no \"%1\" from the program within 20 s (is the probe plugin built?)")
             .arg(QString::fromLatin1(word)));
}

struct Run {
    double applicationMs;  // the application object being built
    double shownMs;        // main window shown
    double shownMb;        // resident when shown
    double waitingMb;      // resident after waiting minimised
    double peakMb;         // VmHWM then
};

double Median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

QString Verdict(bool met) { return met ? QStringLiteral("ok") : QStringLiteral("MISSED"); }

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int runs = arguments.size() > 1 ? arguments[1].toInt() : 10;
    const QString program = arguments.size() > 2 ? arguments[2] : QStringLiteral(QB_PROGRAM);
    if (runs < 1) Fail(QStringLiteral("usage: bench_startup [runs] [program]"));
    if (!QFile::exists(program)) Fail(program + QStringLiteral(" does not exist: build first"));

    QTemporaryDir scratch;
    if (!scratch.isValid()) Fail(QStringLiteral("no temporary folder"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"FIREBIRD", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD"})
        env.remove(QString::fromLatin1(name));
    for (const char* folder : {"config", "runtime", "cache"}) {
        const QString path = scratch.filePath(QString::fromLatin1(folder));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), scratch.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(QB_PROBE_PLUGIN_DIR));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("qbstartupprobe"));
    env.insert(QStringLiteral("QB_STARTUP_MINIMISE_MS"), QStringLiteral("500"));

    Say(QStringLiteral("program: %1").arg(program));
    Say(QStringLiteral("%1 runs, offscreen; memory read %2 s after minimising")
            .arg(runs)
            .arg(kSettleSeconds));
    QList<Run> results;
    for (int i = 0; i < runs; ++i) {
        const QString markFile = scratch.filePath(QStringLiteral("mark-%1").arg(i));
        env.insert(QStringLiteral("QB_STARTUP_MARK"), markFile);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        const qint64 start = MonotonicNanoseconds();
        process.start(program, {});
        if (!process.waitForStarted(10000)) Fail(QStringLiteral("cannot start ") + program);

        const QList<qint64> loaded = WaitForMark(markFile, "loaded", process);
        const QList<qint64> shown = WaitForMark(markFile, "shown", process);
        WaitForMark(markFile, "minimised", process);
        QThread::sleep(kSettleSeconds);
        const qint64 pid = process.processId();
        const qint64 waiting = StatusKilobytes(pid, "VmRSS:");
        const qint64 peak = StatusKilobytes(pid, "VmHWM:");

        // A termination request closes the main window as its close button
        // does; with no schedule stored the program ends.
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
            Fail(QStringLiteral("the program did not end on a termination request"));
        }

        const Run run{double(loaded.value(0) - start) / 1e6, double(shown.value(0) - start) / 1e6,
                      double(shown.value(1)) / 1024.0, double(waiting) / 1024.0,
                      double(peak) / 1024.0};
        results.append(run);
        Say(QStringLiteral("run %1: shown at %2 ms (application object at %3 ms); resident %4 MB "
                           "when shown, %5 MB waiting minimised (peak %6 MB)%7")
                .arg(i + 1, 2)
                .arg(run.shownMs, 0, 'f', 1)
                .arg(run.applicationMs, 0, 'f', 1)
                .arg(run.shownMb, 0, 'f', 1)
                .arg(run.waitingMb, 0, 'f', 1)
                .arg(run.peakMb, 0, 'f', 1)
                .arg(i == 0 && runs > 1 ? QStringLiteral("  [first run, left out below]")
                                        : QString()));
    }

    const QList<Run> counted = runs > 1 ? results.mid(1) : results;
    QList<double> shown;
    QList<double> waiting;
    for (const Run& run : counted) {
        shown.append(run.shownMs);
        waiting.append(run.waitingMb);
    }
    const double medianShown = Median(shown);
    const double worstWaiting = *std::max_element(waiting.cbegin(), waiting.cend());
    Say(QStringLiteral("start-up, process start to main window shown: median %1 ms, "
                       "fastest %2 ms, slowest %3 ms (target under %4 ms) %5")
            .arg(medianShown, 0, 'f', 1)
            .arg(*std::min_element(shown.cbegin(), shown.cend()), 0, 'f', 1)
            .arg(*std::max_element(shown.cbegin(), shown.cend()), 0, 'f', 1)
            .arg(kStartupTargetMs, 0, 'f', 0)
            .arg(Verdict(medianShown < kStartupTargetMs)));
    Say(QStringLiteral("resident memory waiting minimised: median %1 MB, largest %2 MB "
                       "(target under %3 MB) %4")
            .arg(Median(waiting), 0, 'f', 1)
            .arg(worstWaiting, 0, 'f', 1)
            .arg(kMemoryTargetMb, 0, 'f', 0)
            .arg(Verdict(worstWaiting < kMemoryTargetMb)));
    return 0;
}
