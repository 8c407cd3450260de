// The real program on a real X desktop (Xvfb, openbox and trayer as the
// notification area), driven with the mouse and the keyboard: minimising
// puts it into the notification area, its icon's menu brings it back, and
// the windows it opens over the main window take the keyboard.

#include <QMenu>
#include <QToolTip>

#include "tests/desktop/DesktopKit.h"

using namespace desktop;

namespace {

const QString kTitle = QStringLiteral("Quillbase Backup");

bool SameImage(const QImage& a, const QImage& b) { return !a.isNull() && a == b; }

// The stacking order of the window manager, bottom first.
QList<Wid> Stacking() {
    const Output out = Run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<Wid> ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out.text); it.hasNext();) {
        ids << it.next().captured(0).toULongLong(nullptr, 16);
    }
    return ids;
}

}  // namespace

class TestTrayIcon : public QObject {
    Q_OBJECT

    Installation install_;
    QProcess program_;
    Wid main_ = 0;

    QList<Wid> OtherWindows(const QList<Wid>& known) const {
        return NewWindows(program_.processId(), known);
    }
    Wid ProgramIcon() const { return OnlyTrayIconOf(program_.processId()); }
    Wid WaitForWindowOverMain(const QList<Wid>& before) const {
        return WaitForFocusedNewWindow(program_.processId(), before);
    }

    bool OverMain(Wid window) {
        const QRect mainRect = Info(main_).rect;
        const QRect rect = Info(window).rect;
        const QList<Wid> stacking = Stacking();
        const bool above = stacking.indexOf(window) > stacking.indexOf(main_);
        // Centred over the main window, give or take the frames.
        const QPoint offset = rect.center() - mainRect.center();
        if (!above || qAbs(offset.x()) > 40 || qAbs(offset.y()) > 40) {
            qWarning() << "window" << rect << "main" << mainRect << "stacking" << stacking;
            return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY2(!FixtureDisplay().isEmpty(),
                 "needs the desktop fixture (tests/desktop/desktop.sh)");
        const QString local = install_.Path(QStringLiteral("Oficina"));
        QVERIFY(install_.Make({{QStringLiteral("Oficina"), local, QString()}}));
        QVERIFY(install_.MakeLocalServer(local, {QStringLiteral("EMPRESA1")}));
        // A stored schedule for another day: closing asks first.
        StoreSchedule(QDateTime(QDate::currentDate().addDays(3), QTime(3, 0)));

        QVERIFY(install_.Start(program_));
        QVERIFY2(WaitFor(
                     [this] {
                         const QList<Wid> windows = WindowsNamed(program_.processId(), kTitle);
                         for (const Wid id : windows) {
                             if (Info(id).rect.size() == QSize(724, 439)) main_ = id;
                         }
                         return main_ != 0 && ClientList().contains(main_);
                     },
                     20000),
                 "the main window did not come up");
        QVERIFY(TrayIcons().isEmpty());
    }

    void cleanupTestCase() { EndProgram(program_); }

    void minimiseGoesIntoTheNotificationArea() {
        Xdotool({QStringLiteral("windowminimize"), QString::number(main_)});
        QVERIFY2(WaitFor([this] { return ProgramIcon() != 0; }, 15000),
                 "no single icon of the program in the notification area");
        QVERIFY(!Info(main_).viewable);
        QVERIFY2(!ClientList().contains(main_), "the taskbar still lists the window");
        QCOMPARE(TrayIcons().size(), 1);
    }

    void iconTipNamesTheProgram() {
        const Wid icon = ProgramIcon();
        QVERIFY(icon);
        const QList<Wid> before = VisibleWindows(program_.processId());
        const QPoint centre = Info(icon).rect.center();
        MoveTo(centre);
        Wid tip = 0;
        int polls = 0;
        QVERIFY2(WaitFor(
                     [&] {
                         // A slow program may miss the pointer's arrival:
                         // it rests on the icon, moving by a pixel now and then.
                         if (++polls % 30 == 0) MoveTo(centre + QPoint(polls / 30 % 2, 0));
                         for (const Wid id : OtherWindows(before)) {
                             if (Property(id, QStringLiteral("_NET_WM_WINDOW_TYPE"))
                                     .contains(QStringLiteral("TOOLTIP")))
                                 tip = id;
                         }
                         return tip != 0;
                     },
                     15000),
                 "no tip on the icon");
        const QRect tipRect = Info(tip).rect;
        const QImage shown = Grab(tipRect);
        MoveTo(QPoint(5, 5));
        QVERIFY(WaitFor([&] { return !Info(tip).viewable; }, 15000));

        // The same tip drawn here, with the expected text.
        QToolTip::showText(QPoint(200, 200), kTitle);
        QWidget* reference = nullptr;
        QVERIFY(WaitFor(
            [&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (widget->windowType() == Qt::ToolTip && widget->isVisible())
                        reference = widget;
                }
                return reference != nullptr && reference->windowHandle()->isExposed();
            },
            10000));
        QTest::qWait(300);
        const QImage expected = Grab(reference->geometry());
        QToolTip::hideText();
        QCOMPARE(tipRect.size(), reference->size());
        QVERIFY2(SameImage(shown, expected), "the tip does not read \"Quillbase Backup\"");
    }

