// A Qt plugin that bench_startup loads into the real program from outside
// (QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS), so that the program itself
// carries no benchmark code. Qt creates it while the application object is
// built; from then on it watches the program's windows and writes, one line
// each, to the file named by QB_STARTUP_MARK:
//
//   loaded <ns>               the application object is being built
//   shown <ns> <rss kB>       the main window has been exposed and painted
//   minimised <ns> <rss kB>   the main window has been minimised, as the
//                             window system does when the operator clicks
//                             the title bar's minimise button
//
// <ns> is CLOCK_MONOTONIC, which the benchmark shares. The minimise comes
// QB_STARTUP_MINIMISE_MS (default 1000) after the window was shown.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGenericPlugin>
#include <QTimer>
#include <QWindow>
#include <ctime>

namespace {

qint64 MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

QByteArray ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return "0";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0);
    }
    return "0";
}

class StartupProbe : public QObject {
public:
    explicit StartupProbe(QString markFile) : markFile_(std::move(markFile)) {
        Mark("loaded " + QByteArray::number(MonotonicNanoseconds()));
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = qobject_cast<QWindow*>(watched);
        if (window == nullptr || window->objectName() != QLatin1String("MainFormWindow"))
            return false;
        if (event->type() == QEvent::Expose && !shown_ && window->isExposed()) {
            shown_ = true;
            // Queued: runs once the exposure has been handled and painted.
            QTimer::singleShot(0, this, [this, window] { Shown(window); });
        } else if (event->type() == QEvent::WindowStateChange && minimising_ &&
                   (window->windowStates() & Qt::WindowMinimized)) {
            minimising_ = false;
            QTimer::singleShot(0, this, [this] {
                Mark("minimised " + QByteArray::number(MonotonicNanoseconds()) + ' ' +
                     ResidentKilobytes());
            });
        }
        return false;
    }

private:
    void Shown(QWindow* window) {
        Mark("shown " + QByteArray::number(MonotonicNanoseconds()) + ' ' + ResidentKilobytes());
        bool valid = false;
        int delay = qEnvironmentVariableIntValue("QB_STARTUP_MINIMISE_MS", &valid);
        if (!valid) delay = 1000;
        QTimer::singleShot(delay, window, [this, window] {
            minimising_ = true;
            window->setWindowStates(Qt::WindowMinimized);
        });
    }

    void Mark(const QByteArray& line) {
        QFile file(markFile_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append)) file.write(line + '\n');
    }

    QString markFile_;
    bool shown_ = false;
    bool minimising_ = false;
};

}  // namespace

class StartupProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "startup_probe.json")

public:
    QObject* create(const QString& key, const QString& /*parameters*/) override {
        const QString markFile = qEnvironmentVariable("QB_STARTUP_MARK");
        if (key.compare(QLatin1String("qbstartupprobe"), Qt::CaseInsensitive) != 0 ||
            markFile.isEmpty())
            return nullptr;
        return new StartupProbe(markFile);
    }
};

#include "StartupProbe.moc"
