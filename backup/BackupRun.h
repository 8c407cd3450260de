#pragma once
// The backup run of the backup window: backs up the companies chosen in the
// plan tree through their servers' backup service into .fbk files, checks
// each new file by restoring it into a scratch database beside it, and
// appends one log row per company. Interactive (spBackup) or unattended
// (RunScheduledBackup, one company per call). Everything runs on the GUI
// thread; pending window messages are processed while the service talks.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "db/FData.h"
#include "plan/BackupPlan.h"

class QWidget;

// What the run needs of the backup window.
class BackupRunHost {
public:
    virtual ~BackupRunHost() = default;

    // The plan, with its editing state CurrentServerEntry and
    // CurrentChildEntry.
    virtual BackupPlan& Plan() = 0;
    // The entry the tree shows as selected at this moment (none: nothing).
    virtual PlanRef SelectedEntry() const = 0;
    // Selects an entry in the tree; none clears the selection.
    virtual void SelectEntry(const PlanRef& entry) = 0;
    // True when the control holding the window's keyboard focus is the tree.
    virtual bool TreeHasFocus() const = 0;
    // Enables or disables spGuardar, spBorrarServidor, spBackup, spLog,
    // spProgramacion, spAyuda, spSalir, listview1, ListView2 and the tree.
    virtual void SetRunControlsEnabled(bool enabled) = 0;
    // Enables the tree and gives it the keyboard focus.
    virtual void FocusTree() = 0;
    virtual bool Unattended() const = 0;
    virtual void SetUnattended(bool unattended) = 0;
    // The window's remark list of the run in progress.
    virtual QStringList& Remarks() = 0;
    // The window over which the run's own windows stand.
    virtual QWidget* Window() = 0;
};

// One company to back up.
struct BackupJob {
    QString ServerText;    // "[address]alias", unchanged
    QString Database;      // company folder + "Quillbase.orv"
    QString BackupFile;    // destination + file name
    QString Destination;   // the folder, named when the server cannot open the file
    QString CompanyEntry;  // the company folder, whose last component names the file
    int Conservar = 0;     // backups of the company kept after a good one; 0: all
    bool operator==(const BackupJob&) const = default;
};

// The companies an unattended run wrote a row for, and how many of those
// rows say "F".
struct RunTally {
    int Companies = 0;
    int Failed = 0;
};

namespace backuprun {

inline const QString kSelectFirst = QStringLiteral(
    "Seleccione primero un servidor o una empresa en el cuadro\n\r        SELECCION DE SERVIDORES "
    "Y EMPRESAS");
inline const QString kNoDestination =
    QStringLiteral("No existe DESTINO para realizar la copia de seguridad");
inline const QString kNoDestinationFolder =
    QStringLiteral("No existe la carpeta destino donde realizar la copia");
inline const QString kFinished = QStringLiteral("¡ PROCESO TERMINADO !");
inline const QString kVerificationFile = QStringLiteral("Verificacopia.vrf");
inline const QString kCompanyDatabase = QStringLiteral("Quillbase.orv");
// gbak's last words of a restore that went through to the end of its backup
// file. A backup file that breaks off (the file of a backup whose server was
// killed, or a file that lost its end) ends the server's restore with
// neither an error nor these words: gbak asks the server's console for a
// next volume, gives up and keeps the rows it had. So the verification and
// the restore run take an output without them for a failed restore.
inline const QString kRestoreCompleted = QStringLiteral("finishing, closing, and going home");
inline const QString kRestoreIncomplete = QStringLiteral(
    "La restauración no ha terminado: el servidor no llegó al final de la copia de seguridad, "
    "que está incompleta o dañada");

// The clock texts of a run: "dd/mm/yyyy", "hh:nn" and "ddmmyy_hhnn".
QString DateText(const QDateTime& at);
QString TimeText(const QDateTime& at);
QString Stamp(const QDateTime& at);

// The host of the server's service manager: the text before the first "]"
// without any "["; empty for a local server ("[]..." ).
QString ServiceHost(const QString& serverText);
// The company database: company folder joined with "Quillbase.orv".
QString DatabasePath(const QString& companyEntry);
// server text + "_" + the company folder's last component + "_" + stamp +
// ".fbk", with every character that no file name can hold (\ / : * ? " < >
// |) replaced by "_": a server address with a port ("[10.0.0.1/3051]...")
// must not open a folder of its own.
QString BackupFileName(const QString& serverText, const QString& companyEntry,
                       const QString& stamp);
// The destination folder joined with that file name.
QString BackupFilePath(const QString& destination, const QString& serverText,
                       const QString& companyEntry, const QString& stamp);
// The time in a stamp "ddmmyy_hhnn" (years 2000 to 2099); invalid when the
// text is no stamp.
QDateTime StampTime(const QString& stamp);
// The program's own backups of one server and company among the file names
// of a folder: exactly the names BackupFileName gives for some stamp, newest
// first. Other companies (also those whose name begins with this one's),
// other servers and every other file are left out.
QStringList OwnBackups(const QStringList& fileNames, const QString& serverText,
                       const QString& companyEntry);
// A line for the remarks of the run and its progress window.
QString RemovedBackupLine(const QString& path);
QString NotRemovedBackupLine(const QString& path, const QString& reason);
QString UnreadableFolderLine(const QString& folder);
// The backup file's folder (up to and including its last \, / or :) and
// "Verificacopia.vrf".
QString VerificationPath(const QString& backupFile);
// "gbak:" in a line (case-sensitive) marks it: then every "gbak:", in any
// letter case, becomes the replacement.
QString RewriteServiceLine(const QString& line, const QString& replacement);

}  // namespace backuprun

class TBackupRun {
public:
    TBackupRun(TData& data, BackupRunHost& host);

    // The run of the window's current choice: a whole server or one company.
    void RunBackup();
    // The unattended run of every company of the plan, in tree order.
    void RunScheduledBackup();

    // The rows of the unattended companies run by this object.
    RunTally Tally;

    // Told true when the run starts waiting for the server (attach, start,
    // an output query, detach) and false when the answer is in; for
    // measurements only.
    std::function<void(bool waiting)> OnServerWait;

private:
    bool CollectJobs(QList<BackupJob>& jobs);
    bool CollectServerJobs(QList<BackupJob>& jobs);
    bool CollectCompanyJob(QList<BackupJob>& jobs);
    BackupJob MakeJob(const QString& serverText, const QString& destination,
                      const QString& companyEntry, int conservar);
    void ProcessJob(const BackupJob& job);
    void RemoveOldBackups(const BackupJob& job, const std::function<void(const QString&)>& say);
    void Count(bool succeeded);
    bool BackUp(const BackupJob& job);
    bool Verify(const BackupJob& job);
    void ReportVerificationFailure(const QString& errorText);
    template <typename F>
    auto AtServer(F&& call);
    void WhileServerSilent();

    TData& data_;
    BackupRunHost& host_;
    bool unattended_ = false;
    QString dateText_;
    QString timeText_;
};
