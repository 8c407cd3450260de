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
// two windows, or two processes, always see the same store. A
// SettingsBatch gathers many writes into one.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <stdexcept>

namespace platform {

// A store that cannot be read or written.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A store file that could not be read, and where it was put aside.
struct SetAsideSettingsFile {
    QString file;    // the store's own path, now free
    QString keptAs;  // the unreadable file, unchanged, beside it
};

// The root of everything the program stores.
inline const QString kQuillbaseKey = QStringLiteral("Software\\Orvalenta Software\\Quillbase");

class SettingsStore {
public:
    // Where the store lives; read from the environment on every call.
    static QString FilePath();

    // A store file that cannot be read or understood (not a file, not the
    // store's JSON) is renamed beside itself to its name followed by
    // ".ilegible-" and the stamp yyyyMMdd-HHmmss of `now` (and "-2", "-3",
    // ... when that name is taken), so that the program can go on with empty
    // settings while the file is kept for whoever wants to recover it: it is
    // never written over or deleted. Nothing happens, and nothing is returned,
    // when the file is readable or absent. SettingsError when the file
    // cannot be renamed.
    static std::optional<SetAsideSettingsFile> SetAsideUnreadableFile(const QDateTime& now);

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

// While a batch is open, the changes and reads of every SettingsStore on
// this thread work on one copy of the store, read when the batch opens;
// Commit() writes it back in one atomic replacement, so that a plan of a
// thousand entries is saved in one write instead of a thousand. A batch
// closed without Commit() (an error on the way) writes nothing. Another
// process's changes wait until the batch closes. A batch opened inside
// another one joins it. SettingsError as the store's own operations.
class SettingsBatch {
public:
    SettingsBatch();
    ~SettingsBatch();
    SettingsBatch(const SettingsBatch&) = delete;
    SettingsBatch& operator=(const SettingsBatch&) = delete;

    void Commit();

    struct State;

private:
    std::unique_ptr<State> state_;  // empty when joined to an outer batch
};

}  // namespace platform
