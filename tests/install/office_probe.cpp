// One operator's program, reduced to what office_test.sh watches from
// outside: it starts on an installation folder as the program does
// (QuillbaseBackup.conf, ISC_PASSWORD, the restricted file mode), then
//
//   office_probe backup DIR SERVER COMPANY DESTINATION [CONSERVAR]
//       runs the unattended backup of one company of the plan
//       "SERVER" / "<DESTINO>DESTINATION" / COMPANY, keeping CONSERVAR
//       backups of it (all when not given), then reads the log;
//   office_probe append DIR TAG [--hold]
//       appends one log row with TAG as server text; with --hold it then
//       waits, idle like a program in the notification area, until a line
//       arrives on its input (at most 60 s), appends TAG + "-2" and reads;
//   office_probe read DIR
//       reads the log as the log browser opens it;
//   office_probe addserver DIR ALIAS FOLDER
//       adds the server ALIAS (FOLDER on this computer) through the backup
//       window's server menu, then prints "server: ALIAS<tab>FOLDER" lines
//       and "company: NAME" lines of the companies shown.
//
// Every message box, and every window that waits for an answer (it is
// closed at once), goes to the standard error and makes the exit code 1;
// the log's rows go to the standard output, one per line: the server, the
// backup file and the success flag separated by tabs, each followed by its
// remarks, one per line after "remark" and a tab.

#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "backup/BackupLog.h"
#include "backup/BackupRun.h"
#include "db/FData.h"
#include "db/Installation.h"
#include "plan/FBackupForm.h"
#include "plan/FServidoresForm.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"

namespace {

class ProbeHost : public BackupRunHost {
public:
    BackupPlan plan;
    QStringList remarks;
    bool unattended = false;
    QWidget window;

    BackupPlan& Plan() override { return plan; }
    PlanRef SelectedEntry() const override { return PlanRef(); }
    void SelectEntry(const PlanRef&) override {}
    bool TreeHasFocus() const override { return true; }
    void SetRunControlsEnabled(bool) override {}
    void FocusTree() override {}
    bool Unattended() const override { return unattended; }
    void SetUnattended(bool value) override { unattended = value; }
    QStringList& Remarks() override { return remarks; }
    QWidget* Window() override { return &window; }
};

void Print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

void ReadLog(TData& data) {
    if (!data.OpenDatabaseSession(data.IBDBackup, BackupLogName(), LongFallbackPassword,
                                  SessionPrecondition::DisconnectFirst))
        return;
    data.IBSQLBackup.SetSql(QStringLiteral("select * from backuplog order by fecha desc, hora desc"));
    data.ReadRows(data.IBDBackup, data.IBTBackup, data.IBSQLBackup, [](const fb::Statement& row) {
        Print(stdout, row.Field(QStringLiteral("SERVIDOR")) + u'\t' + row.Field(QStringLiteral("DESTINO")) +
                          u'\t' + row.Field(QStringLiteral("EXITO")));
        const QString remarks = row.Field(QStringLiteral("OBSERVACIONES"));
        for (const QString& remark : remarks.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            Print(stdout, QStringLiteral("remark\t") + remark);
    });
}

void Append(TData& data, const QString& tag) {
    const QDateTime now = platform::CurrentClock().Now();
    WriteBackupLog(data, backuprun::DateText(now), backuprun::TimeText(now), tag, QString(), QString(),
                   QStringLiteral("F"), {});
    Print(stdout, data.IBDBackup.Connected() ? QStringLiteral("appended, log connected")
                                             : QStringLiteral("appended, log closed"));
}

bool WaitForInput(int seconds) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, seconds * 1000) <= 0) return false;
    char byte = 0;
    return read(STDIN_FILENO, &byte, 1) >= 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    RestrictNewFiles();
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        Print(stderr, QStringLiteral("usage: office_probe backup|append|read|addserver DIR ..."));
        return 2;
    }
    platform::SetExecutableDirectory(args.at(1));
    fb::SetLocalProvider(InstallationLocalProvider(platform::ExecutableDirectory()));
    if (fb::CurrentLocalProvider() == fb::LocalProvider::Embedded) PrepareEmbeddedEngineLocks();

    FakeDialogs dialogs;
    int code = 0;
    QStringList answer;  // addserver's alias and folder, for the server window
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&code, &answer] {
        QWidget* waiting = QApplication::activeModalWidget();
        if (!waiting) return;
        if (auto* window = qobject_cast<TServidoresForm*>(waiting); window && !answer.isEmpty()) {
            window->edAlias->setText(answer.takeFirst());
            window->edRutaAcceso->setText(answer.takeFirst());
            window->btAceptar->click();  // if it stays open, the next tick reports it
            return;
        }
        QString text = waiting->windowTitle();
        for (const QLabel* label : waiting->findChildren<QLabel*>()) text += u'|' + label->text();
        Print(stderr, QStringLiteral("window: ") + text);
        code = 1;
        if (auto* dialog = qobject_cast<QDialog*>(waiting)) dialog->reject();
        else waiting->close();
    });
    closer.start(100);
    {
        TData data;
        const QString& command = args.at(0);
        if (command == u"backup" && (args.size() == 5 || args.size() == 6)) {
            ProbeHost host;
            host.plan.Servers.append(
                PlanServer{args.at(2), {QStringLiteral("<DESTINO>") + args.at(4), args.at(3)}});
            host.plan.Servers[0].Conservar = args.value(5).toInt();
            TBackupRun(data, host).RunScheduledBackup();
            for (const QString& remark : host.remarks) Print(stderr, QStringLiteral("remark: ") + remark);
            ReadLog(data);
        } else if (command == u"append" && args.size() >= 3) {
            Append(data, args.at(2));
            if (args.size() == 4 && args.at(3) == u"--hold") {
                if (!WaitForInput(60)) {
                    Print(stderr, QStringLiteral("no word to go on within 60 s"));
                    code = 1;
                }
                Append(data, args.at(2) + QStringLiteral("-2"));
                ReadLog(data);
            }
        } else if (command == u"read") {
            ReadLog(data);
        } else if (command == u"addserver" && args.size() == 4) {
            answer = args.mid(2);  // for the server window that opens
            TBackupForm form(data);
            form.show();
            form.listview1ContextPopup(QPoint(5, 5));
            form.findChild<QMenu*>(QStringLiteral("pmServidores"))->actions().first()->trigger();
            const QDeadlineTimer deadline(30000);
            while (!deadline.hasExpired() &&
                   (!answer.isEmpty() || QApplication::activeModalWidget()))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QCoreApplication::processEvents();
            for (const ServerEntry& server : form.Catalogue.ServerList())
                Print(stdout,
                      QStringLiteral("server: ") + server.Alias + u'\t' + server.RutaAcceso);
            for (const CompanyEntry& company : form.Catalogue.CompanyList())
                Print(stdout, QStringLiteral("company: ") + company.NombreEmpresa);
        } else {
            Print(stderr, QStringLiteral("unknown command"));
            return 2;
        }
    }
    for (const FakeDialogs::Shown& shown : dialogs.messages) Print(stderr, QStringLiteral("box: ") + shown.text);
    fb::Shutdown();
    return dialogs.messages.isEmpty() ? code : 1;
}
