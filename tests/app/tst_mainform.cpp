// The main window's life cycle driven like an operator: start-up, the schedule
// notice and its dialog, the close warning, a second copy of the program,
// the notification area, the start-with-the-session box, the help and what
// the backup run and the schedule see of the window.

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/FAvisoCerrarPrograma.h"
#include "app/FMainForm.h"
#include "db/FData.h"
#include "plan/FBackupForm.h"
#include "plan/Help.h"
#include "platform/Paths.h"
#include "platform/RunEntry.h"
#include "platform/Settings.h"
#include "platform/SingleInstance.h"
#include "schedule/FProgramacion.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

namespace {

const QString kRootKey = QStringLiteral("Software\\Orvalenta Software\\Quillbase\\1.0");

void Store(const QString& key, const QString& name, const QString& value) {
    platform::SettingsStore().WriteString(key, name, value);
}

void StoreSchedule(const QString& dias, const QString& hora, const QString& activada) {
    Store(kScheduleKey, QStringLiteral("dias"), dias);
    Store(kScheduleKey, QStringLiteral("hora"), hora);
    Store(kScheduleKey, QStringLiteral("Activada"), activada);
}

QByteArray StoreBytes() {
    QFile file(platform::SettingsStore::FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `action` on the close warning as soon as it is the active modal window.
void WhenWarningOpens(std::function<void(TAvisoCerrarPrograma*)> action) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        auto* warning = qobject_cast<TAvisoCerrarPrograma*>(QApplication::activeModalWidget());
        if (warning == nullptr || !warning->isVisible()) return;
        // As the operator would: only once the warning has the keyboard (a
        // slow machine shows it a moment before it gets the focus).
        const QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr || !warning->isAncestorOf(focus)) return;
        poll->stop();
        poll->deleteLater();
        action(warning);
    });
    poll->start(10);
}

// Runs `action` on each modal window that opens, from inside its event loop.
void WhenModalOpens(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer(qApp);
    auto* last = new QPointer<QWidget>;
    QObject::connect(poll, &QTimer::destroyed, [last] { delete last; });
    QObject::connect(poll, &QTimer::timeout, poll, [poll, last, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal == last->data()) return;
        *last = modal;
        action(modal);
    });
    poll->start(10);
}

void StopWatchingModals() {
    for (QTimer* poll : qApp->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        poll->deleteLater();
}

// Eats the window-activation events of the window it filters, as a desktop
// that never activates the window would.
class ActivationSwallower : public QObject {
public:
    int swallowed = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::WindowActivate) return QObject::eventFilter(watched, event);
        ++swallowed;
        return true;
    }
};

// Another window becomes active, then `window` again: a new activation,
// `times` over.
bool Reactivate(QWidget* window, int times = 1) {
    for (int i = 0; i < times; ++i) {
        QWidget other;
        other.show();
        other.activateWindow();
        if (!QTest::qWaitForWindowActive(&other)) return false;
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window)) return false;
    }
    return true;
}

// Runs the application's event loop as main() does, with `start` as its first
// event; returns its exit code, or 99 when it had not ended after `limitMs`.
int RunProgram(const std::function<void()>& start, int limitMs = 5000) {
    QTimer::singleShot(0, qApp, start);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    limit.start(limitMs);
    return QApplication::exec();
}

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> config_;
    std::unique_ptr<QTemporaryDir> runtime_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TMainForm> form_;
    int exits_ = 0;

    TMainForm* ShowForm() {
        form_ = std::make_unique<TMainForm>();
        form_->show();
        form_->activateWindow();
        if (!QTest::qWaitForWindowActive(form_.get())) return nullptr;
        return form_.get();
    }

