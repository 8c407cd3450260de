// A scheduled night that went wrong says so on the desktop, through the
// notification service of a session bus of the test's own (dbus-run-session,
// see CMakeLists.txt); the service is a recorder of the test's own, on a
// connection of its own, registered as org.freedesktop.Notifications. The
// main window's trigger runs the nights on real companies (embedded engine)
// from the stored plan, which keeps 2 backups of each company.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTest>

#include "app/FMainForm.h"
#include "plan/FBackupForm.h"
#include "tests/schedule/ScheduleTestKit.h"
#include "tests/support/FakeDialogs.h"

using namespace Qt::StringLiterals;

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

// What a notification service is asked to show, and a click on it.
class NotificationRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notices;  // app name|summary|body|actions
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("recorder"));

    bool Register() {
        return bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
               bus.registerService(kInterface);
    }
    void Click(uint id) {
        bus.send(QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ActionInvoked"))
                 << id << QStringLiteral("default"));
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
    void initTestCase() { QuietOffscreenPlatform(); }

    void aNightWithErrorsSaysSoOnceAndOpensTheLog() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run by CTest");
        ScratchInstallation install;
        QVERIFY(MakeServerCatalogue(install.Program() + QStringLiteral("/Servidores.gdb"), {}));
        QVERIFY(MakeBackupLog(BackupLogName()));
        const QString plantilla = install.dir.filePath(QStringLiteral("plantilla.orv"));
        QVERIFY(MakeCompanyDatabase(plantilla));
        TData data(QStringLiteral("x"));
        Data = &data;
        struct NoData {
            ~NoData() { Data = nullptr; }
        } noData;
        FakeDialogs dialogs;
        HandClock clock(QDateTime(QDate(2026, 12, 7), QTime(21, 30)));
        const QString copias = install.Folder(QStringLiteral("copias"));
        const QString good =
            install.Company(plantilla, QStringLiteral("srv"), QStringLiteral("E1"));
        // A company folder without its database: a backup that fails.
        const QString lost = install.Folder(QStringLiteral("srv/PERDIDA"));
        // The stored plan keeps 2 backups of each company.
        StorePlan({PlanServer{
            QStringLiteral("[]Local"), {kDestinationTag + copias, good, lost}, false, 2}});

        TMainForm form;
        form.ScheduleSettings = {QStringLiteral("2"), QStringLiteral("21:30:00"),
                                 QStringLiteral("T")};
        form.Trigger.StartDelayMs = 0;
        // The scheduled second of the next Monday, once: Timer1, armed again
        // after each night, ticks on a minute later.
        int nights = 0;
        const auto night = [&] {
            clock.now = QDateTime(QDate(2026, 12, 7).addDays(7 * nights++), QTime(21, 30));
            const bool started = form.Trigger.Timer1Timer();
            clock.now = clock.now.addSecs(60);
            return started;
        };

        // Without a notification service nothing is shown and nothing waits.
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(night());
        QTest::qWait(300);
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));

        NotificationRecorder recorder;
        QVERIFY(recorder.Register());
        QVERIFY(night());
        QTRY_COMPARE(recorder.notices.size(), 1);
        QCOMPARE(recorder.notices.first(),
                 QStringLiteral("Quillbase Backup|Quillbase Backup|Copia programada del 14/12/2026 "
                                "21:30: 1 de 2 empresas con errores|default,Historial"));
        QCOMPARE(Column(LogRows(data), 5), (QStringList{u"T"_s, u"F"_s, u"T"_s, u"F"_s}));

        // A click on it opens the log browser, as Historial does.
        QStringList opened;
        ModalWatcher close([&](QWidget* modal) {
            opened << modal->objectName();
            modal->close();
        });
        recorder.Click(2);  // not ours
        recorder.Click(1);
        QTRY_COMPARE(opened, QStringList{QStringLiteral("LogForm")});
        QTest::qWait(300);
        QCOMPARE(opened.size(), 1);

        // A good night says nothing; a night that found a backup in progress
        // and wrote its busy row says so.
        StorePlan(
            {PlanServer{QStringLiteral("[]Local"), {kDestinationTag + copias, good}, false, 2}});
        QVERIFY(night());
        QTest::qWait(500);
        QCOMPARE(recorder.notices.size(), 1);
        QCOMPARE(QDir(copias).entryList({QStringLiteral("*.fbk")}, QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("[]Local_E1_141226_2130.fbk"),
                              QStringLiteral("[]Local_E1_211226_2130.fbk")}));
        TBackupForm open(data);
        QWidget progreso;
        progreso.setObjectName(QStringLiteral("Progreso"));
        QVERIFY(night());
        QTRY_COMPARE(recorder.notices.size(), 2);
        QVERIFY(recorder.notices.last().contains(
            QStringLiteral("|Copia programada del 28/12/2026 21:30: no se ha realizado, había otra "
                           "copia en curso|")));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
    }

private:
    static QStringList Column(const QList<QStringList>& rows, int column) {
        QStringList values;
        for (const QStringList& row : rows) values << row.at(column);
        return values;
    }
};

QTEST_MAIN(TestNightNotice)
#include "tst_nightnotice.moc"
