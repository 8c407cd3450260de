#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

namespace platform {

QString SingleInstanceGuard::LockFilePath(const QString& name) {
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty()) {
        return QDir::cleanPath(runtimeDir + u'/' + name + QStringLiteral(".lock"));
    }
    // The temporary folder is shared by all users: the user id keeps the lock
    // to this user's session.
    return QDir::cleanPath(QDir::tempPath() + u'/' + name + u'.' + QString::number(::getuid()) +
                           QStringLiteral(".lock"));
}

SingleInstanceGuard::Outcome SingleInstanceGuard::Acquire(const QString& name) {
    if (fd_ >= 0) return Outcome::First;  // this guard holds the lock already

    // Close-on-exec: a program started from this one (a help viewer, say)
    // must not inherit the lock and keep it after this process has ended.
    const int fd = ::open(QFile::encodeName(LockFilePath(name)).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Outcome::NoGuard;

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