private slots:
    void init() {
        // A fresh settings store and lock folder for each test: every window
        // created here takes the single-instance lock for the rest of the run.
        config_ = std::make_unique<QTemporaryDir>();
        runtime_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", runtime_->path().toLocal8Bit());
        dialogs_ = std::make_unique<FakeDialogs>();
        exits_ = 0;
        TMainForm::SetExitFunction([this](int) { ++exits_; });
    }

    void cleanup() {
        StopWatchingModals();
        form_.reset();
        TMainForm::SetExitFunction(nullptr);
        TMainForm::SetTrayAvailability(nullptr);
        SetHelpOpener(nullptr);
        dialogs_.reset();
        SetHelpFilePath(QString());
    }

    void dayList_data() {
        QTest::addColumn<QString>("dias");
        QTest::addColumn<QString>("list");
        QTest::newRow("four days, Sunday last")
            << QStringLiteral("2461") << QStringLiteral("Lunes, Miércoles, Viernes y Domingo");
        QTest::newRow("one day") << QStringLiteral("7") << QStringLiteral("Sábado");
        QTest::newRow("two days") << QStringLiteral("32") << QStringLiteral("Lunes y Martes");
        QTest::newRow("three days")
            << QStringLiteral("234") << QStringLiteral("Lunes, Martes y Miércoles");
        QTest::newRow("whole week")
            << QStringLiteral("2345671")
            << QStringLiteral("Lunes, Martes, Miércoles, Jueves, Viernes, Sábado y Domingo");
        QTest::newRow("repeated digits")
            << QStringLiteral("1122") << QStringLiteral("Lunes y Domingo");
        QTest::newRow("unknown characters") << QStringLiteral("0895 x") << QStringLiteral("Jueves");
        QTest::newRow("nothing") << QString() << QString();
    }

    void dayList() {
        QFETCH(QString, dias);
        QFETCH(QString, list);
        QCOMPARE(ScheduleDayList(dias), list);
    }

    void windowLayout() {
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QCOMPARE(form->size(), QSize(724, 439));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form->Panel1->geometry(), QRect(0, 0, 724, 73));
        QCOMPARE(form->Panel2->geometry(), QRect(0, 73, 724, 366));

        // Two columns of two at the right-hand end of the banner.
        const QList<TPictureLabel*> buttons{form->ImageHacerCopia, form->ImageRestaurar,
                                            form->ImageVerLog, form->Image2};
        for (TPictureLabel* button : buttons) {
            QCOMPARE(button->size(), QSize(115, 24));
            QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
            QVERIFY(form->Panel1->rect().contains(button->geometry()));
        }
        QCOMPARE(form->ImageHacerCopia->x(), form->ImageRestaurar->x());
        QCOMPARE(form->ImageVerLog->x(), form->Image2->x());
        QVERIFY(form->ImageHacerCopia->geometry().right() < form->ImageVerLog->x());
        QVERIFY(form->ImageHacerCopia->geometry().bottom() < form->ImageRestaurar->y());
        QCOMPARE(form->ImageHacerCopia->y(), form->ImageVerLog->y());
        QVERIFY(form->Image2->geometry().right() > 700);
        QCOMPARE(form->ImageHacerCopia->toolTip(), QStringLiteral("Hacer una copia de seguridad"));
        QCOMPARE(form->ImageRestaurar->toolTip(),
                 QStringLiteral("Restaurar una copia de seguridad"));
        QVERIFY(form->Image2->toolTip().isEmpty());

        // One column of text from top to bottom, then the box and the status lines.
        const QList<QWidget*> column{form->Label6,          form->Label1, form->Label3,
                                     form->Label2,          form->Label4, form->Label5,
                                     form->chInicioWindows, form->st2,    form->st1};
        for (qsizetype i = 1; i < column.size(); ++i) {
            QCOMPARE(column[i]->x(), column[0]->x());
            QVERIFY2(column[i]->y() >= column[i - 1]->geometry().bottom(),
                     qPrintable(column[i]->objectName()));
            QVERIFY(form->Panel2->rect().contains(column[i]->geometry()));
        }
        QCOMPARE(form->Label3->text() + form->Label2->text(),
                 QStringLiteral("Es recomendable realizar la copia a un dispositivo externo, así "
                                "en caso de fallo de su disco, siempre podrá recuperar todos sus "
                                "datos"));
        QCOMPARE(form->chInicioWindows->text(), QStringLiteral("Cargar al iniciar windows"));
        QVERIFY(form->chInicioWindows->font().bold());
        QCOMPARE(form->chInicioWindows->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        // Drawn on white: the margin right of its text.
        const QImage box = form->chInicioWindows->grab().toImage();
        for (int y = 0; y < box.height(); ++y)
            QCOMPARE(box.pixelColor(box.width() - 2, y), QColor(Qt::white));
        QVERIFY(form->st1->text().isEmpty() && form->st2->text().isEmpty());
        QCOMPARE(form->Label7->geometry(), QRect(6, 6, 146, 29));
        QVERIFY(!form->Label7->isVisible());

        QCOMPARE(form->Timer1->interval(), 1000);
        QCOMPARE(form->Timer2->interval(), 100);
        QVERIFY(!form->Timer2->isActive());
        // The log's picture button is found by its name and names the log.
        QCOMPARE(form->findChild<QWidget*>(QStringLiteral("ImageVerLog")), form->ImageVerLog);
        QVERIFY2(form->ImageVerLog->toolTip().contains(QStringLiteral("historial")),
                 qPrintable(form->ImageVerLog->toolTip()));
        QVERIFY(dialogs_->messages.isEmpty());
        QCOMPARE(exits_, 0);
    }

    void scheduleNotice_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("dias");
        QTest::addColumn<QString>("hora");
        QTest::addColumn<QString>("activada");
        QTest::addColumn<QString>("notice");  // empty: hidden
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("armed");

        const QString active = QStringLiteral("Existe una copia programada");
        const QString off = QStringLiteral("Existe una copia programada sin activar");
        QTest::newRow("active") << true << QStringLiteral("241") << QStringLiteral("07:05:00")
                                << QStringLiteral("T") << active << QColor(0, 128, 0) << true;
        QTest::newRow("switched off") << true << QStringLiteral("7") << QStringLiteral("21:30:00")
                                      << QStringLiteral("F") << off << QColor(128, 0, 0) << false;
        QTest::newRow("active without hora")
            << true << QStringLiteral("241") << QString() << QStringLiteral("T") << QString()
            << QColor() << false;
        QTest::newRow("active without dias")
            << true << QString() << QStringLiteral("07:05:00") << QStringLiteral("T") << QString()
            << QColor() << false;
        QTest::newRow("Activada neither T nor F")
            << true << QStringLiteral("241") << QStringLiteral("07:05:00") << QStringLiteral("S")
            << QString() << QColor() << false;
        QTest::newRow("Activada lower case")
            << true << QStringLiteral("241") << QStringLiteral("07:05:00") << QStringLiteral("t")
            << QString() << QColor() << false;
        QTest::newRow("nothing stored")
            << false << QString() << QString() << QString() << QString() << QColor() << false;
    }

    void scheduleNotice() {
        QFETCH(bool, stored);
        QFETCH(QString, dias);
        QFETCH(QString, hora);
        QFETCH(QString, activada);
        QFETCH(QString, notice);
        QFETCH(QColor, colour);
        QFETCH(bool, armed);
        if (stored) StoreSchedule(dias, hora, activada);

        TMainForm* form = ShowForm();
        QVERIFY(form);
        QCOMPARE(form->ScheduleSettings.dias, dias);
        QCOMPARE(form->ScheduleSettings.hora, hora);
        QCOMPARE(form->ScheduleSettings.Activada, activada);
        QCOMPARE(form->Label7->isVisible(), !notice.isEmpty());
        if (!notice.isEmpty()) {
            QCOMPARE(form->Label7->text(), notice);
            QCOMPARE(form->Label7->palette().color(QPalette::WindowText), colour);
        }
        QCOMPARE(form->Timer1->isActive(), armed);
    }

    void noticeFollowsScheduleButNeverDisarms() {
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QVERIFY(!form->Timer1->isActive());

        form->ScheduleSettings = {QStringLiteral("3"), QStringLiteral("10:00:00"),
                                  QStringLiteral("T")};
        form->UpdateScheduleNotice();
        QVERIFY(form->Label7->isVisible());
        QVERIFY(form->Timer1->isActive());

        form->ScheduleSettings.Activada = QStringLiteral("F");
        form->UpdateScheduleNotice();
        QCOMPARE(form->Label7->text(), QStringLiteral("Existe una copia programada sin activar"));
        QCOMPARE(form->Label7->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QVERIFY(form->Timer1->isActive());

        form->ScheduleSettings = {};
        form->UpdateScheduleNotice();
        QVERIFY(!form->Label7->isVisible());
        QVERIFY(form->Timer1->isActive());
    }

    void startupShowsStoredStateAndWritesNothing_data() {
        QTest::addColumn<QString>("inicioWindows");
        QTest::addColumn<bool>("checked");
        QTest::newRow("T") << QStringLiteral("T") << true;
        QTest::newRow("F") << QStringLiteral("F") << false;
        QTest::newRow("lower case t") << QStringLiteral("t") << false;
    }

    void startupShowsStoredStateAndWritesNothing() {
        QFETCH(QString, inicioWindows);
        QFETCH(bool, checked);
        Store(kBackupKey, QStringLiteral("InicioWindows"), inicioWindows);
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("C:\\Quillbase"));
        StoreSchedule(QStringLiteral("2"), QStringLiteral("08:00:00"), QStringLiteral("T"));
        const QByteArray before = StoreBytes();
        QVERIFY(!before.isEmpty());
        QVERIFY(HelpFilePath().isEmpty());

        TMainForm* form = ShowForm();
        QVERIFY(form);
        QCOMPARE(form->chInicioWindows->isChecked(), checked);
        QCOMPARE(HelpFilePath(), QStringLiteral("C:\\Quillbase\\QuillbaseBackup.chm"));
        QCOMPARE(StoreBytes(), before);
        QVERIFY(!platform::RunEntryExists(QStringLiteral("QuillbaseBackup")));
        QVERIFY(!QFile::exists(platform::RunEntryPath(QStringLiteral("QuillbaseBackup"))));

        // Later activations read the install root again, but not the box.
        Store(kBackupKey, QStringLiteral("InicioWindows"),
              checked ? QStringLiteral("F") : QStringLiteral("T"));
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("/opt/quillbase"));
        QVERIFY(Reactivate(form));
        QCOMPARE(form->chInicioWindows->isChecked(), checked);
        QCOMPARE(HelpFilePath(), QStringLiteral("/opt/quillbase/QuillbaseBackup.chm"));
        QCOMPARE(form->InstallRoot, QStringLiteral("/opt/quillbase"));
        QVERIFY(dialogs_->messages.isEmpty());
    }

    void startupOnFreshInstallation() {
        QVERIFY(!QFile::exists(platform::SettingsStore::FilePath()));
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QVERIFY(!form->chInicioWindows->isChecked());
        QVERIFY(!form->Label7->isVisible());
        QCOMPARE(HelpFilePath(), QStringLiteral("\\QuillbaseBackup.chm"));
        // Reading the install root creates the program's key, and nothing else.
        const platform::SettingsStore store;
        QVERIFY(store.KeyExists(platform::kQuillbaseKey));
        QVERIFY(store.SubKeys(platform::kQuillbaseKey).isEmpty());
        QVERIFY(dialogs_->messages.isEmpty());
    }

    // A desktop that shows the main window without ever activating it (no
    // window manager, focus-stealing prevention) still gets a working
    // start-up: the first showing does what the first activation would.
    void firstShowingCountsAsActivation() {
        Store(kBackupKey, QStringLiteral("InicioWindows"), QStringLiteral("T"));
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("/opt/quillbase"));
        StoreSchedule(QStringLiteral("1234567"), QStringLiteral("03:00:00"), QStringLiteral("T"));

        form_ = std::make_unique<TMainForm>();
        TMainForm* form = form_.get();
        ActivationSwallower swallower;
        form->installEventFilter(&swallower);
        form->show();
        QTest::qWait(200);
        QCOMPARE(swallower.swallowed, 1);  // offscreen activates on show; the filter ate it
        QVERIFY(form->Timer1->isActive());
        QVERIFY(form->Label7->isVisible());
        QCOMPARE(form->Label7->text(), QStringLiteral("Existe una copia programada"));
        QVERIFY(form->chInicioWindows->isChecked());
        QCOMPARE(HelpFilePath(), QStringLiteral("/opt/quillbase/QuillbaseBackup.chm"));
        QCOMPARE(form->InstallRoot, QStringLiteral("/opt/quillbase"));

        // A later activation is the desktop's: it reads the install root
        // again, but the box only once.
        form->removeEventFilter(&swallower);
        Store(kBackupKey, QStringLiteral("InicioWindows"), QStringLiteral("F"));
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("/srv/quillbase"));
        QVERIFY(Reactivate(form));
        QVERIFY(form->chInicioWindows->isChecked());
        QCOMPARE(HelpFilePath(), QStringLiteral("/srv/quillbase/QuillbaseBackup.chm"));
        QVERIFY(dialogs_->messages.isEmpty());
    }

    // The activation that a window manager gives the first showing is that
    // same showing, not a second activation.
    void firstShowingActivatesOnce() {
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("/opt/quillbase"));
        form_ = std::make_unique<TMainForm>();
        TMainForm* form = form_.get();
        form->show();  // the activation of this showing is still on its way
        QCOMPARE(HelpFilePath(), QStringLiteral("/opt/quillbase/QuillbaseBackup.chm"));
        Store(kRootKey, QStringLiteral("Root"), QStringLiteral("/srv/quillbase"));
        QVERIFY(QTest::qWaitForWindowActive(form));
        QCOMPARE(HelpFilePath(), QStringLiteral("/opt/quillbase/QuillbaseBackup.chm"));

        // Another window active, then this one again: a new activation.
        QVERIFY(Reactivate(form));
        QCOMPARE(HelpFilePath(), QStringLiteral("/srv/quillbase/QuillbaseBackup.chm"));
    }

    void closeWithoutScheduleEndsProgram_data() {
        QTest::addColumn<bool>("emptyKey");
        QTest::newRow("nothing stored") << false;
        QTest::newRow("key with empty values") << true;
    }

    void closeWithoutScheduleEndsProgram() {
        QFETCH(bool, emptyKey);
        if (emptyKey) StoreSchedule(QString(), QString(), QStringLiteral("T"));
        TMainForm* form = ShowForm();
        QVERIFY(form);

        bool sawModal = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this,
                [&sawModal] { sawModal |= QApplication::activeModalWidget() != nullptr; });
        watch.start(5);
        const int exitCode = RunProgram([form] { form->close(); }, 3000);
        QCOMPARE(exitCode, 0);
        QVERIFY(!sawModal);
        QVERIFY(!form->isVisible());
        QVERIFY(dialogs_->messages.isEmpty());
    }

    // The settings file damaged while the program runs: the close says so
    // in Spanish, naming the file, and still ends the program; the file is
    // left as it was.
    void closeWithSettingsDamagedMeanwhileEndsProgram() {
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QFile file(platform::SettingsStore::FilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{ dañado");
        file.close();

        const int exitCode = RunProgram([form] { form->close(); }, 3000);
        QCOMPARE(exitCode, 0);
        QVERIFY(!form->isVisible());
        QCOMPARE(dialogs_->messages.size(), 1);
        const QString text = dialogs_->messages.first().text;
        QVERIFY2(text.contains(QStringLiteral("El fichero de configuración")) &&
                     text.contains(platform::SettingsStore::FilePath()),
                 qPrintable(text));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("{ dañado"));
    }

    // A settings file that turns unreadable, or that cannot be put aside at
    // start-up, is reported once however often the window is activated
    // (each report's box activates it anew), and again only once a reading
    // has succeeded in between; the program stays usable and the schedule
    // read at start-up stays armed.
    void damagedSettingsAreReportedOncePerCause() {
        const QString path = platform::SettingsStore::FilePath();
        const auto damage = [&path] {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("{ dañado");
        };
        StoreSchedule(QStringLiteral("2"), QStringLiteral("21:30:00"), QStringLiteral("T"));
        TMainForm* form = ShowForm();
        QVERIFY(form);
        damage();
        QVERIFY(Reactivate(form, 3));
        QCOMPARE(dialogs_->messages.size(), 1);
        QVERIFY(QFile::remove(path) && Reactivate(form));
        damage();
        QVERIFY(Reactivate(form, 2));
        QCOMPARE(dialogs_->messages.size(), 2);
        QVERIFY(form->Timer1->isActive());
        form_.reset();

        // At start-up, in a folder where nothing can be renamed (as root,
        // whom permissions do not stop, an immutable folder).
        dialogs_->messages.clear();
        const QString folder = QFileInfo(path).absolutePath();
        const bool root = ::geteuid() == 0;
        const auto lock = [&folder, root](bool locked) {
            if (!root)
                return QFile::setPermissions(
                    folder, locked ? QFile::ReadOwner | QFile::ExeOwner
                                   : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            return QProcess::execute(
                       QStringLiteral("chattr"),
                       {locked ? QStringLiteral("+i") : QStringLiteral("-i"), folder}) == 0;
        };
        if (!lock(true)) QSKIP("this file system cannot make the settings folder immutable");
        runtime_ = std::make_unique<QTemporaryDir>();  // the first window kept its lock
        qputenv("XDG_RUNTIME_DIR", runtime_->path().toLocal8Bit());
        SetHelpFilePath(QString());
        form = ShowForm();
        const bool reactivated = form && Reactivate(form, 2);
        QVERIFY(lock(false) && reactivated);
        QVERIFY2(dialogs_->messages.size() == 1, qPrintable(dialogs_->texts().join(u"\n--\n")));
        QVERIFY2(dialogs_->messages.first().text.startsWith(
                     QStringLiteral("No se puede apartar el fichero de configuración")),
                 qPrintable(dialogs_->messages.first().text));
        QVERIFY(form->isVisible());
        QCOMPARE(HelpFilePath(), QString());  // the install root could not be read
        const int exitCode = RunProgram([form] { form->close(); }, 3000);
        QCOMPARE(exitCode, 0);
        QCOMPARE(dialogs_->messages.size(), 2);  // the close names the damaged file
        QCOMPARE(StoreBytes(), QByteArray("{ dañado"));
    }

    void closeWarningEnterKeepsProgramRunning_data() {
        QTest::addColumn<QString>("activada");
        QTest::newRow("active schedule") << QStringLiteral("T");
        QTest::newRow("switched off schedule") << QStringLiteral("F");
    }

    void closeWarningEnterKeepsProgramRunning() {
        QFETCH(QString, activada);
        TMainForm* form = ShowForm();
        QVERIFY(form);
        // The warning reads what is stored at the moment of closing.
        StoreSchedule(QStringLiteral("2461"), QStringLiteral("21:30:00"), activada);

        QString title, days, time;
        QSize size;
        bool enterOnFocus = false;
        bool closeButton = true;
        WhenWarningOpens([&](TAvisoCerrarPrograma* warning) {
            title = warning->windowTitle();
            size = warning->size();
            closeButton = warning->windowFlags() & Qt::WindowCloseButtonHint;
            days = warning->Label2->text();
            time = warning->Label3->text();
            QWidget* focus = QApplication::focusWidget();
            enterOnFocus = focus == warning->BitBtn2;
            QTest::keyClick(focus != nullptr ? focus : warning, Qt::Key_Return);
        });
        bool closed = true;
        const int exitCode = RunProgram([&] {
            closed = form->close();
            // Still running a moment later: nothing ended the event loop.
            QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(7); });
        });

        QCOMPARE(exitCode, 7);
        QCOMPARE(title, QStringLiteral("Aviso"));
        QCOMPARE(size, QSize(617, 369));
        QVERIFY(!closeButton);
        QCOMPARE(days, QStringLiteral("Lunes, Miércoles, Viernes y Domingo"));
        QCOMPARE(time, QStringLiteral("21:30:00"));
        QVERIFY(enterOnFocus);
        QVERIFY(!closed);
        QVERIFY(form->findChildren<TAvisoCerrarPrograma*>().isEmpty());
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QVERIFY(!form->isVisible());
            QVERIFY(form->TrayIcon != nullptr && form->TrayIcon->isVisible());
            QCOMPARE(form->TrayIcon->toolTip(), QStringLiteral("Quillbase Backup"));
        } else {
            // No notification area: minimised rather than invisible.
            QVERIFY(form->isMinimized());
            QVERIFY(form->TrayIcon == nullptr);
        }
        QVERIFY(dialogs_->messages.isEmpty());
    }

    // The warning opens with BitBtn2 focused and default; Enter presses the
    // button that has the focus.
    void closeWarningTakesEnterOnItsFocusedButton() {
        for (const bool onLeave : {true, false}) {
            TAvisoCerrarPrograma warning;
            bool openedOnKeep = false;
            WhenWarningOpens([&](TAvisoCerrarPrograma* shown) {
                openedOnKeep =
                    QApplication::focusWidget() == shown->BitBtn2 && shown->BitBtn2->isDefault();
                QPushButton* button = onLeave ? static_cast<QPushButton*>(shown->BitBtn1)
                                              : static_cast<QPushButton*>(shown->BitBtn2);
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Return);
            });
            const int answer = warning.exec();
            QVERIFY(openedOnKeep);
            QCOMPARE(answer, onLeave ? int(QDialog::Rejected) : int(QDialog::Accepted));
        }
    }

    void programOutlivesItsOtherWindows() {
        // In the notification area the main window is hidden; a window that the
        // program opens and closes meanwhile (a message, a run window) must not
        // end it.
        TMainForm* form = ShowForm();
        QVERIFY(form);
        const int exitCode = RunProgram([form] {
            form->hide();
            auto* other = new QWidget;
            other->setAttribute(Qt::WA_DeleteOnClose);
            other->show();
            QTimer::singleShot(50, other, &QWidget::close);
            QTimer::singleShot(250, qApp, [] { QCoreApplication::exit(7); });
        });
        QCOMPARE(exitCode, 7);
    }

    void closeWarningEscEndsProgram() {
        StoreSchedule(QStringLiteral("7"), QStringLiteral("06:00:00"), QStringLiteral("T"));
        TMainForm* form = ShowForm();
        QVERIFY(form);

        QString days;
        QStringList hints;
        WhenWarningOpens([&](TAvisoCerrarPrograma* warning) {
            days = warning->Label2->text();
            hints << warning->BitBtn1->toolTip() << warning->BitBtn2->toolTip();
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus != nullptr ? focus : warning, Qt::Key_Escape);
        });
        const int exitCode = RunProgram([form] { form->close(); });

        QCOMPARE(exitCode, 0);
        QCOMPARE(days, QStringLiteral("Sábado"));
        QCOMPARE(hints, QStringList({QStringLiteral("Abandonar el programa"),
                                     QStringLiteral("El programa se minimiza en la barra de "
                                                    "tareas")}));
        QVERIFY(!form->isVisible());
        QVERIFY(form->TrayIcon == nullptr);
        QVERIFY(form->findChildren<TAvisoCerrarPrograma*>().isEmpty());
    }

    void secondCopyStopsAtGuard() {
        // The first copy of the program holds the lock.
        platform::SingleInstanceGuard firstCopy;
        QCOMPARE(firstCopy.Acquire(), platform::SingleInstanceGuard::Outcome::First);
        StoreSchedule(QStringLiteral("2"), QStringLiteral("08:00:00"), QStringLiteral("T"));

        QList<int> exitCodes;
        TMainForm::SetExitFunction([&exitCodes](int code) { exitCodes.append(code); });
        TMainForm second;

        QCOMPARE(exitCodes, QList<int>{0});
        QCOMPARE(dialogs_->messages.size(), 1);
        const FakeDialogs::Shown& shown = dialogs_->messages.first();
        QCOMPARE(shown.icon, platform::MsgIcon::None);
        QCOMPARE(shown.title, QStringLiteral("Quillbase Backup"));
        QCOMPARE(shown.text, QStringLiteral("El programa ya se está ejecutando..."));
        QCOMPARE(shown.buttons, platform::MsgButtons::Ok);
        // Nothing of the second copy went on, and the first keeps its lock.
        QVERIFY(!second.isVisible());
        QVERIFY(second.ScheduleSettings.dias.isEmpty());
        platform::SingleInstanceGuard third;
        QCOMPARE(third.Acquire(), platform::SingleInstanceGuard::Outcome::AlreadyRunning);
    }

    void minimisingHidesIntoTheNotificationArea() {
        TMainForm::SetTrayAvailability([] { return true; });
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QVERIFY(form->TrayIcon == nullptr);

        form->showMinimized();
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(form->TrayIcon != nullptr && form->TrayIcon->isVisible());
        QCOMPARE(form->TrayIcon->toolTip(), QStringLiteral("Quillbase Backup"));
        QCOMPARE(form->TrayIcon->icon().cacheKey(), form->windowIcon().cacheKey());

        // Left clicks and double clicks on the icon do nothing.
        emit form->TrayIcon->activated(QSystemTrayIcon::Trigger);
        emit form->TrayIcon->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!form->PopupMenu1->isVisible());
        QVERIFY(!form->isVisible());

        // The right button: the menu's one item, 20 pixels above the pointer.
        QCursor::setPos(300, 400);
        emit form->TrayIcon->activated(QSystemTrayIcon::Context);
        QVERIFY(form->PopupMenu1->isVisible());
        QCOMPARE(form->PopupMenu1->pos(), QPoint(300, 380));
        QCOMPARE(form->PopupMenu1->actions().size(), 1);
        QCOMPARE(form->PopupMenu1->actions().first()->text(),
                 QStringLiteral("Abrir Quillbase Backup"));

        form->PopupMenu1->actions().first()->trigger();
        form->PopupMenu1->hide();
        QVERIFY(form->isVisible());
        QVERIFY(!form->isMinimized());
        QVERIFY(form->TrayIcon == nullptr);

        // And once more: the window goes and comes back every time.
        form->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!form->isVisible());
        form->AbrirQuillbaseBackup1Click();
        QVERIFY(form->isVisible() && !form->isMinimized());
        QVERIFY(dialogs_->messages.isEmpty());
    }

    void withoutNotificationAreaTheWindowStaysMinimised() {
        TMainForm::SetTrayAvailability([] { return false; });
        TMainForm* form = ShowForm();
        QVERIFY(form);
        form->showMinimized();
        QTest::qWait(50);
        QVERIFY(form->isVisible());
        QVERIFY(form->isMinimized());
        QVERIFY(form->TrayIcon == nullptr);

        // Putting the icon in minimises, and that is no minimise to take over.
        form->showNormal();
        form->UpdateTrayIcon(TMainForm::TrayAction::Add);
        QTest::qWait(50);
        QVERIFY(form->isVisible() && form->isMinimized());
        QVERIFY(form->TrayIcon == nullptr);
    }

    void trayPictureShowsTheRun() {
        TMainForm::SetTrayAvailability([] { return true; });
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QCOMPARE(form->ImageList1.size(), 2);
        form->SetTrayPicture(1);  // no icon: no effect, no harm
        form->UpdateTrayIcon(TMainForm::TrayAction::Add);
        QVERIFY(form->TrayIcon != nullptr);

        form->SetBusyTimer(true);
        QVERIFY(form->Timer2->isActive());
        QTRY_COMPARE(form->TrayIcon->icon().cacheKey(), form->ImageList1[1].cacheKey());
        form->SetBusyTimer(false);
        form->SetTrayPicture(0);
        QVERIFY(!form->Timer2->isActive());
        QCOMPARE(form->TrayIcon->icon().cacheKey(), form->ImageList1[0].cacheKey());
        form->UpdateTrayIcon(TMainForm::TrayAction::Delete);
        QVERIFY(form->TrayIcon == nullptr);
    }

    void startWithTheSession() {
        TMainForm* form = ShowForm();
        QVERIFY(form);
        const QString entry = platform::RunEntryPath(QStringLiteral("QuillbaseBackup"));
        const auto inicio = [] {
            return platform::SettingsStore().ReadString(kBackupKey,
                                                        QStringLiteral("InicioWindows"));
        };

        QTest::mouseClick(form->chInicioWindows, Qt::LeftButton, {}, QPoint(8, 9));
        QVERIFY(form->chInicioWindows->isChecked());
        QVERIFY(platform::RunEntryExists(QStringLiteral("QuillbaseBackup")));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(file.readAll())
                    .contains(QStringLiteral("\nExec=") + QCoreApplication::applicationFilePath() +
                              u'\n'));
        file.close();
        QCOMPARE(inicio(), QStringLiteral("T"));

        QTest::mouseClick(form->chInicioWindows, Qt::LeftButton, {}, QPoint(8, 9));
        QVERIFY(!form->chInicioWindows->isChecked());
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(inicio(), QStringLiteral("F"));

        // Unchecking with the entry already gone still writes "F".
        QTest::mouseClick(form->chInicioWindows, Qt::LeftButton, {}, QPoint(8, 9));
        QVERIFY(QFile::remove(entry));
        QTest::mouseClick(form->chInicioWindows, Qt::LeftButton, {}, QPoint(8, 9));
        QCOMPARE(inicio(), QStringLiteral("F"));
        QVERIFY(dialogs_->messages.isEmpty());

        // The entry cannot be written: the error, the box stays checked and
        // "InicioWindows" keeps its value.
        QVERIFY(QDir(QFileInfo(entry).absolutePath()).removeRecursively());
        QFile blocker(QFileInfo(entry).absolutePath());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QTest::mouseClick(form->chInicioWindows, Qt::LeftButton, {}, QPoint(8, 9));
        QCOMPARE(dialogs_->messages.size(), 1);
        QCOMPARE(dialogs_->messages.first().title, QStringLiteral("Quillbase Backup"));
        QCOMPARE(dialogs_->messages.first().icon, platform::MsgIcon::Error);
        QCOMPARE(dialogs_->messages.first().text,
                 QStringLiteral("Failed to set data for 'QuillbaseBackup'"));
        QVERIFY(form->chInicioWindows->isChecked());
        QCOMPARE(inicio(), QStringLiteral("F"));
    }

    void helpOnF1AndThePicture() {
        QList<int> contexts;
        SetHelpOpener([&contexts](const QString&, int context) { contexts << context; });
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QTest::keyClick(form, Qt::Key_F1);
        QTest::mouseClick(form->Image2, Qt::LeftButton, {}, form->Image2->rect().center());
        QCOMPARE(contexts, (QList<int>{3, 3}));
        QVERIFY(dialogs_->messages.isEmpty());
    }

    void scheduleNoticeOpensTheDialog() {
        StoreSchedule(QStringLiteral("7"), QStringLiteral("06:00:00"), QStringLiteral("F"));
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QCOMPARE(form->Label7->text(), QStringLiteral("Existe una copia programada sin activar"));
        QVERIFY(!form->Timer1->isActive());

        QString title;
        QStringList states;
        WhenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<TProgramacion*>(modal);
            if (dialog == nullptr) return;
            title = dialog->windowTitle();
            states << dialog->TimeText() << QString::number(dialog->chSabado->isChecked())
                   << QString::number(dialog->chDesactivar->isChecked());
            // Switched on again, Friday as well, at 06:30.
            QTest::mouseClick(dialog->chDesactivar, Qt::LeftButton, {}, QPoint(6, 10));
            QTest::mouseClick(dialog->chViernes, Qt::LeftButton, {},
                              dialog->chViernes->rect().center());
            dialog->SetTimeText(QStringLiteral("06:30"));
            QTest::mouseClick(dialog->btAceptar, Qt::LeftButton, {},
                              dialog->btAceptar->rect().center());
        });
        QTest::mouseClick(form->Label7, Qt::LeftButton, {}, form->Label7->rect().center());

        QCOMPARE(title, QStringLiteral("Programación"));
        QCOMPARE(states,
                 (QStringList{QStringLiteral("06:00"), QStringLiteral("1"), QStringLiteral("1")}));
        QVERIFY(form->findChildren<TProgramacion*>().isEmpty());
        const TScheduleSettings saved{QStringLiteral("67"), QStringLiteral("06:30:00"),
                                      QStringLiteral("T")};
        QCOMPARE(LoadScheduleSettings(), saved);
        QCOMPARE(form->ScheduleSettings, saved);
        QCOMPARE(form->Label7->text(), QStringLiteral("Existe una copia programada"));
        QCOMPARE(form->Label7->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QVERIFY(form->Timer1->isActive());
        QVERIFY(dialogs_->messages.isEmpty());
    }

    void theRunAndTheScheduleSeeTheWindow() {
        {
            TMainForm* form = ShowForm();
            QVERIFY(form);
            QCOMPARE(CurrentMainWindowLink(), static_cast<MainWindowLink*>(form));
            QCOMPARE(CurrentScheduleOwner(), static_cast<ScheduleOwner*>(form));
            QCOMPARE(form->MainWindow(), form);
            QCOMPARE(form->Timer1->timerType(), Qt::PreciseTimer);

            form->SetSt2(QStringLiteral("[]Local : /q/EMPRESA1/Quillbase.orv"));
            form->SetSt1(QStringLiteral("Copiando : writing data for table CLIENTES"));
            QCOMPARE(form->st2->text(), QStringLiteral("[]Local : /q/EMPRESA1/Quillbase.orv"));
            QCOMPARE(form->st1->text(),
                     QStringLiteral("Copiando : writing data for table CLIENTES"));
            QVERIFY(form->st1->geometry().top() > form->st2->geometry().top());

            // Re-armed only for an active schedule.
            form->ScheduleSettings = {QStringLiteral("2"), QStringLiteral("21:30:00"),
                                      QStringLiteral("F")};
            form->RearmScheduleTimer();
            QVERIFY(!form->Timer1->isActive());
            form->ScheduleCopy().Activada = QStringLiteral("T");
            form->RearmScheduleTimer();
            QVERIFY(form->Timer1->isActive());
            form->StopScheduleTimer();
            QVERIFY(!form->Timer1->isActive());
        }
        form_.reset();
        QVERIFY(CurrentMainWindowLink() == nullptr);
        QVERIFY(CurrentScheduleOwner() == nullptr);
    }

    void backupWindowTakesTheCaption() {
        QTemporaryDir program;
        QVERIFY(MakeServerCatalogue(program.filePath(QStringLiteral("Servidores.gdb")), {}));
        platform::SetExecutableDirectory(program.path());
        TData data(QStringLiteral("x"));
        Data = &data;
        TMainForm* form = ShowForm();
        QVERIFY(form);
        form->setWindowTitle(QStringLiteral("Copias de la oficina"));
        QString title;
        WhenModalOpens([&](QWidget* modal) {
            if (modal->objectName() != u"BackupForm") return;
            title = modal->windowTitle();
            modal->close();
        });
        QTest::mouseClick(form->ImageHacerCopia, Qt::LeftButton, {},
                          form->ImageHacerCopia->rect().center());
        QCOMPARE(title, QStringLiteral("Copias de la oficina"));
        QVERIFY(form->findChildren<TBackupForm*>().isEmpty());
        Data = nullptr;
        platform::SetExecutableDirectory(QString());
        QVERIFY2(dialogs_->messages.isEmpty(), qPrintable(dialogs_->texts().join(u'|')));
    }

    void theCloseWarningWaitsForTheOperatorWhateverTheEnvironment() {
        QTemporaryDir logDir;
        const QString log = logDir.filePath(QStringLiteral("dialogs.log"));
        qputenv("QB_DIALOG_LOG", log.toLocal8Bit());
        StoreSchedule(QStringLiteral("32"), QStringLiteral("21:30:00"), QStringLiteral("T"));
        TMainForm* form = ShowForm();
        QVERIFY(form);
        QString shown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&shown] {
            auto* aviso = qobject_cast<TAvisoCerrarPrograma*>(QApplication::activeModalWidget());
            if (aviso == nullptr || !shown.isEmpty()) return;
            shown = aviso->Label2->text();
            aviso->BitBtn1->click();
        });
        watch.start(5);
        const int exitCode = RunProgram([form] { form->close(); }, 3000);
        qunsetenv("QB_DIALOG_LOG");
        QCOMPARE(exitCode, 0);
        QCOMPARE(shown, QStringLiteral("Lunes y Martes"));
        QVERIFY(!QFile::exists(log));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
