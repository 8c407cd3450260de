// The real program on a headless sway desktop (through XWayland), driven with
// swaymsg, wtype and the session bus: kept running as an icon of waybar's
// StatusNotifierItem tray, or reachable without a tray; the schedule runs.

#include "tests/desktop/DesktopKit.h"

using namespace desktop;
using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Quillbase Backup"_s;
const QString kWatcher = u"org.kde.StatusNotifierWatcher"_s;
const QString kItem = u"org.kde.StatusNotifierItem"_s;

QString WatcherProperty(const QString& name) {
    return BusProperty(kWatcher, u"/StatusNotifierWatcher"_s, kWatcher, name);
}

QStringList Captures(const QString& text, const QString& pattern) {
    QStringList found;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

// The bus names of the registered items ("service/path" each).
QStringList ItemServices() {
    return Captures(WatcherProperty(u"RegisteredStatusNotifierItems"_s), u"'([^'/]+)/"_s);
}

bool Near(const QPoint& a, const QPoint& b) {
    return qAbs(a.x() - b.x()) <= 40 && qAbs(a.y() - b.y()) <= 40;
}

}  // namespace

class TestWayland : public QObject {
    Q_OBJECT

    Installation install_;
    QProcess program_;
    QString copies_;
    QDateTime start_;
    bool tray_ = false;

    qint64 Pid() const { return program_.processId(); }
    QList<SwayWindow> Windows() const { return SwayWindows(Pid()); }
    void Sway(const QString& command) { Run(u"swaymsg"_s, {u"[pid=%1]"_s.arg(Pid()), command}); }

    std::optional<SwayWindow> Window(const QString& name) const {
        for (const SwayWindow& window : Windows())
            if (window.name == name) return window;
        return std::nullopt;
    }

    // The window `name` once it has the keyboard, within `timeoutMs`.
    std::optional<SwayWindow> Focused(const QString& name, int timeoutMs = 15000) const {
        std::optional<SwayWindow> window;
        WaitFor([&] { return (window = Window(name)) && window->focused; }, timeoutMs);
        return window && window->focused ? window : std::nullopt;
    }

    // The program's item, when it is the only one registered.
    QString Item() const {
        const QStringList services = ItemServices();
        const QString owner =
            BusCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                    u"org.freedesktop.DBus.GetConnectionUnixProcessID"_s, {services.value(0)});
        return services.size() == 1 && owner == u"(uint32 %1,)"_s.arg(Pid()) ? services[0]
                                                                             : QString();
    }

    QString ItemProperty(const QString& name) const {
        return BusProperty(Item(), u"/StatusNotifierItem"_s, kItem, name);
    }

    // sway's close request to the main window: the close warning comes over
    // it with the keyboard, and `key` answers it.
    void CloseAnswering(const QString& key) {
        Sway(u"kill"_s);
        const std::optional<SwayWindow> warning = Focused(u"Aviso"_s), main = Window(kTitle);
        QVERIFY2(warning, "the close warning did not open with the keyboard");
        QVERIFY2(main && warning->floating && Near(warning->rect.center(), main->rect.center()),
                 "the close warning is not over the main window");
        WaylandKey(key);
    }

