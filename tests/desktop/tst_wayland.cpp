// The real program on a Wayland desktop (sway, headless), driven through
// swaymsg, wtype and the session bus; it runs through XWayland. With
// waybar's tray, a StatusNotifierItem host, it is kept running in the
// notification area through its close warning: the host gets the icon with
// its tip and its one-item menu, clicks on the icon open nothing, a
// scheduled minute runs with the busy picture, and the menu's item brings
// the window back. Without any notification area the window stays
// reachable and the schedule still runs.

#include "tests/desktop/DesktopKit.h"

using namespace desktop;

namespace {

const QString kTitle = QStringLiteral("Quillbase Backup");
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");

QString WatcherProperty(const QString& name) {
    return BusProperty(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher, name);
}

// The bus names of the registered items ("service/path" each).
QStringList ItemServices() {
    static const QRegularExpression item(QStringLiteral("'([^'/]+)/"));
    QStringList services;
    const QString reply = WatcherProperty(QStringLiteral("RegisteredStatusNotifierItems"));
    for (auto it = item.globalMatch(reply); it.hasNext();) services << it.next().captured(1);
    return services;
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

    std::optional<SwayWindow> Window(const QString& name) const {
        for (const SwayWindow& window : SwayWindows(Pid()))
            if (window.name == name) return window;
        return std::nullopt;
    }

    // The program's item, when it is the only one registered.
    QString Item() const {
        const QStringList services = ItemServices();
        const QString owner = BusCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"), {services.value(0)});
        return services.size() == 1 && owner == QStringLiteral("(uint32 %1,)").arg(Pid())
                   ? services[0]
                   : QString();
    }

    QString ItemProperty(const QString& name) const {
        return BusProperty(Item(), QStringLiteral("/StatusNotifierItem"), kItem, name);
    }

    // Closes the main window as sway does (its close request): the close
    // warning comes over it with the keyboard, and `key` answers it.
    void CloseAnswering(const QString& key) {
        Run(QStringLiteral("swaymsg"),
            {QStringLiteral("[pid=%1]").arg(Pid()), QStringLiteral("kill")});
        std::optional<SwayWindow> warning;
        QVERIFY2(WaitFor(
                     [&] {
                         warning = Window(QStringLiteral("Aviso"));
                         return warning && warning->focused;
                     },
                     15000),
                 "the close warning did not open with the keyboard");
        const std::optional<SwayWindow> main = Window(kTitle);
        QVERIFY(main && warning->floating);
        const QPoint offset = warning->rect.center() - main->rect.center();
        QVERIFY2(qAbs(offset.x()) <= 40 && qAbs(offset.y()) <= 40,
                 "the close warning is not over the main window");
        WaylandKey(key);
    }

private slots:
    void initTestCase() {
        if (!WaylandUnavailable().isEmpty())
            QSKIP(qPrintable(QStringLiteral("no Wayland desktop here: ") + WaylandUnavailable()));
        QVERIFY2(WaylandFixture(), "needs a Wayland desktop fixture (tests/desktop/desktop.sh)");
        tray_ = WatcherProperty(QStringLiteral("IsStatusNotifierHostRegistered"))
                    .contains(QStringLiteral("true"));
        // Three companies: a run long enough for the host to see it.
        const QString local = install_.Path(QStringLiteral("Oficina"));
        const QStringList companies{QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2"),
                                    QStringLiteral("EMPRESA3")};
        QVERIFY(install_.Make({{QStringLiteral("Oficina"), local, QString()}}));
        QVERIFY(install_.MakeLocalServer(local, companies));
        copies_ = install_.Path(QStringLiteral("copias"));
        QVERIFY(QDir().mkpath(copies_));
        BackupPlan plan;
        PlanServer server{QStringLiteral("[]Oficina"), {kDestinationTag + copies_}};
        for (const QString& company : companies) server.Children << local + u'/' + company;
        plan.Servers = {server};
        plan.SavePlan();
        start_ = NextMinute(25);
        StoreSchedule(start_);
        QVERIFY(install_.Share());

        QVERIFY(install_.Start(program_));
        std::optional<SwayWindow> main;
        QVERIFY2(WaitFor(
                     [&] {
                         main = Window(kTitle);
                         return main && main->focused;
                     },
                     20000),
                 "the main window did not come up with the keyboard");
        // Through XWayland, centred on the 1024 x 768 screen.
        QCOMPARE(main->shell, QStringLiteral("xwayland"));
        const QPoint offset = main->rect.center() - QPoint(512, 384);
        QVERIFY2(qAbs(offset.x()) <= 40 && qAbs(offset.y()) <= 40,
                 "the main window is not centred");
        QVERIFY(ItemServices().isEmpty());
    }

    void cleanupTestCase() { EndProgram(program_); }

    void keptRunning() {
        CloseAnswering(QStringLiteral("Return"));
        if (QTest::currentTestFailed()) return;
        if (tray_) {
            QVERIFY2(WaitFor([this] { return SwayWindows(Pid()).isEmpty() && !Item().isEmpty(); },
                             15000),
                     "Enter did not keep the program running in the notification area");
            QVERIFY(ItemProperty(QStringLiteral("ToolTip")).contains(u"'Quillbase Backup'"));
        } else {
            // sway has no minimised windows: the window stays to be found.
            QTest::qWait(1500);
            QVERIFY2(Window(kTitle) && SwayWindows(Pid()).size() == 1,
                     "without a notification area the window cannot be reached");
        }
        QCOMPARE(program_.state(), QProcess::Running);
    }

    void iconHasTheHostsMenuAndClicksOpenNothing() {
        if (!tray_) QSKIP("no notification area");
        QCOMPARE(ItemProperty(QStringLiteral("Menu")),
                 QStringLiteral("(<objectpath '/MenuBar'>,)"));
        const QString layout = BusCall(
            Item(), QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu.GetLayout"),
            {QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("[]")});
        static const QRegularExpression label(QStringLiteral("'label': <'([^']*)'>"));
        QStringList labels;
        for (auto it = label.globalMatch(layout); it.hasNext();) labels << it.next().captured(1);
        QCOMPARE(labels, QStringList{QStringLiteral("Abrir Quillbase Backup")});

        // A primary click, a double one, and a host that asks for a menu anyway.
        for (const char* method : {"Activate", "Activate", "ContextMenu"}) {
            BusCall(Item(), QStringLiteral("/StatusNotifierItem"),
                    kItem + u'.' + QLatin1String(method),
                    {QStringLiteral("1000"), QStringLiteral("750")});
        }
        QTest::qWait(1500);
        QCOMPARE(SwayWindows(Pid()).size(), 0);
        QVERIFY(!Item().isEmpty());
    }

    void scheduledMinuteRunsWhileHidden() {
        const qsizetype windows = SwayWindows(Pid()).size();
        while (QDateTime::currentDateTime() < start_.addMSecs(-500)) {
            QVERIFY2(program_.state() == QProcess::Running, "the program ended before its time");
            QTest::qWait(200);
        }
        // The run, at most about a minute after its second. The host sees
        // the program's picture, the busy one during the run and the idle
        // one after it. The program answers between the run's steps only,
        // so the files are looked at after the picture.
        QStringList pictures;
        bool finished = false;
        QElapsedTimer watch;
        watch.start();
        while (!(finished && (!tray_ || pictures.size() >= 3)) && watch.elapsed() < 70000) {
            const QString picture = tray_ ? ItemProperty(QStringLiteral("IconPixmap")) : QString();
            finished = Backups(copies_).size() == 3;
            if (!picture.isEmpty() && (pictures.isEmpty() || pictures.last() != picture))
                pictures << picture;
            if (!tray_) QTest::qWait(200);
        }
        QVERIFY2(finished, "the scheduled minute did not run");
        if (tray_) {
            QTest::qWait(1000);
            QCOMPARE(ItemProperty(QStringLiteral("IconPixmap")), pictures.value(2));
            QVERIFY2(pictures.size() == 3 && pictures[0] != pictures[2],
                     "the icon did not show the busy picture and then the idle one");
        }
        QCOMPARE(SwayWindows(Pid()).size(), windows);
    }

    void menuItemBringsTheWindowBack() {
        if (tray_) {
            BusCall(Item(), QStringLiteral("/MenuBar"),
                    QStringLiteral("com.canonical.dbusmenu.Event"),
                    {QStringLiteral("1"), QStringLiteral("clicked"), QStringLiteral("<0>"),
                     QStringLiteral("0")});
        } else {
            // From the desktop's window list, as a person would.
            Run(QStringLiteral("swaymsg"),
                {QStringLiteral("[pid=%1]").arg(Pid()), QStringLiteral("focus")});
        }
        QVERIFY2(WaitFor(
                     [this] {
                         const std::optional<SwayWindow> main = Window(kTitle);
                         return main && main->focused && ItemServices().isEmpty();
                     },
                     15000),
                 "the window did not come back with the keyboard, or the icon stayed");
        QCOMPARE(SwayWindows(Pid()).size(), 1);
    }

    void escapeEndsTheProgramAndTheRunWasLogged() {
        CloseAnswering(QStringLiteral("Escape"));
        if (QTest::currentTestFailed()) return;
        QVERIFY2(program_.waitForFinished(15000), "Esc did not end the program");
        QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program_.exitCode(), 0);
        const QList<QStringList> rows = install_.LogRows();
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].value(2), QStringLiteral("[]Oficina"));
            QVERIFY(
                rows[i].value(3).endsWith(QStringLiteral("/EMPRESA%1/Quillbase.orv").arg(i + 1)));
            QCOMPARE(rows[i].value(5), QStringLiteral("T"));
        }
    }
};

QB_DESKTOP_TEST_MAIN(TestWayland)
#include "tst_wayland.moc"
