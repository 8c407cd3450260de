#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>

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

}  // namespace platform
