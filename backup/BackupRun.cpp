#include "backup/BackupRun.h"

#include <ibase.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <algorithm>
#include <memory>

#include "backup/BackupLog.h"
#include "backup/FCondicionesBackup.h"
#include "backup/FErrorenCopia.h"
#include "backup/FProgreso.h"
#include "backup/MainWindowLink.h"
#include "backup/VerificationTurn.h"
#include "db/ServerPath.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"

namespace backuprun {

QString DateText(const QDateTime& at) { return at.toString(QStringLiteral("dd/MM/yyyy")); }

QString TimeText(const QDateTime& at) { return at.toString(QStringLiteral("HH:mm")); }

QString Stamp(const QDateTime& at) { return at.toString(QStringLiteral("ddMMyy_HHmm")); }

QString ServiceHost(const QString& serverText) {
    if (serverText.size() >= 2 && serverText.at(1) == u']') return QString();
    QString host = serverText.left(serverText.indexOf(u']'));
    host.remove(u'[');
    return host;
}

QString DatabasePath(const QString& companyEntry) {
    return serverpath::Join(companyEntry, kCompanyDatabase);
}

QString BackupFileName(const QString& serverText, const QString& companyEntry,
                       const QString& stamp) {
    QString name = serverText + u'_' + serverpath::LastComponent(companyEntry) + u'_' + stamp +
                   QStringLiteral(".fbk");
    for (QChar& c : name)
        if (QStringView(u"\\/:*?\"<>|").contains(c)) c = u'_';
    return name;
}

QString BackupFilePath(const QString& destination, const QString& serverText,
                       const QString& companyEntry, const QString& stamp) {
    return serverpath::Join(destination, BackupFileName(serverText, companyEntry, stamp));
}

QDateTime StampTime(const QString& stamp) {
    static const QRegularExpression kStamp(
        QStringLiteral("^([0-9]{2})([0-9]{2})([0-9]{2})_([0-9]{2})([0-9]{2})$"));
    const QRegularExpressionMatch match = kStamp.match(stamp);
    if (!match.hasMatch()) return QDateTime();
    const auto number = [&match](int part) { return match.captured(part).toInt(); };
    const QDate date(2000 + number(3), number(2), number(1));
    const QTime time(number(4), number(5));
    // Compared as written: no time zone, so no hour is skipped or repeated.
    return date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

QStringList OwnBackups(const QStringList& fileNames, const QString& serverText,
                       const QString& companyEntry) {
    // Every stamp has the same length: one name tells where the stamp stands.
    const QString sample = BackupFileName(serverText, companyEntry, QStringLiteral("000000_0000"));
    const qsizetype stampAt = sample.size() - QStringLiteral("000000_0000.fbk").size();
    QList<std::pair<QDateTime, QString>> found;
    for (const QString& name : fileNames) {
        if (name.size() != sample.size()) continue;
        const QString stamp = name.mid(stampAt, 11);
        const QDateTime at = StampTime(stamp);
        if (at.isValid() && BackupFileName(serverText, companyEntry, stamp) == name)
            found.append({at, name});
    }
    // "ddmmyy" does not sort as text: by the time it stands for, newest first.
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList names;
    for (const auto& backup : found) names.append(backup.second);
    return names;
}

QString RemovedBackupLine(const QString& path) {
    return QStringLiteral("Eliminada la copia antigua ") + path;
}

QString NotRemovedBackupLine(const QString& path, const QString& reason) {
    return QStringLiteral("No se ha podido eliminar la copia antigua ") + path +
           QStringLiteral(": ") + reason;
}

QString UnreadableFolderLine(const QString& folder) {
    return QStringLiteral("No se ha podido leer la carpeta ") + folder +
           QStringLiteral(": no se eliminan copias antiguas");
}

QString VerificationPath(const QString& backupFile) {
    qsizetype cut = -1;
    for (QChar c : {u'\\', u'/', u':'}) cut = std::max(cut, backupFile.lastIndexOf(c));
    return backupFile.left(cut + 1) + kVerificationFile;
}

QString RewriteServiceLine(const QString& line, const QString& replacement) {
    if (!line.contains(u"gbak:")) return line;
    QString rewritten = line;
    rewritten.replace(QStringLiteral("gbak:"), replacement, Qt::CaseInsensitive);
    return rewritten;
}

}  // namespace backuprun

using namespace backuprun;

namespace {

const QString kLineBreak = QStringLiteral("\n\r");

void ShowWithStatusZero(const QString& errorText) {
    platform::ShowPlainMessage(errorText + kLineBreak + QStringLiteral("Status 0"));
}

bool ValidServer(const BackupPlan& plan, int server) {
    return server >= 0 && server < plan.Servers.size();
}

bool ValidChild(const BackupPlan& plan, const PlanRef& ref) {
    return ValidServer(plan, ref.Server) && ref.Child >= 0 &&
           ref.Child < plan.Servers[ref.Server].Children.size();
}

// The folder of a destination entry: its text after the first ">".
QString FolderOf(const QString& destinationEntry) {
    return destinationEntry.mid(destinationEntry.indexOf(u'>') + 1);
}

// A progress window of the interactive run; destroyed with the object, so
// that no way out of the output leaves one behind.
class ProgressDisplay {
public:
    ProgressDisplay(QWidget* owner, const QString& caption, bool pumpFirst) {
        window_ = new TProgreso(owner);
        if (pumpFirst) ProcessPendingMessages();
        window_->Memo1->clear();
        window_->setWindowTitle(caption);
        window_->show();
    }
    ~ProgressDisplay() { delete window_.data(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void Append(const QString& line) {
        if (!window_) return;
        window_->Memo1->appendPlainText(line);
        window_->raise();
        ProcessPendingMessages();
    }
    // The closing line; the window goes right after it.
    void Finish() {
        if (window_) window_->Memo1->appendPlainText(kFinished);
    }

private:
    QPointer<TProgreso> window_;
};

}  // namespace

TBackupRun::TBackupRun(TData& data, BackupRunHost& host) : data_(data), host_(host) {}

template <typename F>
auto TBackupRun::AtServer(F&& call) {
    struct Waiting {
        const std::function<void(bool)>& hook;
        explicit Waiting(const std::function<void(bool)>& h) : hook(h) {
            if (hook) hook(true);
        }
        ~Waiting() {
            if (hook) hook(false);
        }
    } waiting(OnServerWait);
    return call();
}

// Between two slices of a wait for the next output line of an interactive
// run: the window answers although the server is still silent.
void TBackupRun::WhileServerSilent() {
    if (OnServerWait) OnServerWait(false);
    ProcessPendingMessages();
    if (OnServerWait) OnServerWait(true);
}

void TBackupRun::RunBackup() {
    MainWindowLink* link = CurrentMainWindowLink();
    unattended_ = host_.Unattended();
    QStringList& remarks = host_.Remarks();

    // Step 1, and the end of the run (step 24) on every way out.
    if (link != nullptr) link->StopScheduleTimer();
    remarks.clear();
    bool controlsDisabled = false;
    struct EndOfRun {
        TBackupRun& run;
        QStringList& remarks;
        bool& controlsDisabled;
        ~EndOfRun() {
            remarks.clear();
            if (MainWindowLink* link = CurrentMainWindowLink()) link->RearmScheduleTimer();
            if (!run.unattended_) {
                run.host_.FocusTree();
                if (controlsDisabled) run.host_.SetRunControlsEnabled(true);
            }
        }
    } endOfRun{*this, remarks, controlsDisabled};

    if (!unattended_) {
        if (!host_.TreeHasFocus()) return;
        host_.SetRunControlsEnabled(false);
        controlsDisabled = true;
    }

    QList<BackupJob> jobs;
    if (!CollectJobs(jobs)) return;
    for (const BackupJob& job : jobs) ProcessJob(job);
}

bool TBackupRun::CollectJobs(QList<BackupJob>& jobs) {
    const BackupPlan& plan = host_.Plan();
    if (!ValidServer(plan, plan.CurrentServerEntry)) {
        platform::ShowErrorBox(kSelectFirst);
        return false;
    }
    if (ValidChild(plan, plan.CurrentChildEntry)) return CollectCompanyJob(jobs);
    return CollectServerJobs(jobs);
}

// A whole server: every company child of the entry selected now, each into
// the destination met last above it.
bool TBackupRun::CollectServerJobs(QList<BackupJob>& jobs) {
    const BackupPlan& plan = host_.Plan();
    const QString serverText = plan.Servers[plan.CurrentServerEntry].Text;
    const PlanRef selected = host_.SelectedEntry();
    if (!ValidServer(plan, selected.Server) || selected.Child >= 0) return true;  // no children
    QString destination;
    const int conservar = plan.Servers[selected.Server].Conservar;
    for (const QString& child : plan.Servers[selected.Server].Children) {
        if (child.contains(kDestinationTag)) {
            destination = FolderOf(child);
            if (destination.isEmpty()) {
                jobs.clear();
                platform::ShowErrorBox(kNoDestination);
                return false;
            }
            continue;
        }
        jobs.append(MakeJob(serverText, destination, child, conservar));
    }
    return true;
}

bool TBackupRun::CollectCompanyJob(QList<BackupJob>& jobs) {
    const BackupPlan& plan = host_.Plan();
    const PlanServer& server = plan.Servers[plan.CurrentServerEntry];
    const QString serverText = server.Text;
    const QString company =
        plan.Servers[plan.CurrentChildEntry.Server].Children[plan.CurrentChildEntry.Child];
    if (company.contains(kTimeMarkerTag) || company.contains(kDestinationTag)) {
        platform::ShowErrorBox(kSelectFirst);
        return false;
    }

    QString destination;
    for (const QString& child : server.Children)
        if (child.left(kDestinationTag.size()).compare(kDestinationTag, Qt::CaseInsensitive) == 0) {
            destination = FolderOf(child);
            break;
        }
    if (destination.isEmpty()) {
        if (!unattended_) {
            platform::ShowErrorBox(kNoDestination);
            return false;
        }
        host_.Remarks().append(kNoDestination);
        Count(false);
        const QDateTime now = platform::CurrentClock().Now();
        WriteBackupLog(data_, DateText(now), TimeText(now), serverText, company, QString(),
                       QStringLiteral("F"), host_.Remarks());
        return false;
    }

    if (!unattended_) {
        TCondicionesBackup confirmation(host_.Window());
        confirmation.Label2->setText(serverText);
        confirmation.Label4->setText(company);
        confirmation.Label6->setText(destination);
        confirmation.Label11->setText(serverText);
        if (confirmation.exec() == QDialog::Rejected) return false;
    }
    jobs.append(MakeJob(serverText, destination, company, server.Conservar));
    return true;
}

BackupJob TBackupRun::MakeJob(const QString& serverText, const QString& destination,
                              const QString& companyEntry, int conservar) {
    // Every job reads the clock; the log rows carry the texts of the last.
    const QDateTime now = platform::CurrentClock().Now();
    dateText_ = DateText(now);
    timeText_ = TimeText(now);
    return BackupJob{serverText,
                     DatabasePath(companyEntry),
                     BackupFilePath(destination, serverText, companyEntry, Stamp(now)),
                     destination,
                     companyEntry,
                     conservar};
}

void TBackupRun::Count(bool succeeded) {
    ++Tally.Companies;
    if (!succeeded) ++Tally.Failed;
}

void TBackupRun::ProcessJob(const BackupJob& job) {
    const bool succeeded = BackUp(job) && Verify(job);
    Count(succeeded);
    WriteBackupLog(data_, dateText_, timeText_, job.ServerText, job.Database, job.BackupFile,
                   succeeded ? QStringLiteral("T") : QStringLiteral("F"), host_.Remarks());
}

bool TBackupRun::BackUp(const BackupJob& job) {
    fb::Service& service = data_.IBBackup;
    if (service.Active()) AtServer([&] { service.Detach(); });
    platform::WaitCursor hourglass;
    struct Detach {
        TBackupRun& run;
        fb::Service& service;
        ~Detach() {
            run.AtServer([&] { service.Detach(); });
        }
    } detach{*this, service};

    service.SetDatabaseName(job.Database);
    const bool attached = AtServer([&] {
        return data_.AttachServiceSession(
            service, ServiceHost(job.ServerText),
            unattended_ ? ReportMode::Collecting : ReportMode::Interactive, &host_.Remarks());
    });
    if (!attached) return false;

    MainWindowLink* link = CurrentMainWindowLink();
    const QString caption = job.ServerText + QStringLiteral(" : ") + job.Database;
    try {
        AtServer([&] {
            service.Start(fb::BuildBackupStartParams(job.Database, job.BackupFile, 0, true));
        });
        if (unattended_) {
            struct ClearStatus {
                MainWindowLink* link;
                ~ClearStatus() {
                    if (link == nullptr) return;
                    link->SetSt1(QString());
                    link->SetSt2(QString());
                }
            } clearStatus{link};
            if (link != nullptr) link->SetSt2(caption);
            ProcessPendingMessages();
            QString line;
            bool more = true;
            while (more) {
                line.clear();
                more = AtServer([&] { return service.NextLine(&line); });
                if (link != nullptr)
                    link->SetSt1(RewriteServiceLine(line, QStringLiteral("Copiando : ")));
            }
        } else {
            ProgressDisplay progress(host_.Window(), caption, false);
            const auto whileSilent = [this] { WhileServerSilent(); };
            QString line;
            bool more = true;
            while (more) {
                line.clear();
                more = AtServer([&] { return service.NextLine(&line, whileSilent); });
                progress.Append(RewriteServiceLine(line, QStringLiteral("Copiando : ")));
            }
            progress.Finish();
        }
        return true;
    } catch (const fb::FbError& error) {
        const QString& text = error.Text();
        if (text.contains(u"cannot open backup file")) {
            if (unattended_)
                host_.Remarks().append(kNoDestinationFolder);
            else
                platform::ShowErrorBox(kNoDestinationFolder + kLineBreak + kLineBreak +
                                       job.Destination);
        } else if (unattended_) {
            host_.Remarks().append(text);
        } else {
            ShowWithStatusZero(text);
        }
        return false;
    }
}

bool TBackupRun::Verify(const BackupJob& job) {
    const fb::Service& backup = data_.IBBackup;
    auto restore = std::make_unique<fb::Service>();
    platform::WaitCursor hourglass;
    restore->SetParams(backup.Params());
    restore->SetServerName(backup.ServerName());
    restore->SetProtocol(backup.GetProtocol());
    const QString verification = VerificationPath(job.BackupFile);
    restore->SetDatabaseName(verification);
    // The embedded engine gives every database it creates to the owner's
    // group as well; this copy of a company's books is the operator's alone.
    struct KeepToOwner {
        QString path;
        bool inProcess;
        ~KeepToOwner() {
            if (inProcess && QFileInfo::exists(path))
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        }
    } keepToOwner{verification, backup.GetProtocol() == fb::Service::Protocol::Local &&
                                    fb::CurrentLocalProvider() == fb::LocalProvider::Embedded};
    struct Detach {
        TBackupRun& run;
        fb::Service& service;
        ~Detach() {
            run.AtServer([&] { service.Detach(); });
        }
    } detach{*this, *restore};

    try {
        // Released before the catch below shows anything.
        VerificationTurn turn;
        AtServer([&] { restore->Attach(); });
        const QByteArray request =
            fb::BuildRestoreStartParams(job.BackupFile, verification,
                                        isc_spb_res_replace | isc_spb_res_create, 4096, 3000, true);
        AtServer([&] { restore->Start(request); });
        QString line;
        bool more = true;
        bool completed = false;
        if (unattended_) {
            while (more) {
                line.clear();
                more = AtServer([&] { return restore->NextLine(&line); });
                completed = completed || line.contains(kRestoreCompleted);
            }
            if (!completed) throw fb::FbError(kRestoreIncomplete);
            RemoveOldBackups(job, [this](const QString& line) { host_.Remarks().append(line); });
        } else {
            ProgressDisplay progress(host_.Window(), QStringLiteral("Verificando copia"), true);
            const auto whileSilent = [this] { WhileServerSilent(); };
            while (more) {
                line.clear();
                more = AtServer([&] { return restore->NextLine(&line, whileSilent); });
                completed = completed || line.contains(kRestoreCompleted);
                progress.Append(RewriteServiceLine(line, QStringLiteral("Verificando : ")));
            }
            if (!completed) throw fb::FbError(kRestoreIncomplete);
            RemoveOldBackups(job, [&progress](const QString& line) { progress.Append(line); });
            progress.Finish();
        }
        return true;
    } catch (const fb::FbError& error) {
        ReportVerificationFailure(error.Text());
        return false;
    }
}

// Once a backup is verified, the oldest backups of its company beyond the
// number kept go, in its turn for the folder. Only the files this run names
// itself are touched, and only where this computer sees the server's
// folder: for a remote server a folder of that name here is another one.
// What happens to each is said; a failure leaves the job a success.
void TBackupRun::RemoveOldBackups(const BackupJob& job,
                                  const std::function<void(const QString&)>& say) {
    if (job.Conservar <= 0 || !ServiceHost(job.ServerText).isEmpty()) return;
    const QString made = serverpath::LastComponent(job.BackupFile);
    const QStringList names =
        QDir(job.Destination).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    // The new backup missing: not the folder the server wrote into, or one
    // this program cannot read.
    if (!names.contains(made)) {
        say(UnreadableFolderLine(job.Destination));
        return;
    }
    int kept = 1;  // the new backup, whatever the time in its name
    for (const QString& name : OwnBackups(names, job.ServerText, job.CompanyEntry)) {
        if (name == made) continue;
        if (kept < job.Conservar) {
            ++kept;
            continue;
        }
        const QString path = serverpath::Join(job.Destination, name);
        QFile file(path);
        say(file.remove() ? RemovedBackupLine(path)
                          : NotRemovedBackupLine(path, file.errorString()));
    }
}

void TBackupRun::ReportVerificationFailure(const QString& errorText) {
    if (!unattended_) {
        ShowWithStatusZero(errorText);
        return;
    }
    {
        // Nobody may be there: the run waits on top of everything until the
        // window is closed.
        TErrorenCopia window;
        window.Label1->setText(QStringLiteral("Mensaje : ") + errorText);
        window.exec();
    }
    host_.Remarks().append(errorText);
}

void TBackupRun::RunScheduledBackup() {
    Tally = RunTally{};
    host_.SelectEntry(PlanRef{});
    const BackupPlan& plan = host_.Plan();

    // The tree as one sequence in display order: each server, then its
    // children. Counted once; an entry is looked up when its turn comes.
    int count = 0;
    for (const PlanServer& server : plan.Servers)
        count += 1 + static_cast<int>(server.Children.size());
    auto entryAt = [&plan](int position) {
        for (int s = 0; s < plan.Servers.size(); ++s) {
            if (position == 0) return PlanRef{s, -1};
            --position;
            if (position < plan.Servers[s].Children.size()) return PlanRef{s, position};
            position -= static_cast<int>(plan.Servers[s].Children.size());
        }
        return PlanRef{};
    };

    int walkServer = -1;
    for (int position = 0; position < count; ++position) {
        const PlanRef entry = entryAt(position);
        if (entry.IsNone()) break;
        host_.SelectEntry(entry);
        if (entry.IsServer()) {
            walkServer = entry.Server;
            continue;
        }
        if (plan.Servers[entry.Server].Children[entry.Child].contains(kDestinationTag) ||
            entry.Server != walkServer)
            continue;
        BackupPlan& editable = host_.Plan();
        editable.CurrentServerEntry = entry.Server;
        editable.CurrentChildEntry = entry;
        struct Attended {
            BackupRunHost& host;
            ~Attended() { host.SetUnattended(false); }
        } attended{host_};
        host_.SetUnattended(true);
        RunBackup();
    }
}
