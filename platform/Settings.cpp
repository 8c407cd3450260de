#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The store is one JSON file whose top-level object is the key
// "Software\Orvalenta Software\Quillbase". Every key, that one included, is
// an object {"values": {name: text}, "keys": {name: key}}; the default value
// has the empty name. The file does not exist until something is stored, and
// its absence is the absence of the Quillbase key itself.
//
// Every call reads the file afresh; every change writes a complete new file
// beside it and renames it over the old one, so a reader sees either the old
// store or the new one, never a mixture. A file that cannot be understood is
// never written over: the error names it and the caller decides. At start-up
// the program puts such a file aside (SetAsideUnreadableFile).

namespace platform {
namespace {

constexpr QChar kSeparator = u'\\';
const QString kValuesMember = QStringLiteral("values");
const QString kKeysMember = QStringLiteral("keys");

struct Value {
    QString name;
    QString text;
};

struct Key {
    QString name;
    std::vector<Value> values;
    std::vector<Key> keys;
};

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool NameLess(const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

Key* FindKey(Key& parent, const QString& name) {
    for (Key& key : parent.keys) {
        if (SameName(key.name, name)) return &key;
    }
    return nullptr;
}

Value* FindValue(Key& key, const QString& name) {
    for (Value& value : key.values) {
        if (SameName(value.name, name)) return &value;
    }
    return nullptr;
}

std::string Utf8(const QString& text) { return text.toStdString(); }

[[noreturn]] void Fail(const QString& message) { throw SettingsError(Utf8(message)); }

// The system's reason for a failure, in the program's language (the C
// library's own texts follow the locale, English on most installations).
QString SystemError(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return QStringLiteral("permiso denegado");
        case ENOENT: return QStringLiteral("no existe el fichero o la carpeta");
        case ENOTDIR: return QStringLiteral("una parte de la ruta no es una carpeta");
        case EISDIR: return QStringLiteral("es una carpeta");
        case EEXIST: return QStringLiteral("ya existe un fichero con ese nombre");
        case ENOSPC: return QStringLiteral("no queda espacio en el disco");
        case EDQUOT: return QStringLiteral("se ha superado la cuota de disco");
        case EROFS: return QStringLiteral("el sistema de ficheros es de solo lectura");
        case ENAMETOOLONG: return QStringLiteral("el nombre es demasiado largo");
        case ELOOP: return QStringLiteral("demasiados enlaces simbólicos");
        case EIO: return QStringLiteral("error de entrada/salida");
        case EMFILE:
        case ENFILE: return QStringLiteral("demasiados ficheros abiertos");
        case EBUSY: return QStringLiteral("el recurso está ocupado");
        default: return QStringLiteral("error del sistema %1").arg(error);
    }
}

// The whole content of a file; false with the system's error number.
bool ReadWholeFile(const QString& path, QByteArray* content, int* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        *error = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            ::close(fd);
            return false;
        }
        content->append(buffer, got);
    }
    ::close(fd);
    return true;
}

// ---- key paths -----------------------------------------------------------

// The names of the keys below the Quillbase key that a full key path names;
// empty for the Quillbase key itself.
QStringList RelativePath(const QString& keyPath) {
    QString path = keyPath;
    while (path.startsWith(kSeparator)) path.remove(0, 1);
    while (path.endsWith(kSeparator)) path.chop(1);

    const qsizetype rootLength = kQuillbaseKey.size();
    const bool inside = path.size() >= rootLength &&
                        SameName(path.left(rootLength), kQuillbaseKey) &&
                        (path.size() == rootLength || path.at(rootLength) == kSeparator);
    if (!inside) {
        Fail(QStringLiteral("La clave de configuración '%1' está fuera de '%2'")
                 .arg(keyPath, kQuillbaseKey));
    }
    if (path.size() == rootLength) return {};

    const QStringList names = path.mid(rootLength + 1).split(kSeparator);
    for (const QString& name : names) {
        if (name.isEmpty()) {
            Fail(QStringLiteral("La clave de configuración '%1' tiene un nombre vacío")
                     .arg(keyPath));
        }
    }
    return names;
}

Key* Walk(Key& root, const QStringList& names) {
    Key* key = &root;
    for (const QString& name : names) {
        key = FindKey(*key, name);
        if (key == nullptr) return nullptr;
    }
    return key;
}

