#include "restore/RestoreRun.h"

#include <ibase.h>

#include <QPlainTextEdit>
#include <QPointer>
#include <exception>
#include <memory>
#include <optional>

#include "backup/BackupRun.h"
#include "backup/FProgreso.h"
#include "backup/MainWindowLink.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"

using namespace restoretext;

namespace {

void AppendTag(QByteArray& request, int tag) { request.append(static_cast<char>(tag)); }

void AppendInt(QByteArray& request, int tag, unsigned value) {
    AppendTag(request, tag);
    for (int shift = 0; shift < 32; shift += 8)
        request.append(static_cast<char>((value >> shift) & 0xFF));
}

void AppendText(QByteArray& request, int tag, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // The item's length has two bytes: a longer name cannot be sent.
    if (bytes.size() > 0xFFFF)
        throw fb::FbError(QStringLiteral("El nombre de fichero es demasiado largo para la petición al servicio (%1 bytes)")
                              .arg(bytes.size()));
    AppendTag(request, tag);
    request.append(static_cast<char>(bytes.size() & 0xFF));
    request.append(static_cast<char>((bytes.size() >> 8) & 0xFF));
    request.append(bytes);
}

// Reads the output into the progress window. The window goes and the
// completion box comes also when reading fails; the failure then propagates.
void ShowProgress(fb::Service& service, const RestoreRequest& request, QWidget* owner) {
    QPointer<TProgreso> window = new TProgreso(owner);
    ProcessPendingMessages();
    window->Memo1->clear();
    window->setWindowTitle(kProgressTitle + request.TargetDatabase);
    window->show();

    std::exception_ptr failure;
    try {
        bool more = true;
        bool completed = false;
        while (more) {
            // The output ends with an empty line, shown like the others.
            QString line;
            // The window also answers while the server is silent.
            more = service.NextLine(&line, [] { ProcessPendingMessages(); });
            completed = completed || line.contains(backuprun::kRestoreCompleted);
            if (!window) continue;
            window->Memo1->appendPlainText(RewriteRestoreLine(line));
            window->show();
            window->raise();
            ProcessPendingMessages();
        }
        // A restore that stopped short is a failed one, though the server
        // reported no error.
        if (!completed) throw fb::FbError(backuprun::kRestoreIncomplete);
        if (window) window->Memo1->appendPlainText(kFinished);
    } catch (...) {
        failure = std::current_exception();
    }
    delete window.data();
    platform::ShowInformation(kFinished);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

QByteArray BuildRestoreRunParams(const QString& backupFile, const QString& database) {
    QByteArray request;
    AppendTag(request, isc_action_svc_restore);
    AppendInt(request, isc_spb_options, kRestoreOptions);
    AppendTag(request, isc_spb_verbose);
    AppendInt(request, isc_spb_res_page_size, kRestorePageSize);
    AppendInt(request, isc_spb_res_buffers, kRestoreBuffers);
    if (!backupFile.trimmed().isEmpty()) AppendText(request, isc_spb_bkp_file, backupFile);
    if (!database.trimmed().isEmpty()) AppendText(request, isc_spb_dbname, database);
    return request;
}

QString RewriteRestoreLine(const QString& line) {
    if (!line.contains(QStringLiteral("gbak:"))) return line;
    QString rewritten = line;
    rewritten.replace(QStringLiteral("gbak:"), QStringLiteral("Copiando : "), Qt::CaseInsensitive);
    return rewritten;
}

QString RestoreServerAddress(const QString& server) {
    if (server.isEmpty() || server == u"LOCAL") return {};
    return server;
}

void RunRestore(TData& data, const RestoreRequest& request, RestoreHost& host) {
    if (request.BackupFile.isEmpty()) {
        platform::ShowInformation(kNoBackupFile);
        return;
    }
    if (request.TargetDatabase.isEmpty()) {
        platform::ShowInformation(kNoTarget);
        return;
    }
    if (!host.ConfirmRestore(request)) return;

    host.LockButtons();
    std::exception_ptr failure;
    {
        auto service = std::make_unique<fb::Service>();
        std::optional<platform::WaitCursor> hourglass(std::in_place);
        try {
            // An access failure names the database being restored.
            service->SetDatabaseName(request.TargetDatabase);
            if (data.AttachServiceSession(*service, RestoreServerAddress(request.Server),
                                          ReportMode::Interactive)) {
                service->Start(BuildRestoreRunParams(request.BackupFile, request.TargetDatabase));
                ShowProgress(*service, request, host.Window());
            }
        } catch (...) {
            failure = std::current_exception();
        }
        service->Detach();
        hourglass.reset();
        service.reset();
    }
    host.ResetWindow();
    if (failure) std::rethrow_exception(failure);
}
