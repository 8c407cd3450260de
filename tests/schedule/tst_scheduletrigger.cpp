// The schedule trigger at chosen instants, and its starts on real backup
// windows: a hidden one made for the run, an idle open one, and an open one
// whose interactive backup is in progress. Local companies go through the
// embedded engine.

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <utility>

#include "ScheduleTestKit.h"
#include "backup/BackupRun.h"
#include "backup/FCondicionesBackup.h"
#include "plan/FBackupForm.h"
#include "plan/FDestino.h"
#include "schedule/ScheduleTrigger.h"
#include "schedule/ScheduledRunGuard.h"
#include "tests/support/FakeDialogs.h"

using namespace Qt::StringLiterals;

namespace {

const QDate kSunday(2026, 12, 6);
const QDate kMonday(2026, 12, 7);

QDateTime At(const QDate& day, int h, int m, int s, int ms = 0) {
    return QDateTime(day, QTime(h, m, s, ms));
}

TScheduleSettings MondayAt2130() {
    return {QStringLiteral("2"), QStringLiteral("21:30:00"), QStringLiteral("T")};
}

// Message boxes during which other handlers run, as in a modal box's own
// event loop.
class BusyDialogs : public FakeDialogs {
public:
    std::function<void()> meanwhile;

    platform::MsgResult Message(platform::MsgIcon icon, const QString& title, const QString& text,
                                platform::MsgButtons buttons) override {
        if (meanwhile) std::exchange(meanwhile, nullptr)();
        return FakeDialogs::Message(icon, title, text, buttons);
    }
};

}  // namespace

