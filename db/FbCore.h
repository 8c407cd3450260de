#pragma once
// What every part of the Firebird layer shares: ownership of the client's
// interface objects, the one error type, the engine that serves local names
// and the parameter buffers of attachments, transactions and service jobs.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace fb {

// Lets go of one reference (defined for the interface's types the layer uses).
template <typename T>
void LetGo(T* object) noexcept;

// Holds one reference to an object of the client's interface and lets go of
// it when it ends (release, or dispose for the parameter builders), which
// never throws. Calls that end the object themselves on success (detach,
// commit, rollback, close, free) are followed by Forget().
template <typename T>
class Owned {
public:
    Owned() = default;
    explicit Owned(T* object) noexcept : object_(object) {}
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept : object_(other.Forget()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) Reset(other.Forget());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Lets go of the object held and holds `object` instead.
    void Reset(T* object = nullptr) noexcept {
        if (T* old = std::exchange(object_, object)) LetGo(old);
    }
    // The object has ended by itself: stop holding it without letting go.
    T* Forget() noexcept { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

class FbError : public std::runtime_error {
public:
    FbError(const QString& text, std::vector<std::intptr_t> codes = {});
    // The interpreted status messages, one per line.
    const QString& Text() const { return text_; }
    bool HasCode(std::intptr_t code) const;
    // The server could not be reached at all (no answer, connection refused).
    bool IsNetworkError() const;

private:
    QString text_;
    std::vector<std::intptr_t> codes_;
};

// Which engine serves a name that carries no host: this computer's Firebird
// server (through the loopback provider) or the engine inside this process.
// The installation decides it once at start-up; nothing probes for a server.
enum class LocalProvider { Loopback, Embedded };
void SetLocalProvider(LocalProvider provider);
LocalProvider CurrentLocalProvider();

// True when a connection string names another computer ("host:path",
// "host/port:path"); a drive letter ("C:\...") or a plain path is local.
bool IsRemoteName(const QString& name);

// Parameter buffers, built from the system's parameter lists
// ("user_name=sysdba", "password=...", "lc_ctype=WIN1252"). Extra items that
// this platform needs (UTF-8 file names, the provider) come after them.
QByteArray BuildDatabaseParams(const QStringList& params, const QString& providers);
QByteArray BuildServiceAttachParams(const QStringList& params, const QString& providers);
// "concurrency", "nowait", "read_committed", "rec_version", ...
QByteArray BuildTransactionParams(const QStringList& params);

// Start requests of the service manager (texts as UTF-8, as the attach
// announces; integers 4 bytes little-endian). They carry exactly these items:
// a backup: isc_action_svc_backup, isc_spb_dbname, isc_spb_bkp_file (one
// file), isc_spb_options, then isc_spb_verbose when verbose;
QByteArray BuildBackupStartParams(const QString& database, const QString& backupFile,
                                  unsigned options, bool verbose);
// a restore: isc_action_svc_restore, isc_spb_options, isc_spb_verbose when
// verbose, isc_spb_res_page_size, isc_spb_res_buffers, isc_spb_bkp_file,
// isc_spb_dbname.
QByteArray BuildRestoreStartParams(const QString& backupFile, const QString& database,
                                   unsigned options, unsigned pageSize, unsigned buffers,
                                   bool verbose);

// Lets go of the client library's engines; the program calls it once at exit.
void Shutdown() noexcept;

}  // namespace fb