// Walks down, creating the keys that are missing; tells whether it created any.
Key& WalkCreating(Key& root, const QStringList& names, bool& created) {
    Key* key = &root;
    for (const QString& name : names) {
        Key* child = FindKey(*key, name);
        if (child == nullptr) {
            key->keys.push_back(Key{name, {}, {}});
            child = &key->keys.back();
            created = true;
        }
        key = child;
    }
    return *key;
}

// ---- the file ------------------------------------------------------------

QString DamagedMessage(const QString& file, const QString& detail) {
    return QStringLiteral("El fichero de configuración '%1' está dañado: %2").arg(file, detail);
}

Key KeyFromJson(const QJsonObject& object, const QString& name, const QString& file) {
    Key key{name, {}, {}};
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (member.key() != kValuesMember && member.key() != kKeysMember) {
            Fail(DamagedMessage(file, QStringLiteral("miembro inesperado '%1' en la clave '%2'")
                                          .arg(member.key(), name)));
        }
        if (!member.value().isObject()) {
            Fail(DamagedMessage(file,
                                QStringLiteral("el miembro '%1' de la clave '%2' no es un objeto")
                                    .arg(member.key(), name)));
        }
    }

    const QJsonObject values = object.value(kValuesMember).toObject();
    for (auto value = values.begin(); value != values.end(); ++value) {
        if (!value.value().isString()) {
            Fail(
                DamagedMessage(file, QStringLiteral("el valor '%1' de la clave '%2' no es un texto")
                                         .arg(value.key(), name)));
        }
        if (FindValue(key, value.key()) != nullptr) {
            Fail(DamagedMessage(file, QStringLiteral("la clave '%1' tiene dos veces el valor '%2'")
                                          .arg(name, value.key())));
        }
        key.values.push_back(Value{value.key(), value.value().toString()});
    }

    const QJsonObject keys = object.value(kKeysMember).toObject();
    for (auto child = keys.begin(); child != keys.end(); ++child) {
        if (child.key().isEmpty() || child.key().contains(kSeparator)) {
            Fail(DamagedMessage(
                file, QStringLiteral("la clave '%1' tiene una subclave de nombre no válido '%2'")
                          .arg(name, child.key())));
        }
        if (!child.value().isObject()) {
            Fail(DamagedMessage(file,
                                QStringLiteral("la subclave '%1' de la clave '%2' no es un objeto")
                                    .arg(child.key(), name)));
        }
        if (FindKey(key, child.key()) != nullptr) {
            Fail(DamagedMessage(file,
                                QStringLiteral("la clave '%1' tiene dos veces la subclave '%2'")
                                    .arg(name, child.key())));
        }
        key.keys.push_back(KeyFromJson(child.value().toObject(), child.key(), file));
    }
    return key;
}

QJsonObject KeyToJson(const Key& key) {
    QJsonObject values;
    for (const Value& value : key.values) values.insert(value.name, value.text);
    QJsonObject keys;
    for (const Key& child : key.keys) keys.insert(child.name, KeyToJson(child));
    QJsonObject object;
    object.insert(kValuesMember, values);
    object.insert(kKeysMember, keys);
    return object;
}

// The Quillbase key as stored, or nothing when there is no file.
std::optional<Key> Load() {
    const QString path = SettingsStore::FilePath();
    if (!QFileInfo::exists(path)) return std::nullopt;
    QByteArray content;
    int readError = 0;
    if (!ReadWholeFile(path, &content, &readError)) {
        Fail(QStringLiteral("No se puede leer el fichero de configuración '%1': %2")
                 .arg(path, SystemError(readError)));
    }

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError) {
        Fail(DamagedMessage(
            path,
            QStringLiteral("no es JSON válido (error en la posición %1)").arg(error.offset)));
    }
    if (!document.isObject()) {
        Fail(DamagedMessage(path, QStringLiteral("el nivel superior no es un objeto")));
    }
    return KeyFromJson(document.object(), kQuillbaseKey, path);
}

