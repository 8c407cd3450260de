#pragma once
// What the desktop tests share: the X display of their CTest fixture
// (tests/desktop/desktop.sh), the tools that drive and read it as a person
// would (xdotool, xprop, xwininfo, ImageMagick's import), and a scratch
// installation of the real program started on that display.
//
// The test program itself is a Qt program on the same display, so that it
// can draw what the program is expected to show (a tooltip, a menu) and
// compare pixels.
//
// A Wayland fixture (sway) is driven through swaymsg, wtype and the session
// bus instead, and the test program stays offscreen. The tools and the
// program run in that session through desktop.sh, as the desktop's own
// user: only that user reaches the session bus, and sway refuses root.

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>

#include "plan/BackupPlan.h"
#include "platform/Settings.h"
#include "schedule/ScheduleSettings.h"
#include "tests/support/TestDatabases.h"

namespace desktop {

using namespace Qt::StringLiterals;

using Wid = quint64;

inline QString StateDir() { return qEnvironmentVariable("QB_DESKTOP_DIR"); }

inline QString FixtureDisplay() {
    QFile file(StateDir() + QStringLiteral("/display"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

inline bool WaylandFixture() {
    return QFile::exists(StateDir() + u"/session.env"_s) ||
           QFile::exists(StateDir() + u"/unavailable"_s);
}

// Why the Wayland desktop could not be started here ("" when it runs).
inline QString WaylandUnavailable() {
    QFile file(StateDir() + u"/unavailable"_s);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// `command` as the fixture's desktop runs it: unchanged on X, in the
// Wayland session as its user otherwise (desktop.sh run, or share).
inline QStringList InSession(const QStringList& command, const char* how = "run") {
    if (!WaylandFixture()) return command;
    const QString script = qEnvironmentVariable("QB_SOURCE_DIR") + u"/tests/desktop/desktop.sh"_s;
    return QStringList{u"bash"_s, script, QLatin1String(how), StateDir()} + command;
}

// Before QApplication: this test program runs on the fixture's display
// (offscreen beside a Wayland desktop).
inline void UseFixtureDisplay() {
    if (WaylandFixture()) return;
    qputenv("DISPLAY", FixtureDisplay().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
}

struct Output {
    int code = -1;
    QString text;
};

// Runs a tool on the fixture's display; at most `timeoutMs`.
inline Output Run(const QString& program, const QStringList& arguments, int timeoutMs = 15000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), FixtureDisplay());
    process.setProcessEnvironment(env);
    const QStringList command = InSession(QStringList{program} + arguments);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput())};
}

inline Output Xdotool(const QStringList& arguments) {
    return Run(QStringLiteral("xdotool"), arguments);
}

// Polls `condition` every 100 ms for at most `timeoutMs`, letting this test
// program's own events through.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (true) {
        if (condition()) return true;
        if (timer.elapsed() > timeoutMs) return false;
        QTest::qWait(100);
    }
}

inline QList<Wid> Ids(const QString& text) {
    QList<Wid> ids;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        bool ok = false;
        const Wid id = line.trimmed().toULongLong(&ok, 0);
        if (ok) ids << id;
    }
    return ids;
}

// The mapped windows of a process (_NET_WM_PID, which Qt sets on each).
inline QList<Wid> VisibleWindows(qint64 pid) {
    return Ids(Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(pid)})
                   .text);
}

inline QList<Wid> WindowsNamed(qint64 pid, const QString& name) {
    return Ids(
        Xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
                 QStringLiteral("^") + QRegularExpression::escape(name) + QStringLiteral("$")})
            .text);
}

struct WindowInfo {
    bool exists = false;
    bool viewable = false;
    QRect rect;  // on the screen, without the frame
};

inline WindowInfo Info(Wid id) {
    const Output out =
        Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)});
    WindowInfo info;
    if (out.code != 0) return info;
    info.exists = true;
    const auto number = [&out](const char* label) {
        const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(out.text).captured(1).toInt();
    };
    info.rect = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                      number("Width"), number("Height"));
    info.viewable = out.text.contains(QStringLiteral("Map State: IsViewable"));
    return info;
}