    void leftAndDoubleClickDoNothing() {
        const Wid icon = ProgramIcon();
        QVERIFY(icon);
        const QList<Wid> before = VisibleWindows(program_.processId());
        Click(Info(icon).rect.center(), 1);
        Click(Info(icon).rect.center(), 1, 2);
        // Nothing may come: give it a moment to show that nothing does.
        QTest::qWait(1500);
        QCOMPARE(OtherWindows(before), QList<Wid>());
        QVERIFY(!Info(main_).viewable);
        QCOMPARE(ProgramIcon(), icon);
        MoveTo(QPoint(5, 5));
    }

    void rightClickMenuBringsTheWindowBack() {
        const Wid icon = ProgramIcon();
        QVERIFY(icon);
        const QList<Wid> before = VisibleWindows(program_.processId());
        const QPoint pointer = Info(icon).rect.center();
        Click(pointer, 3);
        Wid menu = 0;
        QVERIFY2(WaitFor(
                     [&] {
                         const QList<Wid> others = OtherWindows(before);
                         menu = others.size() == 1 ? others[0] : 0;
                         return menu != 0;
                     },
                     15000),
                 "no menu on a right click");
        QTest::qWait(300);
        const QRect menuRect = Info(menu).rect;
        const QImage shown = Grab(menuRect);
        // Just above the pointer.
        QVERIFY2(menuRect.bottom() < pointer.y() && menuRect.bottom() >= pointer.y() - 40 &&
                     menuRect.left() <= pointer.x() && pointer.x() <= menuRect.right(),
                 qPrintable(QStringLiteral("menu at (%1,%2 %3x%4), pointer at (%5,%6)")
                                .arg(menuRect.x())
                                .arg(menuRect.y())
                                .arg(menuRect.width())
                                .arg(menuRect.height())
                                .arg(pointer.x())
                                .arg(pointer.y())));
        Key(QStringLiteral("Escape"));
        QVERIFY(WaitFor([&] { return !Info(menu).viewable; }, 10000));

        // The single item, as a menu with only "Abrir Quillbase Backup"
        // looks at the same place.
        {
            QMenu reference;
            reference.addAction(QStringLiteral("Abrir Quillbase Backup"));
            reference.popup(QPoint(pointer.x(), pointer.y() - 20));
            QVERIFY(QTest::qWaitForWindowExposed(&reference));
            QTest::qWait(300);
            QCOMPARE(reference.geometry(), menuRect);
            QVERIFY2(SameImage(shown, Grab(menuRect)),
                     "the menu is not the single item \"Abrir Quillbase Backup\"");
            reference.close();
        }

        // Chosen: the window comes back in its normal state, the icon goes.
        Click(pointer, 3);
        QVERIFY(WaitFor(
            [&] {
                const QList<Wid> others = OtherWindows(before);
                menu = others.size() == 1 ? others[0] : 0;
                return menu != 0;
            },
            15000));
        QTest::qWait(300);
        Click(Info(menu).rect.center(), 1);
        QVERIFY2(WaitFor([this] { return Info(main_).viewable && TrayIcons().isEmpty(); }, 15000),
                 "the window did not come back, or the icon stayed");
        QVERIFY(ClientList().contains(main_));
        QVERIFY(Property(main_, QStringLiteral("WM_STATE")).contains(QStringLiteral("Normal")));
        QVERIFY(
            !Property(main_, QStringLiteral("_NET_WM_STATE")).contains(QStringLiteral("HIDDEN")));
        QCOMPARE(Info(main_).rect.size(), QSize(724, 439));
    }

    void backupAndRestoreWindowsTakeTheKeyboard() {
        QVERIFY(Info(main_).viewable);
        const QPoint origin = Info(main_).rect.topLeft();
        const QList<Wid> before = VisibleWindows(program_.processId());

        // The backup window: Esc closes it.
        Click(origin + QPoint(474 + 57, 11 + 12));
        Wid backup = WaitForWindowOverMain(before);
        QVERIFY2(backup, "the backup window did not open with the keyboard");
        QVERIFY(OverMain(backup));
        Key(QStringLiteral("Escape"));
        QVERIFY2(WaitFor([&] { return !Info(backup).viewable; }, 15000),
                 "Esc did not reach the backup window");

        // The restore window: it has the keyboard; spSalir closes it.
        QVERIFY(WaitFor([this] { return FocusWindow() == main_; }, 10000));
        Click(origin + QPoint(474 + 57, 38 + 12));
        Wid restore = WaitForWindowOverMain(before);
        QVERIFY2(restore, "the restore window did not open with the keyboard");
        QVERIFY(OverMain(restore));
        Click(Info(restore).rect.topLeft() + QPoint(759 + 19, 73 + 4 + 19));
        QVERIFY(WaitFor([&] { return !Info(restore).viewable; }, 15000));
    }

    void closeWarningTakesTheKeyboard() {
        QVERIFY(WaitFor([this] { return FocusWindow() == main_; }, 10000));
        const QList<Wid> before = VisibleWindows(program_.processId());
        AskToClose(program_.processId());
        const Wid warning = WaitForWindowOverMain(before);
        QVERIFY2(warning, "the close warning did not open with the keyboard");
        QVERIFY(
            Property(warning, QStringLiteral("WM_NAME")).endsWith(QStringLiteral("= \"Aviso\"")));
        QVERIFY(OverMain(warning));
        // Esc: the program ends.
        Key(QStringLiteral("Escape"));
        QVERIFY2(program_.waitForFinished(15000), "Esc did not end the program");
        QCOMPARE(program_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program_.exitCode(), 0);
    }
};

QB_DESKTOP_TEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
