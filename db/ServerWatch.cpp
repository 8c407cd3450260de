#include "db/ServerWatch.h"

#include <QDir>
#include <algorithm>
#include <atomic>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace fb {
namespace {

std::atomic<std::chrono::milliseconds::rep> g_limit{kDefaultSilenceLimit.count()};

#ifndef Q_OS_WIN
// The address a descriptor's socket is connected to over the network; empty
// for anything else (files, local sockets, the window system's connection).
std::vector<unsigned char> NetworkPeer(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode)) return {};
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    if (address.ss_family != AF_INET && address.ss_family != AF_INET6) return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return {bytes, bytes + length};
}

std::vector<int> OpenDescriptors() {
    std::vector<int> fds;
    for (const QString& name : QDir(QStringLiteral("/proc/self/fd"))
                                   .entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        bool number = false;
        const int fd = name.toInt(&number);
        if (number) fds.push_back(fd);
    }
    std::sort(fds.begin(), fds.end());
    return fds;
}
#endif

}  // namespace

std::chrono::milliseconds SilenceLimit() { return std::chrono::milliseconds(g_limit.load()); }

void SetSilenceLimit(std::chrono::milliseconds limit) { g_limit = limit.count(); }

QString SilenceLimitInWords() {
    const auto limit = SilenceLimit();
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(limit).count();
    if (minutes >= 1) return QStringLiteral("%1 minutos").arg(minutes);
    return QStringLiteral("%1 segundos")
        .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
}

QString SilentServerText() {
    return QStringLiteral("El servidor ha dejado de responder: %1 sin ninguna respuesta")
        .arg(SilenceLimitInWords());
}

ServerWatch::~ServerWatch() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ServerWatch::NoteOpenConnections() {
#ifndef Q_OS_WIN
    before_ = OpenDescriptors();
#endif
}

void ServerWatch::Adopt() {
#ifndef Q_OS_WIN
    std::vector<Connection> added;
    for (const int fd : OpenDescriptors()) {
        if (std::binary_search(before_.begin(), before_.end(), fd)) continue;
        std::vector<unsigned char> peer = NetworkPeer(fd);
        if (!peer.empty()) added.push_back(Connection{fd, std::move(peer)});
    }
    const std::lock_guard lock(mutex_);
    connections_ = std::move(added);
    cut_ = false;
#endif
}

void ServerWatch::Forget() {
    const std::lock_guard lock(mutex_);
    connections_.clear();
    armed_ = false;
}

void ServerWatch::Arm(std::chrono::steady_clock::time_point deadline) {
    {
        const std::lock_guard lock(mutex_);
        if (connections_.empty()) return;  // the engine in this process: nothing to cut
        armed_ = true;
        deadline_ = deadline;
        if (!thread_.joinable()) thread_ = std::thread([this] { Watch(); });
    }
    changed_.notify_all();
}

void ServerWatch::Disarm() {
    const std::lock_guard lock(mutex_);
    armed_ = false;
}

bool ServerWatch::Cut() const {
    const std::lock_guard lock(mutex_);
    return cut_;
}

void ServerWatch::Watch() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, deadline_) != std::cv_status::timeout) continue;
        if (!armed_ || std::chrono::steady_clock::now() < deadline_) continue;
#ifndef Q_OS_WIN
        // Still the job's connection (the descriptor was not closed and
        // reused meanwhile): cut both ways, so that the waiting call returns.
        for (const Connection& connection : connections_)
            if (NetworkPeer(connection.fd) == connection.peer) ::shutdown(connection.fd, SHUT_RDWR);
#endif
        cut_ = true;
        armed_ = false;
    }
}

}  // namespace fb