// One property of a window as xprop prints it ("" when not set).
inline QString Property(Wid id, const QString& name) {
    const Output out =
        Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id), name});
    return out.text.contains(QStringLiteral("not found")) ? QString() : out.text.trimmed();
}

// The windows that a taskbar lists (the window manager's client list).
inline QList<Wid> ClientList() {
    const Output out =
        Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    QList<Wid> ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out.text); it.hasNext();) {
        ids << it.next().captured(0).toULongLong(nullptr, 16);
    }
    return ids;
}

inline Wid FocusWindow() {
    return Ids(Xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("-f")}).text).value(0);
}

// The icons that the notification area (trayer) holds: the windows docked
// into the sockets of its panel, whoever they belong to.
inline QList<Wid> TrayIcons() {
    const QList<Wid> panels = Ids(Xdotool({QStringLiteral("search"), QStringLiteral("--classname"),
                                           QStringLiteral("^panel$")})
                                      .text);
    QList<Wid> icons;
    for (const Wid panel : panels) {
        const Output tree =
            Run(QStringLiteral("xwininfo"),
                {QStringLiteral("-tree"), QStringLiteral("-id"), QString::number(panel)});
        // Sockets are the panel's children (5 spaces in), icons theirs (8).
        static const QRegularExpression icon(QStringLiteral("^ {8}(0x[0-9a-f]+) "),
                                             QRegularExpression::MultilineOption);
        for (auto it = icon.globalMatch(tree.text); it.hasNext();) {
            const Wid id = it.next().captured(1).toULongLong(nullptr, 16);
            if (Info(id).viewable) icons << id;
        }
    }
    return icons;
}

// The visible windows of a process that are not in `known`.
inline QList<Wid> NewWindows(qint64 pid, const QList<Wid>& known) {
    QList<Wid> others;
    for (const Wid id : VisibleWindows(pid)) {
        if (!known.contains(id)) others << id;
    }
    return others;
}

// The single window that a process opens besides `known` and that gets the
// keyboard; 0 when none comes within `timeoutMs`.
inline Wid WaitForFocusedNewWindow(qint64 pid, const QList<Wid>& known, int timeoutMs = 15000) {
    Wid opened = 0;
    const bool came = WaitFor(
        [&] {
            const QList<Wid> others = NewWindows(pid, known);
            opened = others.size() == 1 ? others[0] : 0;
            return opened != 0 && FocusWindow() == opened;
        },
        timeoutMs);
    return came ? opened : 0;
}

// The icon of a process when it is the only one in the notification area.
inline Wid OnlyTrayIconOf(qint64 pid) {
    const QList<Wid> icons = TrayIcons();
    return icons.size() == 1 && Property(icons[0], QStringLiteral("_NET_WM_PID"))
                                    .endsWith(QStringLiteral(" ") + QString::number(pid))
               ? icons[0]
               : 0;
}

// What the screen shows in `rect` (the root window, as a person sees it).
inline QImage Grab(const QRect& rect) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), FixtureDisplay());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("import"), {QStringLiteral("-silent"), QStringLiteral("-window"),
                                             QStringLiteral("root"), QStringLiteral("-crop"),
                                             QStringLiteral("%1x%2+%3+%4")
                                                 .arg(rect.width())
                                                 .arg(rect.height())
                                                 .arg(rect.x())
                                                 .arg(rect.y()),
                                             QStringLiteral("+repage"), QStringLiteral("png:-")});
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(2000);
        return {};
    }
    return QImage::fromData(process.readAllStandardOutput(), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

inline void MoveTo(const QPoint& point) {
    Xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
}

inline void Click(const QPoint& point, int button = 1, int repeat = 1) {
    MoveTo(point);
    Xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(repeat),
             QStringLiteral("--delay"), QStringLiteral("120"), QString::number(button)});
}

