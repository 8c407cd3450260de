// The real program on a real X desktop (Xvfb, openbox, trayer) kept running
// in the notification area through its close warning: at the scheduled
// minute it backs up the plan while hidden, its icon shows the busy picture
// during the run and the idle picture after it, and a schedule changed
// through the window's notice runs at its new minute too.

#include <QPainter>

#include "app/FMainForm.h"
#include "tests/desktop/DesktopKit.h"

using namespace desktop;

namespace {

enum class Picture { Application, Idle, Busy };

// How far apart two pictures of the same size are (mean difference per channel).
double Distance(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 1e9;
    double total = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            total +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return total / (3.0 * a.width() * a.height());
}

// A picture of the program drawn as the icon draws it, on the
// notification area's background.
QImage Expected(const QString& svg, const QList<int>& sides, const QSize& size, QRgb background) {
    QIcon icon;
    for (const int side : sides) icon.addPixmap(ResourcePicture(svg, QSize(side, side)));
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    icon.paint(&painter, image.rect());
    return image;
}

}  // namespace

class TestTraySchedule : public QObject {
    Q_OBJECT

    Installation install_;
    QProcess program_;
    Wid main_ = 0;
    QString copies_;
    QList<QDateTime> starts_;

    qint64 Pid() const { return program_.processId(); }

    // Closing through the warning, answered with Enter: the program hides
    // with its icon in the notification area.
    void KeepRunningHidden() {
        Xdotool({QStringLiteral("windowactivate"), QString::number(main_)});
        QVERIFY(WaitFor([this] { return FocusWindow() == main_; }, 10000));
        const QList<Wid> before = VisibleWindows(Pid());
        AskToClose(Pid());
        const Wid warning = WaitForFocusedNewWindow(Pid(), before);
        QVERIFY2(warning, "the close warning did not open with the keyboard");
        Key(QStringLiteral("Return"));
        QVERIFY2(WaitFor([this] { return !Info(main_).viewable && OnlyTrayIconOf(Pid()); }, 15000),
                 "Enter did not keep the program running in the notification area");
        QVERIFY(!ClientList().contains(main_));
    }

    // Back through the icon's menu.
    void BringBack() {
        const Wid icon = OnlyTrayIconOf(Pid());
        QVERIFY(icon);
        const QList<Wid> before = VisibleWindows(Pid());
        Click(Info(icon).rect.center(), 3);
        Wid menu = 0;
        QVERIFY(WaitFor(
            [&] {
                const QList<Wid> others = NewWindows(Pid(), before);
                menu = others.size() == 1 ? others[0] : 0;
                return menu != 0;
            },
            15000));
        QTest::qWait(300);
        Click(Info(menu).rect.center());
        QVERIFY(WaitFor([this] { return Info(main_).viewable && TrayIcons().isEmpty(); }, 15000));
    }

