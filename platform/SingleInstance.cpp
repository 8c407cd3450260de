#include "platform/SingleInstance.h"

#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

namespace platform {
namespace {

// The folder of the lock without a runtime folder: one of this user's own
// in the shared temporary folder, where anyone may create names.
QString PrivateTempFolder() {
    return QDir::cleanPath(QDir::tempPath() + QStringLiteral("/QuillbaseBackup-") +
                           QString::number(::getuid()));
}

}  // namespace

QString SingleInstanceGuard::LockFilePath(const QString& name) {
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty()) {
        return QDir::cleanPath(runtimeDir + u'/' + name + QStringLiteral(".lock"));
    }
    return PrivateTempFolder() + u'/' + name + QStringLiteral(".lock");
}

SingleInstanceGuard::Outcome SingleInstanceGuard::Acquire(const QString& name) {
    if (fd_ >= 0) return Outcome::First;  // this guard holds the lock already

    if (qEnvironmentVariable("XDG_RUNTIME_DIR").isEmpty() && !EnsurePrivateFolder(PrivateTempFolder()))
        return Outcome::NoGuard;
    // Close-on-exec: a program started from this one (a help viewer, say)
    // must not inherit the lock and keep it after this process has ended.
    // A link in the lock's place is never followed.
    const int fd = ::open(QFile::encodeName(LockFilePath(name)).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Outcome::NoGuard;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        ::close(fd);
        return Outcome::NoGuard;
    }

    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        fd_ = fd;  // kept open until the process ends; the kernel then drops the lock
        return Outcome::First;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Outcome::AlreadyRunning : Outcome::NoGuard;
}

}  // namespace platform