private slots:
    void initTestCase() {
        if (const QString why = WaylandUnavailable(); !why.isEmpty())
            QSKIP(qPrintable(u"no Wayland desktop here: "_s + why));
        QVERIFY2(WaylandFixture(), "needs a Wayland desktop fixture (tests/desktop/desktop.sh)");
        tray_ = WatcherProperty(u"IsStatusNotifierHostRegistered"_s).contains(u"true"_s);
        // Three companies: a run long enough for the host to see it.
        const QString local = install_.Path(u"Oficina"_s);
        const QStringList companies{u"EMPRESA1"_s, u"EMPRESA2"_s, u"EMPRESA3"_s};
        QVERIFY(install_.Make({{u"Oficina"_s, local, QString()}}));
        QVERIFY(install_.MakeLocalServer(local, companies));
        copies_ = install_.Path(u"copias"_s);
        QVERIFY(QDir().mkpath(copies_));
        BackupPlan plan;
        plan.Servers = {PlanServer{u"[]Oficina"_s, {kDestinationTag + copies_}}};
        for (const QString& company : companies) plan.Servers[0].Children << local + u'/' + company;
        plan.SavePlan();
        StoreSchedule(start_ = NextMinute(25));
        QVERIFY(install_.Share());

        QVERIFY(install_.Start(program_));
        const std::optional<SwayWindow> main = Focused(kTitle, 20000);
        QVERIFY2(main, "the main window did not come up with the keyboard");
        QCOMPARE(main->shell, u"xwayland"_s);
        QVERIFY2(Near(main->rect.center(), {512, 384}), "not centred on the 1024 x 768 screen");
        QVERIFY(ItemServices().isEmpty());
    }

    void cleanupTestCase() { EndProgram(program_); }

    void keptRunningWithAnIconWhoseClicksOpenNothing() {
        CloseAnswering(u"Return"_s);
        if (QTest::currentTestFailed()) return;
        if (!tray_) {
            // sway has no minimised windows: the window stays to be found.
            QTest::qWait(1500);
            QVERIFY2(Window(kTitle) && Windows().size() == 1,
                     "without a notification area the window cannot be reached");
            QCOMPARE(program_.state(), QProcess::Running);
            return;
        }
        QVERIFY2(WaitFor([this] { return Windows().isEmpty() && !Item().isEmpty(); }, 15000),
                 "Enter did not keep the program running in the notification area");
        QVERIFY(ItemProperty(u"ToolTip"_s).contains(u"'Quillbase Backup'"));
        QCOMPARE(ItemProperty(u"Menu"_s), u"(<objectpath '/MenuBar'>,)"_s);
        const QString layout = BusCall(Item(), u"/MenuBar"_s, u"com.canonical.dbusmenu.GetLayout"_s,
                                       {u"0"_s, u"-1"_s, u"[]"_s});
        QCOMPARE(Captures(layout, u"'label': <'([^']*)'>"_s),
                 QStringList{u"Abrir Quillbase Backup"_s});
        // A primary click, a double one, and a host that asks for a menu anyway.
        for (const QString& method : {u"Activate"_s, u"Activate"_s, u"ContextMenu"_s})
            BusCall(Item(), u"/StatusNotifierItem"_s, kItem + u'.' + method, {u"1000"_s, u"750"_s});
        QTest::qWait(1500);
        QCOMPARE(Windows().size(), 0);
        QVERIFY(!Item().isEmpty());
    }

    void scheduledMinuteRunsWhileHidden() {
        WaitFor([this] { return program_.state() != QProcess::Running; },
                QDateTime::currentDateTime().msecsTo(start_) - 500);
        QVERIFY2(program_.state() == QProcess::Running, "the program ended before its time");
        // The run, within about a minute: the host sees the busy picture and
        // then the idle one. The program answers between the run's steps
        // only, so the files are looked at after the picture.
        QStringList pictures;
        bool finished = false;
        QElapsedTimer watch;
        for (watch.start();
             !(finished && (!tray_ || pictures.size() >= 3)) && watch.elapsed() < 70000;) {
            const QString picture = tray_ ? ItemProperty(u"IconPixmap"_s) : QString();
            finished = Backups(copies_).size() == 3;
            if (!picture.isEmpty() && !pictures.endsWith(picture)) pictures << picture;
            if (!tray_) QTest::qWait(200);
        }
        QVERIFY2(finished, "the scheduled minute did not run");
        if (tray_) {
            QVERIFY2(pictures.size() == 3 && pictures[0] != pictures[2],
                     "the icon did not show the busy picture and then the idle one");
            QTest::qWait(1000);
            QCOMPARE(ItemProperty(u"IconPixmap"_s), pictures[2]);
        }
        QCOMPARE(Windows().size(), tray_ ? 0 : 1);
    }

    void menuItemBringsTheWindowBack() {
        if (tray_)
            BusCall(Item(), u"/MenuBar"_s, u"com.canonical.dbusmenu.Event"_s,
                    {u"1"_s, u"clicked"_s, u"<0>"_s, u"0"_s});
        else  // from the desktop's window list, as a person would
            Sway(u"focus"_s);
        QVERIFY2(Focused(kTitle) && WaitFor([] { return ItemServices().isEmpty(); }, 15000),
                 "the window did not come back with the keyboard, or the icon stayed");
        QCOMPARE(Windows().size(), 1);
    }

    void escapeEndsTheProgramAndTheRunWasLogged() {
        CloseAnswering(u"Escape"_s);
        if (QTest::currentTestFailed()) return;
        QVERIFY2(program_.waitForFinished(15000), "Esc did not end the program");
        QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program_.exitCode(), 0);
        const QList<QStringList> rows = install_.LogRows();
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < rows.size(); ++i)
            QVERIFY(rows[i].value(2) == u"[]Oficina"_s && rows[i].value(5) == u"T"_s &&
                    rows[i].value(3).endsWith(u"/EMPRESA%1/Quillbase.orv"_s.arg(i + 1)));
    }
};

QB_DESKTOP_TEST_MAIN(TestWayland)
#include "tst_wayland.moc"
