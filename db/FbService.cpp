#include "db/FbService.h"

#include <ibase.h>

#include <algorithm>
#include <vector>

#include "db/FbCall.h"
#include "db/Win1252.h"

using namespace Firebird;

namespace fb {

using namespace detail;

namespace {

constexpr unsigned kServiceBufferSize = 32000;

}  // namespace

Service::~Service() { Detach(); }

QString Service::ServiceManagerName() const {
    if (protocol_ == Protocol::TcpIp) return serverName_ + QStringLiteral(":service_mgr");
    return QStringLiteral("service_mgr");
}

// A call that waits on the server while the watch keeps its limit: the
// limit counts from the server's last sign of life.
template <typename F>
auto Service::Watched(F&& call) {
    watch_.Arm(lastAnswer_ + SilenceLimit());
    struct Disarm {
        ServerWatch& watch;
        ~Disarm() { watch.Disarm(); }
    } disarm{watch_};
    try {
        return call();
    } catch (const FbError&) {
        if (watch_.Cut()) throw FbError(SilentServerText());
        throw;
    }
}

void Service::Attach() {
    Detach();
    const QString name = ServiceManagerName();
    const QByteArray nameBytes = name.toUtf8();
    watch_.NoteOpenConnections();
    service_.Reset(AttachLocalOrRemote(name, [&](const QString& providers) {
        const QByteArray spb = BuildServiceAttachParams(params_, providers);
        return Call([&](ThrowStatusWrapper* s) {
            return Provider()->attachServiceManager(
                s, nameBytes.constData(), spb.size(),
                reinterpret_cast<const unsigned char*>(spb.constData()));
        });
    }));
    watch_.Adopt();
    lastAnswer_ = std::chrono::steady_clock::now();
}

void Service::Detach() noexcept {
    if (!service_) return;
    try {
        lastAnswer_ = std::chrono::steady_clock::now();
        Watched([&] { Call([&](ThrowStatusWrapper* s) { service_->detach(s); }); });
        service_.Forget();
    } catch (const FbError&) {
        service_.Reset();
    }
    watch_.Forget();
}

void Service::Start(const QByteArray& request) {
    if (!service_) throw FbError(QStringLiteral("El servicio no está conectado"));
    lastAnswer_ = std::chrono::steady_clock::now();
    Watched([&] {
        Call([&](ThrowStatusWrapper* s) {
            service_->start(s, request.size(),
                            reinterpret_cast<const unsigned char*>(request.constData()));
        });
    });
    lastAnswer_ = std::chrono::steady_clock::now();
}

// How the server ends a query that carries a timeout (isc_info_svc_timeout,
// in whole seconds; the embedded engine and a server over TCP answer alike):
// after about a second without a whole line it answers isc_info_svc_line
// with the part of a line read so far (mostly nothing) followed by
// isc_info_svc_timeout, then isc_info_end. The end of the output is the same
// isc_info_svc_line of length 0 but without isc_info_svc_timeout. A partial
// line is kept and completed by the next query. Every query carries the
// timeout, so that the silence is counted between them.
bool Service::NextLine(QString* line, const std::function<void()>& whileSilent) {
    if (!service_) throw FbError(QStringLiteral("Service not attached"));
    const unsigned char items[] = {isc_info_svc_line};
    const unsigned char slice[] = {isc_info_svc_timeout, 4, 0, 1, 0, 0, 0};
    std::vector<unsigned char> buffer(kServiceBufferSize, 0);
    QByteArray bytes;
    for (;;) {
        buffer[0] = isc_info_end;
        Watched([&] {
            Call([&](ThrowStatusWrapper* s) {
                service_->query(s, sizeof slice, slice, sizeof items, items, buffer.size(),
                                buffer.data());
            });
        });
        if (buffer[0] != isc_info_svc_line) break;
        const unsigned length =
            std::min<unsigned>(buffer[1] | (buffer[2] << 8), kServiceBufferSize - 3);
        bytes.append(reinterpret_cast<const char*>(buffer.data()) + 3, length);
        const auto now = std::chrono::steady_clock::now();
        if (length > 0) lastAnswer_ = now;
        const unsigned after = 3 + length;
        if (after >= kServiceBufferSize || buffer[after] != isc_info_svc_timeout) break;
        if (now - lastAnswer_ >= SilenceLimit()) throw FbError(SilentServerText());
        if (whileSilent) whileSilent();
    }
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = DecodeWin1252(bytes);
    if (line) *line = text;
    if (!bytes.isEmpty()) lastAnswer_ = std::chrono::steady_clock::now();
    return !bytes.isEmpty();
}

}  // namespace fb
