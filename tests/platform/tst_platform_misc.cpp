// Single-instance guard, start-with-the-session entry, message boxes, the
// general error report and the executable's directory.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"
#include "platform/Paths.h"
#include "platform/RunEntry.h"
#include "platform/SingleInstance.h"
#include "tests/support/FakeDialogs.h"

using namespace platform;

namespace {

const QString kLockName = QStringLiteral("QuillbaseBackup.exe");
const QString kRunName = QStringLiteral("QuillbaseBackup");

// Child modes of this program: take the guard, report the outcome on
// standard output, then either wait to be killed ("hold") or start a
// long-lived program and end at once ("spawn", whose line also carries the
// started program's process id).
int RunLockHolder(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    static SingleInstanceGuard guard;
    const bool first = guard.Acquire(kLockName) == SingleInstanceGuard::Outcome::First;
    if (std::strcmp(argv[2], "spawn") == 0) {
        QProcess sleeper;
        sleeper.setProgram(QStringLiteral("sleep"));
        sleeper.setArguments({QStringLiteral("30")});
        sleeper.setStandardOutputFile(QProcess::nullDevice());
        sleeper.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        sleeper.startDetached(&pid);
        std::printf("%s %lld\n", first ? "First" : "Other", static_cast<long long>(pid));
        return 0;
    }
    std::printf("%s\n", first ? "First" : "Other");
    std::fflush(stdout);
    ::sleep(30);
    return 0;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Answers the next modal message box by a key press and reports its buttons.
void PressInNextBox(Qt::Key key, QStringList* buttons, QWidget** parent) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return PressInNextBox(key, buttons, parent);
        for (QAbstractButton* button : box->buttons()) buttons->append(button->text());
        *parent = box->parentWidget();
        QTest::keyClick(box, key);
    });
}

}  // namespace

class TestPlatformMisc : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> scratch_;