inline void Key(const QString& keys) { Xdotool({QStringLiteral("key"), keys}); }

inline QPoint Pointer() {
    const QString text = Xdotool({QStringLiteral("getmouselocation")}).text;
    static const QRegularExpression re(QStringLiteral("x:(\\d+) y:(\\d+)"));
    const auto match = re.match(text);
    return QPoint(match.captured(1).toInt(), match.captured(2).toInt());
}

// A window of the Wayland desktop, as sway's tree shows it.
struct SwayWindow {
    QString name;
    QString shell;  // "xwayland" or "xdg_shell"
    QRect rect;     // with sway's frame
    bool focused = false;
    bool floating = false;
};

// The windows of a process that sway shows.
inline QList<SwayWindow> SwayWindows(qint64 pid) {
    QList<SwayWindow> windows;
    const std::function<void(const QJsonObject&, bool)> walk = [&](const QJsonObject& node,
                                                                   bool floating) {
        const QJsonObject r = node[u"rect"].toObject();
        if (node[u"pid"].toInteger() == pid && node[u"visible"].toBool())
            windows.append(
                {node[u"name"].toString(), node[u"shell"].toString(),
                 QRect(r[u"x"].toInt(), r[u"y"].toInt(), r[u"width"].toInt(), r[u"height"].toInt()),
                 node[u"focused"].toBool(), floating});
        for (const QJsonValue child : node[u"nodes"].toArray()) walk(child.toObject(), floating);
        for (const QJsonValue child : node[u"floating_nodes"].toArray())
            walk(child.toObject(), true);
    };
    const Output tree = Run(u"swaymsg"_s, {u"-r"_s, u"-t"_s, u"get_tree"_s});
    walk(QJsonDocument::fromJson(tree.text.toUtf8()).object(), false);
    return windows;
}

// A key typed into the focused window of the Wayland desktop. wtype's
// keyboard is new each time: a window takes its keys only once it has had
// a moment for the keyboard's keymap.
inline void WaylandKey(const QString& key) { Run(u"wtype"_s, {u"-s"_s, u"300"_s, u"-k"_s, key}); }

// A call on the Wayland desktop's session bus: the reply as gdbus prints
// it, "" on failure.
inline QString BusCall(const QString& service, const QString& path, const QString& method,
                       const QStringList& arguments = {}) {
    const Output out = Run(u"gdbus"_s, QStringList{u"call"_s, u"--session"_s, u"-d"_s, service,
                                                   u"-o"_s, path, u"-m"_s, method, u"--"_s} +
                                           arguments);
    return out.code == 0 ? out.text.trimmed() : QString();
}

inline QString BusProperty(const QString& service, const QString& path, const QString& interface,
                           const QString& name) {
    return BusCall(service, path, u"org.freedesktop.DBus.Properties.Get"_s, {interface, name});
}

// A scratch installation of the real program (program, Servidores.gdb,
// Backup.fdb), its settings and lock folders, and the program running on
// the fixture's display.
class Installation {
public:
    QTemporaryDir home;

    QString Path(const QString& name) const { return home.filePath(name); }
    QString Folder() const { return Path(QStringLiteral("QuillbaseBackup")); }
    QString Program() const { return Folder() + QStringLiteral("/QuillbaseBackup"); }
    QString ConfigHome() const { return Path(QStringLiteral("config")); }
    QString RuntimeDir() const { return Path(QStringLiteral("runtime")); }

    // The folders, the program and the two databases beside it, with the
    // servers of `servers` in Servidores.gdb; the settings store of the
    // test program is this installation's from here on.
    bool Make(const QList<ServerCatalogueRow>& servers) {
        if (!home.isValid() || !QDir().mkpath(Folder()) || !QDir().mkpath(RuntimeDir()))
            return false;
        QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!QFile::copy(QString::fromUtf8(QB_PROGRAM), Program())) return false;
        QFile::setPermissions(Program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_HOME", ConfigHome().toLocal8Bit());
        return MakeBackupLog(Folder() + QStringLiteral("/Backup.fdb")) &&
               MakeServerCatalogue(Folder() + QStringLiteral("/Servidores.gdb"), servers);
    }