    // Watches the icon from before the scheduled second until the run is
    // over: the busy picture while it runs, the idle one after it.
    void WatchScheduledRun(const QDateTime& start, int backupsAfter) {
        const Wid icon = OnlyTrayIconOf(Pid());
        QVERIFY(icon);
        const QRect rect = Info(icon).rect;
        const QImage before = Grab(rect);
        QVERIFY(!before.isNull());
        const QRgb background = before.pixel(0, 0);
        const QList<int> small{16, 22, 24, 32, 48};
        const QList<QPair<Picture, QImage>> pictures{
            {Picture::Application,
             Expected(QStringLiteral("app.svg"), {16, 22, 24, 32, 48, 64, 128, 256}, rect.size(),
                      background)},
            {Picture::Idle, Expected(QStringLiteral("reloj.svg"), small, rect.size(), background)},
            {Picture::Busy,
             Expected(QStringLiteral("copiando.svg"), small, rect.size(), background)}};
        const auto classify = [&](const QImage& shown) {
            Picture best = Picture::Application;
            double bestDistance = 1e9;
            for (const auto& [picture, image] : pictures) {
                const double distance = Distance(shown, image);
                if (distance < bestDistance) {
                    best = picture;
                    bestDistance = distance;
                }
            }
            return best;
        };
        const int backupsBefore = Backups(copies_).size();

        while (QDateTime::currentDateTime() < start.addMSecs(-500)) {
            QVERIFY2(program_.state() == QProcess::Running, "the program ended before its time");
            QCOMPARE(Backups(copies_).size(), backupsBefore);
            QTest::qWait(200);
        }
        // The run: at most about a minute after its second.
        bool busySeen = false;
        bool done = false;
        QElapsedTimer watch;
        watch.start();
        while (watch.elapsed() < 70000) {
            const Picture shown = classify(Grab(rect));
            const bool finished = Backups(copies_).size() == backupsAfter;
            if (shown == Picture::Busy) busySeen = true;
            if (finished && busySeen && shown == Picture::Idle) {
                done = true;
                break;
            }
            if (!finished) {
                QVERIFY2(shown != Picture::Idle || !busySeen,
                         "idle picture in the middle of the run");
            }
        }
        QVERIFY2(busySeen, "the icon never showed the busy picture");
        QVERIFY2(done, qPrintable(QStringLiteral("the run did not end with the idle picture (%1 "
                                                 "of %2 backups)")
                                      .arg(Backups(copies_).size())
                                      .arg(backupsAfter)));
        QVERIFY(!Info(main_).viewable);
        QCOMPARE(OnlyTrayIconOf(Pid()), icon);
    }

private slots:
    void initTestCase() {
        QVERIFY2(!FixtureDisplay().isEmpty(),
                 "needs the desktop fixture (tests/desktop/desktop.sh)");
        const QString local = install_.Path(QStringLiteral("Oficina"));
        QVERIFY(install_.Make({{QStringLiteral("Oficina"), local, QString()}}));
        QVERIFY(install_.MakeLocalServer(
            local,
            {QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2"), QStringLiteral("EMPRESA3")}));
        copies_ = install_.Path(QStringLiteral("copias"));
        QVERIFY(QDir().mkpath(copies_));
        BackupPlan plan;
        plan.Servers = {
            PlanServer{QStringLiteral("[]Oficina"),
                       {kDestinationTag + copies_, local + QStringLiteral("/EMPRESA1"),
                        local + QStringLiteral("/EMPRESA2"), local + QStringLiteral("/EMPRESA3")}}};
        plan.SavePlan();
        starts_ << NextMinute(25);
        StoreSchedule(starts_[0]);

        QVERIFY(install_.Start(program_));
        QVERIFY2(WaitFor(
                     [this] {
                         for (const Wid id : VisibleWindows(Pid())) {
                             if (Info(id).rect.size() == QSize(724, 439)) main_ = id;
                         }
                         return main_ != 0 && ClientList().contains(main_);
                     },
                     20000),
                 "the main window did not come up");
    }

    void cleanupTestCase() { EndProgram(program_); }

    void hiddenProgramRunsTheSchedule() {
        KeepRunningHidden();
        if (QTest::currentTestFailed()) return;
        WatchScheduledRun(starts_[0], 3);
    }

    void changedScheduleRunsAtItsNewMinute() {
        BringBack();
        if (QTest::currentTestFailed()) return;
        // The notice opens the schedule dialog; the new time is typed over
        // the old one, the day stays.
        const QList<Wid> before = VisibleWindows(Pid());
        Click(Info(main_).rect.topLeft() + QPoint(6 + 73, 73 + 6 + 14));
        const Wid dialog = WaitForFocusedNewWindow(Pid(), before);
        QVERIFY2(dialog, "the schedule dialog did not open with the keyboard");
        starts_ << NextMinute(20);
        QVERIFY(starts_[1].date() == starts_[0].date());
        Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("100"),
                 starts_[1].toString(QStringLiteral("HHmm"))});
        Click(Info(dialog).rect.topLeft() + QPoint(101 + 53, 330 + 16));
        QVERIFY2(WaitFor([&] { return !Info(dialog).viewable; }, 15000),
                 "the schedule dialog did not take the new time");
        KeepRunningHidden();
        if (QTest::currentTestFailed()) return;
        WatchScheduledRun(starts_[1], 6);
    }

    void everyRunIsLogged() {
        BringBack();
        if (QTest::currentTestFailed()) return;
        Xdotool({QStringLiteral("windowactivate"), QString::number(main_)});
        QVERIFY(WaitFor([this] { return FocusWindow() == main_; }, 10000));
        const QList<Wid> before = VisibleWindows(Pid());
        AskToClose(Pid());
        QVERIFY(WaitForFocusedNewWindow(Pid(), before));
        Key(QStringLiteral("Escape"));
        QVERIFY2(program_.waitForFinished(15000), "Esc did not end the program");
        QCOMPARE(program_.exitCode(), 0);

        const QList<QStringList> rows = install_.LogRows();
        QCOMPARE(rows.size(), 6);
        for (int i = 0; i < rows.size(); ++i) {
            const QDateTime& start = starts_[i / 3];
            const QStringList& row = rows[i];
            QCOMPARE(row.value(0), start.date().toString(QStringLiteral("yyyy-MM-dd")));
            QVERIFY2(row.value(1) == start.toString(QStringLiteral("HH:mm")) ||
                         row.value(1) == start.addSecs(60).toString(QStringLiteral("HH:mm")),
                     qPrintable(row.value(1)));
            QCOMPARE(row.value(2), QStringLiteral("[]Oficina"));
            QVERIFY(
                row.value(3).endsWith(QStringLiteral("/EMPRESA%1/Quillbase.orv").arg(i % 3 + 1)));
            QCOMPARE(row.value(5), QStringLiteral("T"));
            QVERIFY2(row.value(6).isEmpty(), qPrintable(row.value(6)));
        }
    }
};

QB_DESKTOP_TEST_MAIN(TestTraySchedule)
#include "tst_trayschedule.moc"
