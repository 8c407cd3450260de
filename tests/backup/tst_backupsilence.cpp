// Windows that keep answering while the server works without a word: a
// company whose expression index takes seconds to build keeps the server
// silent during the verification and the restore. The interactive run and
// the restore must let window events be processed during that silence
// without taking the silence for an output line; the unattended run still
// processes them once per company. The backup run goes through the engine
// inside this process, the restore through the shared test server of the
// fixture FbServer when there is one (else the engine as well).

#include <QPushButton>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "backup/FProgreso.h"
#include "platform/Paths.h"
#include "restore/RestoreRun.h"
#include "tests/support/FakeDialogs.h"

using namespace backuprun;

namespace {

// Every key of the index LENTA_CLAVE costs the engine at least 4 ms of the
// clock, so that building it takes seconds on any machine: longer than one
// wait of the output reading.
const QString kSilentIndexSql = QStringLiteral(R"(
SET TERM ^ ;
CREATE FUNCTION CLAVE_LENTA (X INTEGER) RETURNS INTEGER AS
  DECLARE T0 TIMESTAMP;
BEGIN
  T0 = CAST('NOW' AS TIMESTAMP);
  WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < 5) DO X = X + 0;
  RETURN X;
END^
SET TERM ; ^
CREATE TABLE LENTA (A INTEGER);
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN
  WHILE (I < 600) DO BEGIN INSERT INTO LENTA VALUES (:I); I = I + 1; END
END^
SET TERM ; ^
COMMIT;
CREATE INDEX LENTA_CLAVE ON LENTA COMPUTED BY (CLAVE_LENTA(A));
)");

const QString kFinishedLine = QStringLiteral("¡ PROCESO TERMINADO !");

// The main window, which also notes every processing of window events that
// finds the shown progress window with no line more than at the one before:
// events processed while the server was silent.
class SilenceWatchingMainWindow : public FakeMainWindow {
public:
    struct Silence {
        QString caption;
        QString lastLine;  // the line shown while it lasted
    };
    QList<Silence> silences;

    void ProcessMessages() override {
        FakeMainWindow::ProcessMessages();
        const TProgreso* window = ShownProgress();
        if (window == nullptr) {
            caption_.clear();
            return;
        }
        const QString caption = window->windowTitle();
        const int characters = window->Memo1->document()->characterCount();
        if (caption == caption_ && characters == characters_)
            silences.append(Silence{caption, window->Memo1->toPlainText().section(u'\n', -1)});
        caption_ = caption;
        characters_ = characters;
    }

private:
    static const TProgreso* ShownProgress() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TProgreso*>(widget); window && window->isVisible())
                return window;
        return nullptr;
    }

    QString caption_;
    int characters_ = 0;
};

class TestRestoreHost : public RestoreHost {
public:
    QWidget window;
    bool ConfirmRestore(const RestoreRequest&) override { return true; }
    void LockButtons() override {}
    void ResetWindow() override {}
    QWidget* Window() override { return &window; }
};

// The lines of a progress window's text: every line the server gave, its
// empty closing line only at the end, then the closing words.
void VerifyOutputLines(const QString& text, const QString& prefix) {
    QStringList lines = text.split(u'\n');
    QVERIFY2(lines.size() > 3, qPrintable(text));
    QCOMPARE(lines.takeLast(), kFinishedLine);
    QCOMPARE(lines.takeLast(), QString());
    for (const QString& line : lines) {
        QVERIFY2(!line.isEmpty(), qPrintable(QStringLiteral("an empty line inside:\n") + text));
        QVERIFY2(line.startsWith(prefix), qPrintable(line));
    }
    const qsizetype index = lines.indexOf(prefix + QStringLiteral(
                                                       "    activating and creating deferred "
                                                       "index LENTA_CLAVE "));
    QVERIFY2(index >= 0, qPrintable(text));
    QVERIFY2(lines.indexOf(prefix + QStringLiteral("finishing, closing, and going home ")) > index,
             qPrintable(text));
}

// The whole output of a restore of `backupFile` through the engine inside
// this process, read line by line; `whileSilent` as NextLine takes it.
QStringList RestoreOutput(const QString& backupFile, const QString& target,
                          const std::function<void()>& whileSilent) {
    fb::Service service;
    service.SetParams(TData::ServiceParams(QStringLiteral("x")));
    service.Attach();
    service.Start(fb::BuildRestoreStartParams(backupFile, target, 0x3000, 4096, 3000, true));
    QStringList lines;
    QString line;
    while (service.NextLine(&line, whileSilent)) lines.append(line);
    lines.append(line);
    return lines;
}

}  // namespace