private slots:
    void init() {
        scratch_ = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch_->isValid());
        QVERIFY(QDir(scratch_->path()).mkpath(QStringLiteral("config")));
        QVERIFY(QDir(scratch_->path()).mkpath(QStringLiteral("run")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch_->filePath(QStringLiteral("config"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch_->filePath(QStringLiteral("run"))));
    }

    // ---- single instance -------------------------------------------------

    void secondGuardFindsTheFirst() {
        QCOMPARE(SingleInstanceGuard::LockFilePath(kLockName),
                 scratch_->filePath(QStringLiteral("run/QuillbaseBackup.exe.lock")));
        SingleInstanceGuard first;
        SingleInstanceGuard second;
        QCOMPARE(first.Acquire(), SingleInstanceGuard::Outcome::First);
        QCOMPARE(second.Acquire(), SingleInstanceGuard::Outcome::AlreadyRunning);
        QCOMPARE(first.Acquire(), SingleInstanceGuard::Outcome::First);
    }

    // Without a runtime folder the lock lives in a folder of this user's own
    // that nobody else can write: a name another user put first in the
    // shared temporary folder (a folder, a link) is never used.
    void withoutRuntimeFolderTheLockIsInAPrivateFolder() {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(scratch_->path()));
        struct Restore {
            ~Restore() { qunsetenv("TMPDIR"); }
        } restore;
        const QString folder =
            scratch_->filePath(QStringLiteral("QuillbaseBackup-%1").arg(::getuid()));
        const QString path = SingleInstanceGuard::LockFilePath(kLockName);
        QCOMPARE(path, folder + QStringLiteral("/QuillbaseBackup.exe.lock"));
        {
            SingleInstanceGuard first;
            SingleInstanceGuard second;
            QCOMPARE(first.Acquire(kLockName), SingleInstanceGuard::Outcome::First);
            QCOMPARE(second.Acquire(kLockName), SingleInstanceGuard::Outcome::AlreadyRunning);
        }
        struct stat status {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status), 0);
        QVERIFY(S_ISDIR(status.st_mode));
        QCOMPARE(status.st_mode & 0777, 0700u);

        // A link in the lock file's place, to a file of someone else's choosing.
        const QString target = scratch_->filePath(QStringLiteral("victima"));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::link(target, path));
        SingleInstanceGuard throughLink;
        QCOMPARE(throughLink.Acquire(kLockName), SingleInstanceGuard::Outcome::NoGuard);
        QVERIFY(!QFileInfo::exists(target));

        // The folder's name taken first: open to others, or a link.
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
        SingleInstanceGuard openFolder;
        QCOMPARE(openFolder.Acquire(kLockName), SingleInstanceGuard::Outcome::NoGuard);
        QVERIFY(!QFileInfo::exists(path));

        QVERIFY(QDir(folder).removeRecursively());
        const QString elsewhere = scratch_->filePath(QStringLiteral("otra"));
        QVERIFY(QDir().mkdir(elsewhere));
        QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0700) == 0);
        QVERIFY(QFile::link(elsewhere, folder));
        SingleInstanceGuard linkedFolder;
        QCOMPARE(linkedFolder.Acquire(kLockName), SingleInstanceGuard::Outcome::NoGuard);
        QVERIFY(QDir(elsewhere).isEmpty());
    }

    void unusableLockFileMeansNoGuard() {
        qputenv("XDG_RUNTIME_DIR",
                QFile::encodeName(scratch_->filePath(QStringLiteral("missing"))));
        SingleInstanceGuard guard;
        QCOMPARE(guard.Acquire(), SingleInstanceGuard::Outcome::NoGuard);
    }

    void lockEndsWithItsProcess() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--lock-holder"), QStringLiteral("hold")});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("First"));

        SingleInstanceGuard whileRunning;
        QCOMPARE(whileRunning.Acquire(), SingleInstanceGuard::Outcome::AlreadyRunning);
        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        SingleInstanceGuard afterwards;
        QCOMPARE(afterwards.Acquire(), SingleInstanceGuard::Outcome::First);
    }

    void programsStartedByTheHolderDoNotKeepTheLock() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--lock-holder"), QStringLiteral("spawn")});
        QVERIFY(holder.waitForFinished(10000));
        const QList<QByteArray> line = holder.readAllStandardOutput().trimmed().split(' ');
        QCOMPARE(line.size(), 2);
        const pid_t spawned = static_cast<pid_t>(line.at(1).toLongLong());
        QVERIFY(spawned > 0);
        SingleInstanceGuard guard;
        const SingleInstanceGuard::Outcome outcome = guard.Acquire();
        ::kill(spawned, SIGTERM);
        QCOMPARE(line.at(0), QByteArray("First"));
        QCOMPARE(outcome, SingleInstanceGuard::Outcome::First);
    }

    // ---- start with the session ------------------------------------------

    void runEntryIsWrittenAndDeleted() {
        const QString path = RunEntryPath(kRunName);
        QCOMPARE(path,
                 scratch_->filePath(QStringLiteral("config/autostart/QuillbaseBackup.desktop")));
        QVERIFY(!RunEntryExists(kRunName));

        WriteRunEntry(kRunName, QStringLiteral("/opt/quillbase/QuillbaseBackup"));
        QCOMPARE(ReadText(path),
                 QStringLiteral("[Desktop Entry]\nType=Application\nName=Quillbase Backup\n"
                                "Exec=/opt/quillbase/QuillbaseBackup\n"
                                "X-GNOME-Autostart-enabled=true\n"));
        // Reserved characters quote the argument; quoting escapes and the
        // string escapes both apply to a backslash.
        WriteRunEntry(kRunName, QStringLiteral("/opt/Copias $x/a\\b%.exe"));
        QVERIFY(ReadText(path).contains(
            QStringLiteral("\nExec=\"/opt/Copias \\\\$x/a\\\\\\\\b%%.exe\"\n")));
        QVERIFY(RunEntryExists(kRunName));

        DeleteRunEntry(kRunName);
        QVERIFY(!RunEntryExists(kRunName));
        DeleteRunEntry(kRunName);
        QVERIFY(!QFile::exists(path));
    }

    void unwritableRunEntryFails() {
        QFile blocker(scratch_->filePath(QStringLiteral("config/autostart")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        try {
            WriteRunEntry(kRunName, QStringLiteral("/opt/quillbase/QuillbaseBackup"));
            QFAIL("the entry was written");
        } catch (const RunEntryError& error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("Failed to set data for 'QuillbaseBackup'"));
        }
        DeleteRunEntry(kRunName);
    }

    // ---- message boxes ---------------------------------------------------

    void standardBoxesCarryTheirTitlesAndButtons() {
        FakeDialogs dialogs;
        QVERIFY(&CurrentDialogs() == &dialogs);
        ShowPlainMessage(QStringLiteral("plain"));
        ShowInformation(QStringLiteral("info"));
        ShowWarning(QStringLiteral("warn"));
        ShowErrorBox(QStringLiteral("err"));
        dialogs.answers << MsgResult::No << MsgResult::Yes << MsgResult::Cancel;
        QVERIFY(!AskYesNo(QStringLiteral("q1")));
        QVERIFY(AskYesNo(QStringLiteral("q2"), QStringLiteral("Otro")));
        QVERIFY(!AskOkCancel(QStringLiteral("q3")));
        QVERIFY(AskOkCancel(QStringLiteral("q4")));

        using Shown = FakeDialogs::Shown;
        const QList<Shown> expected{
            {MsgIcon::None, QStringLiteral("Quillbase Backup"), QStringLiteral("plain"),
             MsgButtons::Ok},
            {MsgIcon::Information, QStringLiteral("Información"), QStringLiteral("info"),
             MsgButtons::Ok},
            {MsgIcon::Warning, QStringLiteral("Atención"), QStringLiteral("warn"), MsgButtons::Ok},
            {MsgIcon::Error, QStringLiteral("Error"), QStringLiteral("err"), MsgButtons::Ok},
            {MsgIcon::Question, QStringLiteral("Confirmar"), QStringLiteral("q1"),
             MsgButtons::YesNo},
            {MsgIcon::Question, QStringLiteral("Otro"), QStringLiteral("q2"), MsgButtons::YesNo},
            {MsgIcon::Question, QStringLiteral("Confirmar"), QStringLiteral("q3"),
             MsgButtons::OkCancel},
            {MsgIcon::Question, QStringLiteral("Confirmar"), QStringLiteral("q4"),
             MsgButtons::OkCancel}};
        QCOMPARE(dialogs.messages.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(dialogs.messages[i].icon, expected[i].icon);
            QCOMPARE(dialogs.messages[i].title, expected[i].title);
            QCOMPARE(dialogs.messages[i].text, expected[i].text);
            QCOMPARE(dialogs.messages[i].buttons, expected[i].buttons);
        }
    }

    void realBoxesSpeakSpanishAndEscapeSaysNo() {
        QWidget owner;
        owner.show();
        owner.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&owner));

        QStringList buttons;
        QWidget* parent = nullptr;
        PressInNextBox(Qt::Key_Escape, &buttons, &parent);
        QVERIFY(!AskYesNo(QStringLiteral("¿Seguro?")));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Si")}));
        QCOMPARE(parent, &owner);

        buttons.clear();
        PressInNextBox(Qt::Key_Escape, &buttons, &parent);
        QVERIFY(!AskOkCancel(QStringLiteral("¿Seguir?")));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("Aceptar"), QStringLiteral("Cancelar")}));

        PressInNextBox(Qt::Key_Return, &buttons, &parent);
        QVERIFY(AskYesNo(QStringLiteral("¿Seguro?")));

        buttons.clear();
        PressInNextBox(Qt::Key_Escape, &buttons, &parent);
        ShowInformation(QStringLiteral("Hecho"));
        QCOMPARE(buttons, QStringList{QStringLiteral("Aceptar")});
    }

    void enterPressesTheFocusedButtonOfABox() {
        QWidget owner;
        owner.show();
        owner.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&owner));
        // The box's other button takes the focus, then Enter.
        std::function<void()> enterOnSecond = [&enterOnSecond] {
            QTimer::singleShot(0, [&enterOnSecond] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr || !box->isVisible()) return enterOnSecond();
                for (QAbstractButton* button : box->buttons()) {
                    if (button == box->defaultButton()) continue;
                    button->setFocus();
                    QTest::keyClick(button, Qt::Key_Return);
                }
            });
        };
        enterOnSecond();
        QVERIFY(!AskYesNo(QStringLiteral("¿Seguro?")));
        enterOnSecond();
        QVERIFY(!AskOkCancel(QStringLiteral("¿Seguir?")));
    }

    void anEnvironmentVariableNeverAnswersABox() {
        // What the operator is asked is never decided by the environment:
        // the box is shown and waits for its answer.
        const QString log = scratch_->filePath(QStringLiteral("dialogs.log"));
        qputenv("QB_DIALOG_LOG", QFile::encodeName(log));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            shown = box->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        const bool yes = AskYesNo(QStringLiteral("¿Seguro?"));
        qunsetenv("QB_DIALOG_LOG");
        QCOMPARE(shown, QStringLiteral("¿Seguro?"));
        QVERIFY(!yes);
        QVERIFY(!QFile::exists(log));
    }

    // ---- general error report --------------------------------------------

    void unhandledErrorTextEndsWithAStop_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << QStringLiteral("abc") << QStringLiteral("abc.");
        QTest::newRow("stop") << QStringLiteral("abc.") << QStringLiteral("abc.");
        QTest::newRow("parenthesis") << QStringLiteral("x)") << QStringLiteral("x)");
        QTest::newRow("quote") << QStringLiteral("for 'QuillbaseBackup'")
                               << QStringLiteral("for 'QuillbaseBackup'");
        QTest::newRow("slash") << QStringLiteral("ruta/") << QStringLiteral("ruta/.");
        QTest::newRow("accented") << QStringLiteral("á") << QStringLiteral("á.");
        QTest::newRow("line feed") << QStringLiteral("a\n") << QStringLiteral("a\n");
        QTest::newRow("empty") << QString() << QString();
    }

    void unhandledErrorTextEndsWithAStop() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(UnhandledErrorText(message), shown);
    }

    void guardedHandlerReportsItsError() {
        FakeDialogs dialogs;
        Guarded([] {});
        QVERIFY(dialogs.messages.isEmpty());
        Guarded([] { throw std::runtime_error("Acceso denegado"); });
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].icon, MsgIcon::Error);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Quillbase Backup"));
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("Acceso denegado."));
        QCOMPARE(dialogs.messages[0].buttons, MsgButtons::Ok);
    }

    void waitCursorIsRestoredOnEveryWayOut() {
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        try {
            WaitCursor outer;
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            { WaitCursor inner; }
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            throw std::runtime_error("fallo");
        } catch (const std::runtime_error&) {
        }
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

    // ---- executable's directory ------------------------------------------

    void executableDirectoryEndsWithASeparator() {
        QCOMPARE(ExecutableDirectory(), QCoreApplication::applicationDirPath() + u'/');
        SetExecutableDirectory(QStringLiteral("/srv/instalacion"));
        QCOMPARE(ExecutableDirectory(), QStringLiteral("/srv/instalacion/"));
        SetExecutableDirectory(QStringLiteral("/srv/otra/"));
        QCOMPARE(ExecutableDirectory(), QStringLiteral("/srv/otra/"));
        SetExecutableDirectory(QString());
        QCOMPARE(ExecutableDirectory(), QCoreApplication::applicationDirPath() + u'/');
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--lock-holder") == 0) return RunLockHolder(argc, argv);
    QApplication app(argc, argv);
    TestPlatformMisc test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platform_misc.moc"
