// A scheduled night that went wrong says so on the desktop, to a recorder of
// the test's own registered as org.freedesktop.Notifications on a session bus
// of its own (dbus-run-session, see CMakeLists.txt). The main window's trigger
// runs the nights on real companies (embedded engine) from the stored plan.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QScopeGuard>
#include <QTest>

#include "app/FMainForm.h"
#include "plan/FBackupForm.h"
#include "tests/schedule/ScheduleTestKit.h"
#include "tests/support/FakeDialogs.h"

using namespace Qt::StringLiterals;

// What a notification service is asked to show, "app|summary|body|actions",
// on a connection of its own; and a click on a notification.
class NotificationRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    inline static const QString kPath = u"/org/freedesktop/Notifications"_s;
    inline static const QString kInterface = u"org.freedesktop.Notifications"_s;
    QStringList notices;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"rec"_s);

    bool Register() {
        return bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
               bus.registerService(kInterface);
    }
    void Click(uint id) {
        bus.send(QDBusMessage::createSignal(kPath, kInterface, u"ActionInvoked"_s)
                 << id << u"default"_s);
    }

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        notices << QStringList{app, summary, body, actions.join(u',')}.join(u'|');
        return static_cast<uint>(notices.size());
    }
};

class TestNightNotice : public QObject {
    Q_OBJECT

private slots:
    void aNightWithErrorsSaysSoOnceAndOpensTheLog() {
        QuietOffscreenPlatform();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run by CTest");
        ScratchInstallation install;
        QVERIFY(MakeServerCatalogue(install.Program() + u"/Servidores.gdb"_s, {}));
        QVERIFY(MakeBackupLog(BackupLogName()));
        TData data(u"x"_s);
        Data = &data;
        const auto noData = qScopeGuard([] { Data = nullptr; });
        FakeDialogs dialogs;
        HandClock clock;
        const QString copias = install.Folder(u"copias"_s);
        const QString good = install.Folder(u"srv/E1"_s);
        QVERIFY(MakeCompanyDatabase(good + u"/Quillbase.orv"_s));
        const QString lost = install.Folder(u"srv/PERDIDA"_s);  // no database: a failed backup
        StorePlan({PlanServer{u"[]Local"_s, {kDestinationTag + copias, good, lost}, false, 2}});
        TMainForm form;
        form.ScheduleSettings = {u"2"_s, u"21:30:00"_s, u"T"_s};
        form.Trigger.StartDelayMs = 0;
        // Monday after Monday at the scheduled second; Timer1, armed again
        // after each night, ticks on a minute later.
        int nights = 0;
        const auto night = [&] {
            clock.now = QDateTime(QDate(2026, 12, 7).addDays(7 * nights++), QTime(21, 30));
            const bool started = form.Trigger.Timer1Timer();
            clock.now = clock.now.addSecs(60);
            return started;
        };

        // Without a notification service nothing is shown, now or later.
        QVERIFY(night());
        NotificationRecorder recorder;
        QVERIFY(recorder.Register());
        QVERIFY(night());
        QTRY_COMPARE(recorder.notices.size(), 1);
        QCOMPARE(recorder.notices.first(),
                 u"Quillbase Backup|Quillbase Backup|Copia programada del 14/12/2026 21:30: 1 de 2 "
                 "empresas con errores|default,Historial"_s);
        QString exito;
        for (const QStringList& row : LogRows(data)) exito += row.at(5);
        QCOMPARE(exito, u"TFTF"_s);

        // A click on it opens the log browser, as Historial does; one on
        // another program's notification nothing.
        QStringList opened;
        ModalWatcher close([&](QWidget* modal) {
            opened << modal->objectName();
            modal->close();
        });
        recorder.Click(2);
        recorder.Click(1);
        QTRY_COMPARE(opened, QStringList{u"LogForm"_s});

        // A good night says nothing (and keeps 2 backups); a night that found
        // a backup in progress and wrote its busy row says so.
        StorePlan({PlanServer{u"[]Local"_s, {kDestinationTag + copias, good}, false, 2}});
        QVERIFY(night());
        QTest::qWait(500);
        QCOMPARE(recorder.notices.size(), 1);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(QDir(copias).entryList({u"*.fbk"_s}, QDir::Files, QDir::Name),
                 (QStringList{u"[]Local_E1_141226_2130.fbk"_s, u"[]Local_E1_211226_2130.fbk"_s}));
        TBackupForm open(data);
        QWidget progreso;
        progreso.setObjectName(u"Progreso"_s);
        QVERIFY(night());
        QTRY_COMPARE(recorder.notices.size(), 2);
        QVERIFY(recorder.notices.last().contains(
            u"|Copia programada del 28/12/2026 21:30: no se ha realizado, había otra copia en curso|"_s));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
    }
};

QTEST_MAIN(TestNightNotice)
#include "tst_nightnotice.moc"
