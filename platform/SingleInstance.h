#pragma once
// Keeps a second copy of the program from running in the same user session.
// Elsewhere than Windows the named object is an exclusive lock on a file of
// the user's runtime folder (without one, of a folder of the user's own in
// the temporary folder), held for the life of the process and released by
// the kernel when it ends.

#include <QString>

namespace platform {

class SingleInstanceGuard {
public:
    enum class Outcome { First, AlreadyRunning, NoGuard };

    // Tries to take the named object; the first copy keeps it until it ends.
    Outcome Acquire(const QString& name = QStringLiteral("QuillbaseBackup.exe"));
    static QString LockFilePath(const QString& name);

private:
    int fd_ = -1;  // never closed: the lock lives as long as the process
};

}  // namespace platform