    // Hands everything made so far to the user of a Wayland desktop, who
    // runs the program.
    bool Share() const {
        const QStringList line = InSession({home.path()}, "share");
        return !WaylandFixture() || QProcess::execute(line.first(), line.mid(1)) == 0;
    }

    // A local server folder with companies made from the sample database.
    bool MakeLocalServer(const QString& folder, const QStringList& companies) {
        const QString sample = Path(QStringLiteral("muestra.orv"));
        if (!QFile::exists(sample) && !MakeCompanyDatabase(sample)) return false;
        for (const QString& company : companies) {
            if (!QDir().mkpath(folder + u'/' + company) ||
                !QFile::copy(sample, folder + u'/' + company + QStringLiteral("/Quillbase.orv")))
                return false;
        }
        return MakeCompanyCatalogue(folder + QStringLiteral("/Empresas.gdb"), companies);
    }

    // The environment a desktop session gives a program it starts.
    QProcessEnvironment SessionEnvironment() const {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
        env.insert(QStringLiteral("DISPLAY"), FixtureDisplay());
        // The sanitizer build's settings are the test run's, not the session's.
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(name))
                env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        return env;
    }

    // Starts `command` (the program unless given) in the session's
    // environment; true once it runs.
    bool Start(QProcess& process, const QStringList& command = {}) const {
        process.setProcessEnvironment(SessionEnvironment());
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        const QStringList line = InSession(command.isEmpty() ? QStringList{Program()} : command);
        process.start(line.first(), line.mid(1));
        return process.waitForStarted(10000);
    }

    // The rows of the log, once the program has closed it.
    QList<QStringList> LogRows() const {
        return SqlRows(Folder() + QStringLiteral("/Backup.fdb"),
                       QStringLiteral("select fecha, hora, servidor, empresa, destino, exito, "
                                      "observaciones from backuplog order by rdb$db_key;"));
    }
};

// The next scheduled minute that leaves at least `margin` seconds to get
// ready, as the schedule dialog stores it ("hh:mm:00").
inline QDateTime NextMinute(int marginSeconds = 15) {
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime start(now.date(), QTime(now.time().hour(), now.time().minute()));
    start = start.addSecs(60);
    if (now.secsTo(start) < marginSeconds) start = start.addSecs(60);
    return start;
}

inline void StoreSchedule(const QDateTime& start) {
    platform::SettingsStore store;
    store.WriteString(kScheduleKey, QStringLiteral("dias"), QString(WeekdayDigit(start.date())));
    store.WriteString(kScheduleKey, QStringLiteral("hora"),
                      start.time().toString(QStringLiteral("HH:mm:ss")));
    store.WriteString(kScheduleKey, QStringLiteral("Activada"), QStringLiteral("T"));
}

// Alt+F4 to the program's active window, as a person would. A key that
// arrives while the window manager is still handing the window the
// keyboard is lost; it is pressed again only while no "Aviso" window of the
// program has come up.
inline void AskToClose(qint64 pid) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        Key(QStringLiteral("alt+F4"));
        if (WaitFor([pid] { return !WindowsNamed(pid, QStringLiteral("Aviso")).isEmpty(); }, 5000))
            return;
    }
}

// Ends a program that a test left running.
inline void EndProgram(QProcess& program) {
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished(5000);
    }
}

inline QStringList Backups(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.fbk")}, QDir::Files, QDir::Name);
}

}  // namespace desktop

// A test program on the fixture's display.
#define QB_DESKTOP_TEST_MAIN(TestClass)         \
    int main(int argc, char* argv[]) {          \
        desktop::UseFixtureDisplay();           \
        QApplication app(argc, argv);           \
        TestClass test;                         \
        QTEST_SET_MAIN_SOURCE_PATH              \
        return QTest::qExec(&test, argc, argv); \
    }
