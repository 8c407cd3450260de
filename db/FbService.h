#pragma once
// A service manager attachment that runs one backup or restore job and reads
// its verbose output line by line.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

#include "db/FbCore.h"
#include "db/ServerWatch.h"

namespace Firebird {
class IService;
}  // namespace Firebird

namespace fb {

// A service manager attachment for a backup or a restore.
class Service {
public:
    enum class Protocol { Local, TcpIp };

    Service() = default;
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void SetServerName(const QString& name) { serverName_ = name; }
    const QString& ServerName() const { return serverName_; }
    void SetProtocol(Protocol protocol) { protocol_ = protocol; }
    Protocol GetProtocol() const { return protocol_; }
    void SetParams(const QStringList& params) { params_ = params; }
    const QStringList& Params() const { return params_; }
    // The database the service works on; named in failure reports.
    void SetDatabaseName(const QString& name) { databaseName_ = name; }
    const QString& DatabaseName() const { return databaseName_; }

    // "service_mgr", or "<server>:service_mgr" over TCP/IP.
    QString ServiceManagerName() const;
    bool Active() const { return static_cast<bool>(service_); }
    // Attaches to ServiceManagerName(); an attachment already open (perhaps
    // to another server) is closed first.
    void Attach();
    void Detach() noexcept;
    // Starts an action with a ready service request buffer.
    void Start(const QByteArray& request);
    // The next line of the running action's output, read into a 32000-byte
    // buffer; false once the action has no more output. A failure of the
    // action arrives here as an FbError. The wait for the line is cut into
    // slices of about a second; whileSilent, if given, runs after every
    // slice that ends without a whole line. A server silent for longer than
    // SilenceLimit() (no line, no answer at all) fails the call with
    // SilentServerText(), as do Start and Detach.
    bool NextLine(QString* line, const std::function<void()>& whileSilent = {});

private:
    template <typename F>
    auto Watched(F&& call);

    QString serverName_;
    Protocol protocol_ = Protocol::Local;
    QStringList params_;
    QString databaseName_;
    Owned<Firebird::IService> service_;
    ServerWatch watch_;
    // The server's last sign of life: the attach, the start, output.
    std::chrono::steady_clock::time_point lastAnswer_;
};

}  // namespace fb
