#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {
namespace {

QString g_executableDirectory;  // empty: the running executable's own

QString WithTrailingSeparator(const QString& directory) {
    if (directory.endsWith(QDir::separator()) || directory.endsWith(u'/')) return directory;
    return directory + QDir::separator();
}

}  // namespace

QString ExecutableDirectory() {
    if (!g_executableDirectory.isEmpty()) return g_executableDirectory;
    return WithTrailingSeparator(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

// An empty text brings back the running executable's directory.
void SetExecutableDirectory(const QString& directory) {
    g_executableDirectory = directory.isEmpty() ? QString() : WithTrailingSeparator(directory);
}

bool EnsurePrivateFolder(const QString& folder) {
#ifdef Q_OS_WIN
    return QDir().mkpath(folder);
#else
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
#endif
}

}  // namespace platform
