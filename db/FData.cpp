#include "db/FData.h"

#include "platform/Dialogs.h"

#include <QtGlobal>

TData* Data = nullptr;

namespace {

const QString kAccessFailurePrefix = QStringLiteral("Your user");
const QString kLineBreak = QStringLiteral("\n\r");

}  // namespace

TData::TData() : TData(qEnvironmentVariable("ISC_PASSWORD")) {}

TData::TData(QString databasePassword) : databasePassword_(std::move(databasePassword)) {
    if (!Data) Data = this;
}

TData::~TData() {
    if (Data == this) Data = nullptr;
    IBBackup.Detach();
    IBDBackup.Disconnect();
    IBDEmpresas.Disconnect();
    IBDServidores.Disconnect();
}

QStringList TData::DatabaseParams(const QString& password) {
    return {QStringLiteral("user_name=sysdba"), QStringLiteral("password=") + password,
            QStringLiteral("lc_ctype=WIN1252")};
}

QStringList TData::ServiceParams(const QString& password) {
    return {QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=") + password};
}

bool TData::OpenDatabaseSession(fb::Database& connection, const QString& databaseName,
                                const QString& fallbackPassword, SessionPrecondition precondition) {
    if (connection.Connected()) {
        if (precondition == SessionPrecondition::SkipWhenConnected) return true;
        connection.Disconnect();
    }
    connection.SetParams(DatabaseParams(databasePassword_));
    connection.SetDatabaseName(databaseName);
    try {
        connection.Connect();
        return true;
    } catch (const fb::FbError&) {
        // The first refusal is not reported: the fallback may be the one.
    }
    connection.SetParams(DatabaseParams(fallbackPassword));
    try {
        connection.Connect();
        return true;
    } catch (const fb::FbError& error) {
        ReportSessionFailure(error.Text(), databaseName, ReportMode::Interactive);
        return false;
    }
}

void TData::ReopenDatabaseSession(fb::Database& connection, const QString& databaseName) {
    connection.SetDatabaseName(databaseName);
    if (!connection.Connected()) connection.Connect();
}

void TData::CloseDatabaseSession(fb::Database& connection, fb::Transaction& transaction) noexcept {
    transaction.RollbackQuietly();
    connection.Disconnect();
}

bool TData::AttachServiceSession(fb::Service& service, const QString& serverAddress, ReportMode mode,
                                 QStringList* remarks) {
    service.SetParams(ServiceParams(databasePassword_));
    if (serverAddress.isEmpty()) {
        service.SetServerName(QString());
        service.SetProtocol(fb::Service::Protocol::Local);
    } else {
        service.SetServerName(serverAddress);
        service.SetProtocol(fb::Service::Protocol::TcpIp);
    }
    try {
        service.Attach();
        return true;
    } catch (const fb::FbError&) {
    }
    service.SetParams(ServiceParams(ShortFallbackPassword));
    try {
        service.Attach();
        return true;
    } catch (const fb::FbError& error) {
        ReportSessionFailure(error.Text(), service.DatabaseName(), mode, remarks);
        return false;
    }
}

void TData::ReportSessionFailure(const QString& errorText, const QString& databaseName,
                                 ReportMode mode, QStringList* remarks) {
    const bool accessFailure = errorText.left(9) == kAccessFailurePrefix;
    if (mode == ReportMode::Collecting) {
        if (remarks)
            remarks->append(accessFailure ? QStringLiteral("Error en nombre de usuario o contraseña")
                                          : errorText);
        return;
    }
    if (accessFailure)
        platform::ShowInformation(QStringLiteral("Acceso denegado a") + kLineBreak + databaseName +
                                  kLineBreak +
                                  QStringLiteral("Su nombre de usuario y contraseña no son válidos"));
    else
        platform::ShowPlainMessage(errorText + kLineBreak + QStringLiteral("Status 0"));
}
