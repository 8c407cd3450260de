#include "db/FData.h"

#include "platform/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

TData* Data = nullptr;

namespace {

const QString kAccessFailurePrefix = QStringLiteral("Your user");
const QString kLineBreak = QStringLiteral("\n\r");

// One value of an environment file line, its quotes and escapes undone.
QString UnquotedValue(QStringView text) {
    QString value;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quote == u'\'') {
            if (c == u'\'') {
                quote = QChar();
            } else {
                value += c;
            }
        } else if (c == u'\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (c == u'"') {
            quote = quote == u'"' ? QChar() : QChar(u'"');
        } else if (c == u'\'' && quote.isNull()) {
            quote = u'\'';
        } else {
            value += c;
        }
    }
    return value;
}

// The value that one file gives `name` (its last assignment), null when none.
QString FileValue(const QString& path, const QString& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString value;
    for (const QString& rawLine : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || line.left(equals).trimmed() != name) continue;
        value = UnquotedValue(QStringView(line).mid(equals + 1).trimmed());
        if (value.isNull()) value = QStringLiteral("");
    }
    return value;
}

}  // namespace

QString SessionEnvironmentValue(const QString& name) {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    const QDir folder(configHome + QStringLiteral("/environment.d"));
    QString value;
    for (const QString& file :
         folder.entryList({QStringLiteral("*.conf")}, QDir::Files | QDir::Readable, QDir::Name)) {
        const QString fileValue = FileValue(folder.filePath(file), name);
        if (!fileValue.isNull()) value = fileValue;
    }
    return value;
}

QString StartupDatabasePassword() {
    static const char kVariable[] = "ISC_PASSWORD";
    if (qEnvironmentVariableIsSet(kVariable)) return qEnvironmentVariable(kVariable);
    return SessionEnvironmentValue(QString::fromLatin1(kVariable));
}

TData::TData() : TData(StartupDatabasePassword()) {}

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
    QString errorText;
    if (OpenSession(connection, databaseName, fallbackPassword, precondition, &errorText))
        return true;
    ReportSessionFailure(errorText, databaseName, ReportMode::Interactive);
    return false;
}

bool TData::TryOpenDatabaseSession(fb::Database& connection, const QString& databaseName,
                                   const QString& fallbackPassword,
                                   SessionPrecondition precondition, QString* failure) {
    QString errorText;
    if (OpenSession(connection, databaseName, fallbackPassword, precondition, &errorText))
        return true;
    if (failure) *failure = SessionFailureText(errorText, databaseName);
    return false;
}

bool TData::OpenSession(fb::Database& connection, const QString& databaseName,
                        const QString& fallbackPassword, SessionPrecondition precondition,
                        QString* errorText) {
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
        *errorText = error.Text();
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
        platform::ShowInformation(SessionFailureText(errorText, databaseName));
    else
        platform::ShowPlainMessage(SessionFailureText(errorText, databaseName));
}

QString TData::SessionFailureText(const QString& errorText, const QString& databaseName) {
    if (errorText.left(9) == kAccessFailurePrefix)
        return QStringLiteral("Acceso denegado a") + kLineBreak + databaseName + kLineBreak +
               QStringLiteral("Su nombre de usuario y contraseña no son válidos");
    return errorText + kLineBreak + QStringLiteral("Status 0");
}
