// The real program on a desktop with a window manager (openbox) but no
// notification area: minimising, and the close warning's answer to keep
// running, minimise the window instead of hiding it, so that the program
// can always be brought back.

#include "tests/desktop/DesktopKit.h"

using namespace desktop;

class TestNoTray : public QObject {
    Q_OBJECT

    Installation install_;
    QProcess program_;
    Wid main_ = 0;

    bool Iconic() const {
        return Property(main_, QStringLiteral("WM_STATE")).contains(QStringLiteral("Iconic")) &&
               !Info(main_).viewable && ClientList().contains(main_);
    }
    bool Normal() const {
        return Property(main_, QStringLiteral("WM_STATE")).contains(QStringLiteral("Normal")) &&
               Info(main_).viewable;
    }
    // As a person would, from the taskbar or the window list.
    bool BringBack() const {
        Xdotool({QStringLiteral("windowactivate"), QString::number(main_)});
        return WaitFor([this] { return Normal() && FocusWindow() == main_; }, 15000);
    }
    Wid WaitForWarning() const {
        Wid warning = 0;
        WaitFor(
            [&] {
                warning = WindowsNamed(program_.processId(), QStringLiteral("Aviso")).value(0);
                return warning != 0 && FocusWindow() == warning;
            },
            15000);
        return warning;
    }

private slots:
    void initTestCase() {
        QVERIFY2(!FixtureDisplay().isEmpty(),
                 "needs the desktop fixture (tests/desktop/desktop.sh)");
        const QString local = install_.Path(QStringLiteral("Oficina"));
        QVERIFY(install_.Make({{QStringLiteral("Oficina"), local, QString()}}));
        QVERIFY(install_.MakeLocalServer(local, {QStringLiteral("EMPRESA1")}));
        StoreSchedule(QDateTime(QDate::currentDate().addDays(2), QTime(4, 0)));

        QVERIFY(install_.Start(program_));
        QVERIFY2(WaitFor(
                     [this] {
                         main_ =
                             WindowsNamed(program_.processId(), QStringLiteral("Quillbase Backup"))
                                 .value(0);
                         return main_ != 0 && Normal() && FocusWindow() == main_;
                     },
                     20000),
                 "the main window did not come up");
    }

    void cleanupTestCase() { EndProgram(program_); }

    void minimiseMinimises() {
        Xdotool({QStringLiteral("windowminimize"), QString::number(main_)});
        QVERIFY2(WaitFor([this] { return Iconic(); }, 15000),
                 "the window is not minimised in the taskbar");
        // It stays so: nothing takes it away from the taskbar afterwards.
        QTest::qWait(1000);
        QVERIFY(Iconic());
        QVERIFY2(BringBack(), "the window cannot be brought back");
    }

    void keepingItRunningMinimises() {
        AskToClose(program_.processId());
        QVERIFY2(WaitForWarning(), "no close warning with the keyboard");
        Key(QStringLiteral("Return"));
        QVERIFY2(WaitFor([this] { return Iconic(); }, 15000),
                 "the window is not minimised in the taskbar");
        QTest::qWait(1000);
        QVERIFY(Iconic());
        QCOMPARE(program_.state(), QProcess::Running);
        QVERIFY2(BringBack(), "the window cannot be brought back");

        // And it can still be ended.
        AskToClose(program_.processId());
        QVERIFY(WaitForWarning());
        Key(QStringLiteral("Escape"));
        QVERIFY2(program_.waitForFinished(15000), "Esc did not end the program");
        QCOMPARE(program_.exitCode(), 0);
    }
};

QB_DESKTOP_TEST_MAIN(TestNoTray)
#include "tst_notray.moc"