// Holds an exclusive lock on the store's folder while a change is read,
// made and written, so that two processes changing the store at once do not
// lose each other's change. Readers need no lock: the file is replaced whole.
class FolderLock {
public:
    explicit FolderLock(const QString& folder) {
        fd_ = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

void MakeFolder(const QString& folder) {
    if (QFileInfo(folder).isDir()) return;
    const QString parent = QFileInfo(folder).absolutePath();
    errno = 0;
    if (!QDir().mkpath(parent)) {
        const int error = errno != 0 ? errno : EACCES;
        Fail(QStringLiteral("No se puede crear la carpeta de configuración '%1': %2")
                 .arg(parent, SystemError(error)));
    }
    // The program's own folder is private to the user.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        // Made meanwhile by another process is fine; a file of that name is not.
        const int error = errno;
        if (error != EEXIST || !QFileInfo(folder).isDir()) {
            Fail(QStringLiteral("No se puede crear la carpeta de configuración '%1': %2")
                     .arg(folder, SystemError(error)));
        }
    }
}

bool WriteAll(int fd, const QByteArray& data) {
    const char* next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

// Writes the store as a new file beside the old one and renames it over it.
void Save(const Key& root) {
    const QString path = SettingsStore::FilePath();
    const QByteArray data = QJsonDocument(KeyToJson(root)).toJson(QJsonDocument::Indented);

    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // created with mode 0600
    if (fd < 0) {
        Fail(QStringLiteral("No se puede escribir el fichero de configuración '%1': %2")
                 .arg(path, SystemError(errno)));
    }
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written ||
        ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.constData());
        Fail(QStringLiteral("No se puede escribir el fichero de configuración '%1': %2")
                 .arg(path, SystemError(error)));
    }

    // Make the rename itself durable.
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void RemoveFile() {
    const QString path = SettingsStore::FilePath();
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        Fail(QStringLiteral("No se puede borrar el fichero de configuración '%1': %2")
                 .arg(path, SystemError(errno)));
    }
}

}  // namespace

// The copy of the store that an open batch works on.
struct SettingsBatch::State {
    explicit State(const QString& folder) : lock(folder) {}
    FolderLock lock;
    Key root;
    bool existed = false;  // the file exists, or will once the batch is written
    bool changed = false;
};

namespace {

thread_local SettingsBatch::State* g_batch = nullptr;

// Runs one change of the store under the folder lock: reads the store, lets
// the change work on it, and writes it back when the change says it changed
// something. The change gets the Quillbase key and whether the file existed.
// In a batch it works on the batch's copy.
template <typename Change>
void Modify(Change&& change) {
    if (g_batch != nullptr) {
        if (change(g_batch->root, g_batch->existed)) {
            g_batch->changed = true;
            g_batch->existed = true;
        }
        return;
    }
    const QString folder = QFileInfo(SettingsStore::FilePath()).absolutePath();
    MakeFolder(folder);
    FolderLock lock(folder);
    std::optional<Key> stored = Load();
    const bool existed = stored.has_value();
    Key root = existed ? std::move(*stored) : Key{kQuillbaseKey, {}, {}};
    if (change(root, existed)) Save(root);
}

// The key a read looks at, or nothing when it does not exist.
template <typename Read>
auto Inspect(const QString& keyPath, Read&& read) {
    const QStringList names = RelativePath(keyPath);
    if (g_batch != nullptr) {
        return read(g_batch->existed ? Walk(g_batch->root, names) : nullptr);
    }
    std::optional<Key> root = Load();
    Key* key = root ? Walk(*root, names) : nullptr;
    return read(key);
}

// Whether a change may find something to change.
bool StoreExists() {
    return g_batch != nullptr ? g_batch->existed : QFileInfo::exists(SettingsStore::FilePath());
}

}  // namespace

QString SettingsStore::FilePath() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return QDir::cleanPath(configHome + QStringLiteral("/Orvalenta Software/Quillbase.json"));
}

std::optional<SetAsideSettingsFile> SettingsStore::SetAsideUnreadableFile(const QDateTime& now) {
    const QString path = FilePath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir()) return std::nullopt;
    // No change of this or another process may come between the reading and
    // the renaming.
    FolderLock lock(folder);
    try {
        Load();
        return std::nullopt;
    } catch (const SettingsError&) {
        // Unreadable: put aside below.
    }

    const QString stamped =
        path + QStringLiteral(".ilegible-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString keptAs = stamped;
    for (int next = 2; QFileInfo::exists(keptAs) || QFileInfo(keptAs).isSymLink(); ++next) {
        keptAs = stamped + u'-' + QString::number(next);
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(keptAs).constData()) != 0) {
        Fail(QStringLiteral("No se puede apartar el fichero de configuración '%1' como '%2': %3")
                 .arg(path, keptAs, SystemError(errno)));
    }
    return SetAsideSettingsFile{path, keptAs};
}

bool SettingsStore::KeyExists(const QString& keyPath) const {
    return Inspect(keyPath, [](const Key* key) { return key != nullptr; });
}

