#include "backup/VerificationTurn.h"

#include <QFile>
#include <QThread>
#include <chrono>

#include "backup/MainWindowLink.h"
#include "db/FbCore.h"
#include "db/Installation.h"
#include "db/ServerWatch.h"
#include "platform/Paths.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

VerificationTurn::VerificationTurn() {
#ifndef Q_OS_WIN
    const QByteArray path = QFile::encodeName(platform::ExecutableDirectory() + kInstallationFile);
    fd_ = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + fb::SilenceLimit();
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(fd_);
            fd_ = -1;
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            close(fd_);
            fd_ = -1;
            throw fb::FbError(
                QStringLiteral("La copia no se ha podido verificar: otra verificación de este "
                               "ordenador lleva %1 sin terminar")
                    .arg(fb::SilenceLimitInWords()));
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
