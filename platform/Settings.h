#pragma once
// Settings of the current user: the registry under HKEY_CURRENT_USER on
// Windows; elsewhere a JSON file that mirrors the key
// "Software\Orvalenta Software\Quillbase" and everything below it.
//
// Paths are full key paths as the registry writes them, for example
// "Software\Orvalenta Software\Quillbase\1.0\backup"; a trailing "\" is
// ignored. Key and value names match without regard to case and keep the
// case they were created with. A missing key or value reads as "".
// Every write lands on disk at once (atomically); nothing is cached, so
// two windows, or two processes, always see the same store.

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace platform {

// A store that cannot be read or written.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The root of everything the program stores.
inline const QString kQuillbaseKey = QStringLiteral("Software\\Orvalenta Software\\Quillbase");

class SettingsStore {
public:
    // Where the store lives; read from the environment on every call.
    static QString FilePath();

    bool KeyExists(const QString& keyPath) const;
    void CreateKey(const QString& keyPath);
    // Removes the key with all its values and subkeys; a missing key is no error.
    void DeleteKey(const QString& keyPath);

    bool ValueExists(const QString& keyPath, const QString& name) const;
    QString ReadString(const QString& keyPath, const QString& name) const;
    // Creates the key when it is missing.
    void WriteString(const QString& keyPath, const QString& name, const QString& value);
    // A missing value is no error.
    void DeleteValue(const QString& keyPath, const QString& name);

    // Names of the direct subkeys, sorted without regard to case.
    QStringList SubKeys(const QString& keyPath) const;
    QStringList ValueNames(const QString& keyPath) const;
};

}  // namespace platform