class TestScheduleTrigger : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchInstallation> install_;
    std::unique_ptr<TData> data_;
    QString template_;
    int folders_ = 0;

    QString NewFolder(const QString& name) {
        return install_->Folder(QStringLiteral("%1-%2").arg(++folders_).arg(name));
    }
    // The companies of one server live in one folder, the server's.
    QString server_;
    QString NewCompany(const QString& name) { return install_->Company(template_, server_, name); }
    static QString Fbk(const QString& folder) {
        const QStringList files =
            QDir(folder).entryList({QStringLiteral("*.fbk")}, QDir::Files, QDir::Name);
        return files.join(u'|');
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        install_ = std::make_unique<ScratchInstallation>();
        QVERIFY(install_->dir.isValid());
        QVERIFY(MakeServerCatalogue(install_->Program() + QStringLiteral("/Servidores.gdb"), {}));
        template_ = install_->dir.filePath(QStringLiteral("plantilla.orv"));
        QVERIFY(MakeCompanyDatabase(template_));
        data_ = std::make_unique<TData>(QStringLiteral("x"));
        Data = data_.get();
    }

    void cleanupTestCase() {
        Data = nullptr;
        data_.reset();
    }

    void init() {
        server_ = QStringLiteral("%1-servidor").arg(++folders_);
        install_->ClearSettings();
        data_->IBDBackup.Disconnect();
        QVERIFY(MakeBackupLog(BackupLogName()));
    }

    void scheduledSecond_data() {
        QTest::addColumn<QString>("dias");
        QTest::addColumn<QString>("hora");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("matches");
        QTest::newRow("the second") << u"2"_s << u"21:30:00"_s << At(kMonday, 21, 30, 0) << true;
        QTest::newRow("its last millisecond")
            << u"2"_s << u"21:30:00"_s << At(kMonday, 21, 30, 0, 999) << true;
        QTest::newRow("a second late")
            << u"2"_s << u"21:30:00"_s << At(kMonday, 21, 30, 1) << false;
        QTest::newRow("other day") << u"2"_s << u"21:30:00"_s << At(kSunday, 21, 30, 0) << false;
        QTest::newRow("digit anywhere")
            << u"1122"_s << u"21:30:00"_s << At(kMonday, 21, 30, 0) << true;
        QTest::newRow("midnight on Saturday")
            << u"7"_s << u"00:00:00"_s << At(kSunday.addDays(6), 0, 0, 0) << true;
        QTest::newRow("twelve hour clock is not used")
            << u"2"_s << u"09:30:00"_s << At(kMonday, 21, 30, 0) << false;
        QTest::newRow("no days") << QString() << u"21:30:00"_s << At(kMonday, 21, 30, 0) << false;
        QTest::newRow("no time") << u"1234567"_s << QString() << At(kMonday, 0, 0, 0) << false;
        QTest::newRow("time without seconds")
            << u"2"_s << u"21:30"_s << At(kMonday, 21, 30, 0) << false;
        QTest::newRow("blank for a leading zero")
            << u"2"_s << u" 7:05:00"_s << At(kMonday, 7, 5, 0) << false;
    }

    void scheduledSecond() {
        QFETCH(QString, dias);
        QFETCH(QString, hora);
        QFETCH(QDateTime, now);
        QFETCH(bool, matches);
        QCOMPARE(IsScheduledSecond({dias, hora, QStringLiteral("T")}, now), matches);
    }

    void mondayScheduleStartedOnSundayFiresOnceOnMonday() {
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock;
        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;

        // One tick a second from Sunday evening until after Monday's start.
        QList<QDateTime> starts;
        int ticks = 0;
        for (QDateTime now = At(kSunday, 21, 0, 0, 300); now < At(kMonday, 22, 0, 0);
             now = now.addSecs(1)) {
            clock.now = now;
            ++ticks;
            if (trigger.Timer1Timer()) starts << now;
        }
        QCOMPARE(starts, QList<QDateTime>{At(kMonday, 21, 30, 0, 300)});
        QCOMPARE(clock.readings, ticks);
        // The start ran on a window of its own, gone again.
        QCOMPARE(owner.calls.first(), QStringLiteral("stop"));
        QVERIFY(OpenWindows<TBackupForm>().isEmpty());
        QVERIFY(owner.timer1Armed);
    }

    void aSkippedSecondIsNotMadeUp() {
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock;
        TScheduleTrigger trigger(owner);
        for (const QDateTime& now :
             {At(kMonday, 21, 29, 59, 900), At(kMonday, 21, 30, 1, 0), At(kMonday, 21, 30, 2, 0)}) {
            clock.now = now;
            QVERIFY(!trigger.Timer1Timer());
        }
        QVERIFY(owner.calls.isEmpty());
    }

    void incompleteScheduleNeverFires_data() {
        QTest::addColumn<QString>("dias");
        QTest::addColumn<QString>("hora");
        QTest::newRow("no days") << QString() << u"21:30:00"_s;
        QTest::newRow("no time") << u"1234567"_s << QString();
    }

    void incompleteScheduleNeverFires() {
        QFETCH(QString, dias);
        QFETCH(QString, hora);
        FakeOwner owner;
        owner.settings = {dias, hora, QStringLiteral("T")};
        HandClock clock;
        TScheduleTrigger trigger(owner);
        int starts = 0;
        const auto tick = [&](const QDateTime& now) {
            clock.now = now;
            starts += trigger.Timer1Timer() ? 1 : 0;
        };
        // Every second of a day, and the minute around 21:30 on every day of
        // the week.
        for (int second = 0; second < 24 * 3600; ++second)
            tick(At(kMonday, 0, 0, 0).addSecs(second));
        for (int day = 0; day < 7; ++day) {
            for (int second = 0; second < 120; ++second)
                tick(At(kSunday.addDays(day), 21, 29, 30).addSecs(second));
        }
        QCOMPARE(starts, 0);
        QVERIFY(owner.calls.isEmpty());
    }

    void withoutBackupWindowRunsOnAHiddenOneAndDisposesOfIt() {
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString first = NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = NewCompany(QStringLiteral("EMPRESA2"));
        StorePlan(
            {PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, first, second}}});

        FakeDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        owner.timer1Armed = true;
        HandClock clock(At(kMonday, 21, 30, 0));
        TScheduleTrigger trigger(owner);
        QCOMPARE(trigger.StartDelayMs, 2000);

        // Nothing may be processed between the first pump and the run: the
        // first event after it comes at least 2000 ms later, from the run.
        QElapsedTimer sincePump;
        qint64 firstEventAfterPump = -1;
        QTimer probe;
        probe.setInterval(0);
        probe.callOnTimeout([&] {
            if (firstEventAfterPump < 0) firstEventAfterPump = sincePump.elapsed();
            probe.stop();
        });
        owner.onPump = [&] {
            if (owner.pumps == 1) {
                sincePump.start();
                probe.start();
            }
        };
        // What the run looks like from inside.
        int windows = 0;
        QString name;
        bool shown = true;
        bool unattended = false;
        QStringList busyCalls;
        owner.onSt2 = [&](const QString& text) {
            if (text.isEmpty() || windows > 0) return;
            const QList<TBackupForm*> open = OpenWindows<TBackupForm>();
            windows = static_cast<int>(open.size());
            if (open.isEmpty()) return;
            name = open.first()->objectName();
            shown = open.first()->isVisible();
            unattended = open.first()->Unattended;
            busyCalls = owner.calls;
        };

        QVERIFY(trigger.Timer1Timer());

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(windows, 1);
        QCOMPARE(name, QStringLiteral("BackupForm"));
        QVERIFY(!shown);
        QVERIFY(unattended);
        QVERIFY(OpenWindows<TBackupForm>().isEmpty());
        QVERIFY2(firstEventAfterPump >= 1990, qPrintable(QString::number(firstEventAfterPump)));
        QCOMPARE(busyCalls.mid(0, 2),
                 (QStringList{QStringLiteral("stop"), QStringLiteral("busy on")}));
        // The closing steps, in order, after the run's own stops and re-arms.
        QCOMPARE(owner.calls.mid(owner.calls.size() - 3),
                 (QStringList{QStringLiteral("busy off"), QStringLiteral("picture 0"),
                              QStringLiteral("rearm")}));
        QVERIFY(owner.timer1Armed);
        QCOMPARE(owner.lastPicture, 0);

        const QList<QStringList> rows = LogRows(*data_);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].mid(0, 4), (QStringList{QStringLiteral("07/12/2026"),
                                                 QStringLiteral("21:30"), QStringLiteral("[]Local"),
                                                 first + QStringLiteral("/Quillbase.orv")}));
        QCOMPARE(rows[1].at(3), second + QStringLiteral("/Quillbase.orv"));
        for (const QStringList& row : rows)
            QCOMPARE(row.mid(5), (QStringList{QStringLiteral("T"), QString()}));
        QCOMPARE(
            Fbk(copias),
            QStringLiteral("[]Local_EMPRESA1_071226_2130.fbk|[]Local_EMPRESA2_071226_2130.fbk"));
        QVERIFY(QFile::exists(copias + QStringLiteral("/Verificacopia.vrf")));
    }

    void busyPictureAndASwitchOffDuringTheRun() {
        const QString copias = NewFolder(QStringLiteral("copias"));
        StorePlan({PlanServer{QStringLiteral("[]Local"),
                              {kDestinationTag + copias, NewCompany(QStringLiteral("A")),
                               NewCompany(QStringLiteral("B")), NewCompany(QStringLiteral("C"))}}});
        FakeDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock(At(kMonday, 21, 30, 0));
        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;
        // The run lets messages through once before each company's output;
        // companies that take their time give Timer2 its turns there. The
        // operator switches the schedule off meanwhile.
        owner.onSt2 = [&owner](const QString& text) {
            if (text.isEmpty()) return;
            QTest::qSleep(120);
            owner.settings.Activada = QStringLiteral("F");
        };
        QVERIFY(trigger.Timer1Timer());
        QVERIFY2(owner.busyPictures > 0, "Timer2 never showed the busy picture");
        QCOMPARE(owner.lastPicture, 0);
        QVERIFY(!owner.timer2.isActive());
        QVERIFY(!owner.timer1Armed);
        QCOMPARE(owner.calls.last(), QStringLiteral("rearm"));
        QCOMPARE(LogRows(*data_).size(), 3);
    }

    void idleOpenWindowRunsItsPlanAsShown() {
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString stored = NewCompany(QStringLiteral("GUARDADA"));
        const QString shownCompany = NewCompany(QStringLiteral("MOSTRADA"));
        StorePlan({PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, stored}}});

        FakeDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock(At(kMonday, 21, 30, 0));
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The operator changed the plan and has not saved it.
        form.Plan.Servers = {
            PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, shownCompany}, true}};
        form.Plan.PlanModified = true;
        form.ShowPlan();

        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;
        bool backupButtonDuringRun = true;
        int windowsDuringRun = 0;
        // The operator at the window meanwhile: a click on the destination
        // (the chooser), on the log button (the log browser), Esc and the
        // frame's close come in at the run's message processing. None opens
        // a window inside the run nor closes this one; a notice says why,
        // and goes with the run.
        ModalWatcher modals([](QWidget* modal) { modal->close(); });
        QString notice;
        owner.onSt2 = [&](const QString& text) {
            if (text.isEmpty()) return;
            backupButtonDuringRun = form.spBackup->isEnabled();
            windowsDuringRun = static_cast<int>(OpenWindows<TBackupForm>().size());
            QTest::mouseClick(
                form.TreeView->viewport(), Qt::LeftButton, {},
                form.TreeView->visualItemRect(form.ItemOf(PlanRef::ChildEntry(0, 0))).center());
            QTest::mouseClick(form.spLog, Qt::LeftButton);
            QTest::keyClick(&form, Qt::Key_Escape);
            QCloseEvent frameClose;  // the window system's close, as its button sends it
            QCoreApplication::sendEvent(form.windowHandle(), &frameClose);
            if (const QMessageBox* shown = OpenWindows<QMessageBox>().value(0))
                notice = shown->text();
        };
        QVERIFY(trigger.Timer1Timer());

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QVERIFY(!backupButtonDuringRun);
        QCOMPARE(windowsDuringRun, 1);
        QCOMPARE(modals.count, 0);
        QCOMPARE(notice, ScheduledRunGuard::kNotice);
        QVERIFY(OpenWindows<QMessageBox>().isEmpty());
        QVERIFY(form.spBackup->isEnabled());
        QVERIFY(form.isVisible());
        QVERIFY(!form.Unattended);
        const QList<QStringList> rows = LogRows(*data_);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(3), shownCompany + QStringLiteral("/Quillbase.orv"));
        QCOMPARE(rows[0].at(5), QStringLiteral("T"));
        QCOMPARE(Fbk(copias), QStringLiteral("[]Local_MOSTRADA_071226_2130.fbk"));
    }

    void interactiveBackupInProgressGetsABusyRow() {
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString company = NewCompany(QStringLiteral("EMPRESA1"));
        StorePlan({PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, company}}});

        FakeDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock(At(kMonday, 21, 30, 0));
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The operator picks the company and starts its backup.
        QTreeWidgetItem* item = form.TreeView->topLevelItem(0)->child(1);
        QVERIFY(item != nullptr);
        QTest::mouseClick(form.TreeView->viewport(), Qt::LeftButton, {},
                          form.TreeView->visualItemRect(item).center());
        QCOMPARE(form.Plan.CurrentChildEntry, PlanRef::ChildEntry(0, 1));
        // The scheduled second comes while the run asks for confirmation,
        // before it has any window of its own, and again while the backup's
        // progress window is open.
        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;
        bool startedAtConfirmation = false;
        ModalWatcher confirm([&](QWidget* modal) {
            auto* window = qobject_cast<TCondicionesBackup*>(modal);
            if (window == nullptr) return;
            startedAtConfirmation = trigger.Timer1Timer();
            window->BitBtn2->click();
        });
        bool started = false;
        bool ticked = false;
        bool backupButtonAfterTick = true;
        int windowsAfterTick = 0;
        QStringList remarksAfterTick;
        QTimer poll;
        poll.setInterval(0);
        poll.callOnTimeout([&] {
            if (ticked || FindOpenWindow(QStringLiteral("Progreso")) == nullptr) return;
            ticked = true;
            form.Remarks = QStringList{QStringLiteral("Observación de la copia en curso")};
            started = trigger.Timer1Timer();
            backupButtonAfterTick = form.spBackup->isEnabled();
            windowsAfterTick = static_cast<int>(OpenWindows<TBackupForm>().size());
            remarksAfterTick = form.Remarks;
        });
        poll.start();
        form.spBackup->click();
        poll.stop();

        QVERIFY(ticked);
        QVERIFY(started);
        QVERIFY(startedAtConfirmation);
        QCOMPARE(confirm.count, 1);
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QVERIFY(!backupButtonAfterTick);  // as the interactive run left it
        QCOMPARE(windowsAfterTick, 1);
        QCOMPARE(remarksAfterTick, QStringList{QStringLiteral("Observación de la copia en curso")});
        QVERIFY(form.spBackup->isEnabled());
        // The trigger's start and closing steps inside the interactive run's own
        // stop and re-arm.
        const QStringList busyStart{QStringLiteral("stop"), QStringLiteral("busy off"),
                                    QStringLiteral("picture 0"), QStringLiteral("rearm")};
        QCOMPARE(owner.calls, QStringList{QStringLiteral("stop")} + busyStart + busyStart +
                                  QStringList{QStringLiteral("rearm")});

        const QList<QStringList> rows = LogRows(*data_);
        QCOMPARE(rows.size(), 3);
        for (const QStringList& busy : rows.mid(0, 2))
            QCOMPARE(busy, (QStringList{QStringLiteral("07/12/2026"), QStringLiteral("21:30"),
                                        QString(), QString(), QString(), QStringLiteral("F"),
                                        TScheduleTrigger::kBusyRemark + QStringLiteral("\r\n")}));
        // The interactive backup went on with its own remarks.
        QCOMPARE(rows[2].at(3), company + QStringLiteral("/Quillbase.orv"));
        QCOMPARE(rows[2].at(5), QStringLiteral("T"));
        QCOMPARE(rows[2].at(6), QStringLiteral("Observación de la copia en curso\r\n"));
        QCOMPARE(Fbk(copias), QStringLiteral("[]Local_EMPRESA1_071226_2130.fbk"));
    }

    // The run leaves the window's editing state on the last company it ran;
    // a question open meanwhile still acts on the entry it named.
    void aRunDuringAnOpenQuestionLeavesItsEntryAlone() {
        const QString copias = NewFolder(QStringLiteral("copias"));
        const QString first = NewCompany(QStringLiteral("EMPRESA1"));
        const QString second = NewCompany(QStringLiteral("EMPRESA2"));
        StorePlan(
            {PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, first, second}}});

        BusyDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock(At(kMonday, 21, 30, 0));
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;
        const auto click = [&form](const PlanRef& entry) {
            QTreeWidgetItem* item = form.ItemOf(entry);
            QVERIFY(item != nullptr);
            QTest::mouseClick(form.TreeView->viewport(), Qt::LeftButton, {},
                              form.TreeView->visualItemRect(item).center());
        };

        // The delete question about the first company.
        bool started = false;
        dialogs.meanwhile = [&] { started = trigger.Timer1Timer(); };
        click(PlanRef::ChildEntry(0, 1));
        QTest::mouseClick(form.spBorrarServidor, Qt::LeftButton);
        QVERIFY(started);
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Desea eliminar :  ") + first +
                                              QStringLiteral("  de esta configuración")});
        QCOMPARE(form.Plan.Servers.at(0).Children, (QStringList{kDestinationTag + copias, second}));
        QCOMPARE(LogRows(*data_).size(), 2);

        // The destination chooser, accepted after next week's run.
        clock.now = At(kMonday.addDays(7), 21, 30, 0);
        started = false;
        const QString nueva = NewFolder(QStringLiteral("nueva"));
        ModalWatcher chooser([&](QWidget* modal) {
            auto* destino = qobject_cast<TDestino*>(modal);
            if (destino == nullptr) return;
            started = trigger.Timer1Timer();
            destino->Edit1->setText(nueva);
            destino->btAceptar->click();
        });
        click(PlanRef::ChildEntry(0, 0));
        QVERIFY(started);
        QCOMPARE(chooser.count, 1);
        QCOMPARE(form.Plan.Servers.at(0).Children, (QStringList{kDestinationTag + nueva, second}));
        QCOMPARE(LogRows(*data_).size(), 3);
        QCOMPARE(form.TreeView->topLevelItem(0)->child(1)->text(0), second);
        form.Plan.PlanModified = false;
    }

    void progressWindowWithoutBackupWindowIsNoBusyBackup() {
        // A restore's progress window: the run starts on a hidden backup window.
        StorePlan({});
        FakeDialogs dialogs;
        FakeOwner owner;
        owner.settings = MondayAt2130();
        HandClock clock(At(kMonday, 21, 30, 0));
        QWidget progreso(nullptr, Qt::Window);
        progreso.setObjectName(QStringLiteral("Progreso"));
        progreso.show();
        TScheduleTrigger trigger(owner);
        trigger.StartDelayMs = 0;
        QVERIFY(trigger.Timer1Timer());
        QVERIFY(owner.calls.contains(QStringLiteral("busy on")));
        QVERIFY(LogRows(*data_).isEmpty());
    }
};

QTEST_MAIN(TestScheduleTrigger)
#include "tst_scheduletrigger.moc"