void SettingsStore::CreateKey(const QString& keyPath) {
    const QStringList names = RelativePath(keyPath);
    Modify([&](Key& root, bool existed) {
        bool created = !existed;
        WalkCreating(root, names, created);
        return created;
    });
}

void SettingsStore::DeleteKey(const QString& keyPath) {
    const QStringList names = RelativePath(keyPath);
    if (names.isEmpty()) {
        if (g_batch != nullptr) {
            g_batch->changed = g_batch->changed || g_batch->existed;
            g_batch->root = Key{kQuillbaseKey, {}, {}};
            g_batch->existed = false;
            return;
        }
        // The Quillbase key is the whole file. A file that cannot be read is
        // left alone, as it is by every other change.
        const QString folder = QFileInfo(FilePath()).absolutePath();
        if (!QFileInfo(folder).isDir()) return;
        FolderLock lock(folder);
        if (Load()) RemoveFile();
        return;
    }
    if (!StoreExists()) return;
    Modify([&](Key& root, bool) {
        Key* parent = Walk(root, names.mid(0, names.size() - 1));
        if (parent == nullptr) return false;
        const auto gone =
            std::remove_if(parent->keys.begin(), parent->keys.end(),
                           [&](const Key& key) { return SameName(key.name, names.last()); });
        if (gone == parent->keys.end()) return false;
        parent->keys.erase(gone, parent->keys.end());
        return true;
    });
}

bool SettingsStore::ValueExists(const QString& keyPath, const QString& name) const {
    return Inspect(keyPath,
                   [&](Key* key) { return key != nullptr && FindValue(*key, name) != nullptr; });
}

QString SettingsStore::ReadString(const QString& keyPath, const QString& name) const {
    return Inspect(keyPath, [&](Key* key) {
        const Value* value = key != nullptr ? FindValue(*key, name) : nullptr;
        return value != nullptr ? value->text : QString();
    });
}

void SettingsStore::WriteString(const QString& keyPath, const QString& name, const QString& value) {
    const QStringList names = RelativePath(keyPath);
    Modify([&](Key& root, bool) {
        bool created = false;
        Key& key = WalkCreating(root, names, created);
        if (Value* existing = FindValue(key, name)) {
            existing->text = value;  // the name keeps the case it was created with
        } else {
            key.values.push_back(Value{name, value});
        }
        return true;
    });
}

void SettingsStore::DeleteValue(const QString& keyPath, const QString& name) {
    const QStringList names = RelativePath(keyPath);
    if (!StoreExists()) return;
    Modify([&](Key& root, bool) {
        Key* key = Walk(root, names);
        if (key == nullptr) return false;
        const auto gone =
            std::remove_if(key->values.begin(), key->values.end(),
                           [&](const Value& value) { return SameName(value.name, name); });
        if (gone == key->values.end()) return false;
        key->values.erase(gone, key->values.end());
        return true;
    });
}

QStringList SettingsStore::SubKeys(const QString& keyPath) const {
    return Inspect(keyPath, [](const Key* key) {
        QStringList names;
        if (key != nullptr) {
            for (const Key& child : key->keys) names.append(child.name);
        }
        std::sort(names.begin(), names.end(), NameLess);
        return names;
    });
}

QStringList SettingsStore::ValueNames(const QString& keyPath) const {
    return Inspect(keyPath, [](const Key* key) {
        QStringList names;
        if (key != nullptr) {
            for (const Value& value : key->values) names.append(value.name);
        }
        std::sort(names.begin(), names.end(), NameLess);
        return names;
    });
}

SettingsBatch::SettingsBatch() {
    if (g_batch != nullptr) return;
    // Without the folder there is nothing to read or lock; Commit makes it.
    const QString folder = QFileInfo(SettingsStore::FilePath()).absolutePath();
    auto state = std::make_unique<State>(folder);
    std::optional<Key> stored = Load();
    state->existed = stored.has_value();
    state->root = stored ? std::move(*stored) : Key{kQuillbaseKey, {}, {}};
    state_ = std::move(state);
    g_batch = state_.get();
}

SettingsBatch::~SettingsBatch() {
    if (state_ && g_batch == state_.get()) g_batch = nullptr;
}

void SettingsBatch::Commit() {
    if (!state_ || g_batch != state_.get()) return;
    g_batch = nullptr;  // whatever happens, the batch is over
    if (!state_->changed) return;
    if (state_->existed) {
        MakeFolder(QFileInfo(SettingsStore::FilePath()).absolutePath());
        Save(state_->root);
    } else {
        RemoveFile();
    }
}

}  // namespace platform
