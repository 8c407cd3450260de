#include "tests/support/FirebirdTestServer.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QtDebug>

#include "tests/support/TestDatabases.h"

namespace {

constexpr int kScriptTimeoutMs = 30000;

QString ScriptPath()
{
    return SourceDir() + QStringLiteral("/tests/fixtures/fbserver.sh");
}

}  // namespace

FirebirdTestServer::FirebirdTestServer() = default;

FirebirdTestServer::~FirebirdTestServer()
{
    if (started_)
        stop();
}

QString FirebirdTestServer::dir() const
{
    return dir_ ? dir_->path() : QString();
}

QString FirebirdTestServer::address() const
{
    return port_ == 3050 ? ip_ : ip_ + QLatin1Char('/') + QString::number(port_);
}

QString FirebirdTestServer::databaseName(const QString& path) const
{
    return address() + QLatin1Char(':') + path;
}

QString FirebirdTestServer::serviceName() const
{
    return address() + QStringLiteral(":service_mgr");
}

bool FirebirdTestServer::run(const QStringList& arguments)
{
    lastError_.clear();
    const QString script = ScriptPath();
    if (!QFileInfo::exists(script)) {
        lastError_ = QStringLiteral("FirebirdTestServer: %1 not found (is QB_SOURCE_DIR set?)").arg(script);
        qWarning().noquote() << lastError_;
        return false;
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    // A session of its own, without a controlling terminal: a server that
    // shares the test's terminal asks it for a broken-off backup file's next
    // volume and waits there, where without one it gives up at once, as on
    // a server machine. Tests behave the same from a terminal and from CTest.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral("bash"), QStringList{script} + arguments);

    // The password never goes into a message.
    QStringList shown = arguments;
    if (arguments.value(0) == QStringLiteral("start") && shown.size() > 3)
        shown[3] = QStringLiteral("***");
    if (arguments.value(0) == QStringLiteral("password") && shown.size() > 2)
        shown[2] = QStringLiteral("***");
    const QString command = QStringLiteral("fbserver.sh ") + shown.join(QLatin1Char(' '));

    if (!process.waitForStarted()) {
        lastError_ = command + QStringLiteral(": ") + process.errorString();
    } else if (!process.waitForFinished(kScriptTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        lastError_ = command + QStringLiteral(": timed out\n") + QString::fromUtf8(process.readAll());
    } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        lastError_ = command + QStringLiteral(": exit code %1\n").arg(process.exitCode())
            + QString::fromUtf8(process.readAll()).trimmed();
    }
    if (!lastError_.isEmpty()) {
        qWarning().noquote() << "FirebirdTestServer:" << lastError_;
        return false;
    }
    return true;
}

bool FirebirdTestServer::start(const QString& ip, const QString& password, int port)
{
    if (started_ && !stop())
        return false;
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qb-fbserver-XXXXXX"));
        if (!dir_->isValid()) {
            lastError_ = QStringLiteral("FirebirdTestServer: cannot make a temporary folder: ") + dir_->errorString();
            qWarning().noquote() << lastError_;
            dir_.reset();
            return false;
        }
    }
    ip_ = ip;
    password_ = password;
    port_ = port;
    started_ = run({QStringLiteral("start"), dir_->path(), ip, password, QString::number(port)});
    return started_;
}

bool FirebirdTestServer::setPassword(const QString& password)
{
    if (!dir_) {
        lastError_ = QStringLiteral("FirebirdTestServer: setPassword before start");
        qWarning().noquote() << lastError_;
        return false;
    }
    if (!run({QStringLiteral("password"), dir_->path(), password}))
        return false;
    password_ = password;
    return true;
}

bool FirebirdTestServer::stop()
{
    if (!dir_)
        return true;
    const bool stopped = run({QStringLiteral("stop"), dir_->path()});
    if (stopped)
        started_ = false;
    return stopped;
}

bool FirebirdTestServer::restart()
{
    if (ip_.isEmpty()) {
        lastError_ = QStringLiteral("FirebirdTestServer: restart before start");
        qWarning().noquote() << lastError_;
        return false;
    }
    return stop() && start(ip_, password_, port_);
}

bool FirebirdTestServer::isRunning() const
{
    if (!dir_)
        return false;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("bash"), {ScriptPath(), QStringLiteral("status"), dir_->path()});
    return process.waitForFinished(kScriptTimeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}