class TestBackupSilence : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString company_;
    QString copias_;

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(dir_.isValid());
        company_ = dir_.filePath(QStringLiteral("empresas/LENTA"));
        QDir().mkpath(company_);
        QVERIFY(MakeDatabase(company_ + u'/' + kCompanyDatabase,
                             {SchemaDir() + QStringLiteral("/company.sql")}, kSilentIndexSql));
        copias_ = dir_.filePath(QStringLiteral("copias"));
        QDir().mkpath(copias_);
        platform::SetExecutableDirectory(dir_.filePath(QStringLiteral("programa")));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    void interactiveVerificationAnswersDuringTheSilence() {
        FakeDialogs dialogs;
        SilenceWatchingMainWindow main;
        TData data(QStringLiteral("x"));
        TestHost host;
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias_, company_});
        host.PickChild(0, 1);
        ModalAnswers answers([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        ProgressWatcher progress;
        TBackupRun(data, host).RunBackup();

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(5), QStringLiteral("T"));

        // No wait for a line became a line ...
        QCOMPARE(progress.windows.size(), 2);
        VerifyOutputLines(progress.windows[1].text, QStringLiteral("Verificando : "));
        QVERIFY(progress.windows[0].text.endsWith(QStringLiteral("\n\n") + kFinishedLine));

        // ... and events were processed while the index was being built,
        // with its line the last one shown.
        QVERIFY(!main.silences.isEmpty());
        // (A loaded machine may also leave the backup itself silent for a
        // slice; only the verification's silence is certain.)
        bool duringIndex = false;
        for (const auto& silence : main.silences)
            duringIndex = duringIndex || (silence.caption == u"Verificando copia" &&
                                          silence.lastLine.contains(u"LENTA_CLAVE"));
        QVERIFY(duringIndex);
    }

    void unattendedRunProcessesEventsOncePerCompany() {
        FakeDialogs dialogs;
        SilenceWatchingMainWindow main;
        TData data(QStringLiteral("x"));
        TestHost host;
        host.unattended = true;
        host.AddServer(QStringLiteral("[]Local"), {kDestinationTag + copias_, company_});
        host.PickChild(0, 1);
        TBackupRun(data, host).RunBackup();

        const auto rows = LogRows(data);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(5), QStringLiteral("T"));
        QCOMPARE(rows[0].at(6), QString());
        QCOMPARE(main.pumps, 1);
        QVERIFY(dialogs.messages.isEmpty());
    }

    // The same restore read in one wait per line and in slices: the same
    // lines in the same order, the empty closing one only at the end.
    void slicedReadingGivesTheSameLines() {
        const QStringList backups = QDir(copias_).entryList({QStringLiteral("*.fbk")});
        QVERIFY2(!backups.isEmpty(), "the interactive run left no backup file");
        const QString backupFile = copias_ + u'/' + backups.first();
        const QString target = dir_.filePath(QStringLiteral("lectura.fdb"));
        int silentSlices = 0;
        const QStringList sliced = RestoreOutput(backupFile, target, [&] { ++silentSlices; });
        const QStringList whole = RestoreOutput(backupFile, target, {});
        QVERIFY(silentSlices > 0);
        QCOMPARE(sliced, whole);
        QCOMPARE(whole.last(), QString());
        QCOMPARE(whole.count(QString()), 1);
        QVERIFY(whole.contains(QStringLiteral("gbak:finishing, closing, and going home ")));
    }

    // The backup file of the interactive run, restored.
    void restoreAnswersDuringTheSilence() {
        QDir files(copias_);
        const QStringList backups = files.entryList({QStringLiteral("*.fbk")}, QDir::Files);
        QVERIFY2(!backups.isEmpty(), "the interactive run left no backup file");
        const QString server = qEnvironmentVariable("QB_TEST_SERVER_IP");
        TData data(server.isEmpty() ? QStringLiteral("x")
                                    : qEnvironmentVariable("QB_TEST_SERVER_PASSWORD"));
        FakeDialogs dialogs;
        SilenceWatchingMainWindow main;
        TestRestoreHost host;
        ProgressWatcher progress;
        const QString target = dir_.filePath(QStringLiteral("restaurada/Quillbase.orv"));
        QDir().mkpath(QFileInfo(target).path());
        RunRestore(data, RestoreRequest{server, files.filePath(backups.first()), target}, host);

        QCOMPARE(dialogs.texts(), QStringList{kFinishedLine});
        QCOMPARE(progress.windows.size(), 1);
        VerifyOutputLines(progress.windows[0].text, QStringLiteral("Copiando : "));
        QVERIFY(!main.silences.isEmpty());
        bool duringIndex = false;
        for (const auto& silence : main.silences) {
            QCOMPARE(silence.caption, QStringLiteral("Restaurando en ") + target);
            duringIndex = duringIndex || silence.lastLine.contains(u"LENTA_CLAVE");
        }
        QVERIFY(duringIndex);
        QCOMPARE(SqlQuery(target, QStringLiteral("select count(*) from lenta;")).value(0),
                 QStringLiteral("600"));
    }
};

QTEST_MAIN(TestBackupSilence)
#include "tst_backupsilence.moc"
