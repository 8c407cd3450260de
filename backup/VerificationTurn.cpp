#include "backup/VerificationTurn.h"

#include "backup/MainWindowLink.h"
#include "db/Installation.h"
#include "platform/Paths.h"

#include <QFile>
#include <QThread>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

VerificationTurn::VerificationTurn() {
#ifndef Q_OS_WIN
    const QByteArray path = QFile::encodeName(platform::ExecutableDirectory() + kInstallationFile);
    fd_ = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(fd_);
            fd_ = -1;
            return;
        }
        ProcessPendingMessages();
        QThread::msleep(50);
    }
#endif
}

VerificationTurn::~VerificationTurn() {
#ifndef Q_OS_WIN
    if (fd_ >= 0) close(fd_);  // closing the only descriptor releases the lock
#endif
}
