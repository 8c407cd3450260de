#pragma once
// A thin layer over the Firebird client's object interface: connections,
// transactions, statements with named parameters, procedure calls and the
// service manager. Every handle is owned by one object and released in its
// destructor; every failed call becomes an FbError carrying the client's own
// interpreted message text.
//
// Values cross this layer as text: parameters are bound from text and
// converted to the described type, columns are read back as text. Dates
// travel as "dd/mm/yyyy" and are converted here, never by the server, which
// would read such a text month first.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Firebird {
class IAttachment;
class IService;
class IStatement;
class IResultSet;
class ITransaction;
class IMessageMetadata;
class IStatus;
}  // namespace Firebird

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

class Dependent;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void SetDatabaseName(const QString& name) { name_ = name; }
    const QString& DatabaseName() const { return name_; }
    void SetParams(const QStringList& params) { params_ = params; }
    const QStringList& Params() const { return params_; }

    bool Connected() const { return static_cast<bool>(attachment_); }
    // Attaches to DatabaseName(); an attachment already open (perhaps to
    // another name) is closed first.
    void Connect();
    // Rolls back open transactions and closes statements first; never throws.
    void Disconnect() noexcept;

    Firebird::IAttachment* Attachment() const { return attachment_.get(); }
    void Register(Dependent* dependent);
    void Unregister(Dependent* dependent);

private:
    QString name_;
    QStringList params_;
    Owned<Firebird::IAttachment> attachment_;
    std::vector<Dependent*> dependents_;
};

// Something that lives on a connection or a transaction and must let go of
// its handles before they end.
class Dependent {
public:
    virtual ~Dependent() = default;
    virtual void ReleaseHandles() noexcept = 0;
};

class Transaction : public Dependent {
public:
    Transaction(Database& database, QStringList params);
    ~Transaction() override;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    const QStringList& Params() const { return params_; }
    Database& Owner() const { return database_; }
    bool InTransaction() const { return static_cast<bool>(transaction_); }
    void StartTransaction();
    void Commit();
    void Rollback();
    // Rolls back when active; never throws.
    void RollbackQuietly() noexcept;

    Firebird::ITransaction* Handle() const { return transaction_.get(); }
    void Register(Dependent* dependent);
    void Unregister(Dependent* dependent);
    void ReleaseHandles() noexcept override;

private:
    void EndDependents() noexcept;

    Database& database_;
    QStringList params_;
    Owned<Firebird::ITransaction> transaction_;
    std::vector<Dependent*> dependents_;
};

// A SQL statement with ":name" parameters. A SELECT opens a cursor that Next()
// walks; anything else runs at once, and a procedure's outputs become the one
// current row.
class Statement : public Dependent {
public:
    Statement(Database& database, Transaction& transaction);
    ~Statement() override;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void SetSql(const QString& sql);
    const QString& Sql() const { return sql_; }
    // Binds a parameter by name (any letter case); unset parameters are NULL.
    void SetParam(const QString& name, const QString& value);
    void ClearParams();

    void Execute();
    // Moves to the next row of the result; false at its end.
    bool Next();
    // The current row's value of a column by name (any letter case) or index;
    // NULL reads as "".
    QString Field(const QString& name) const;
    QString Field(int index) const;
    // The same without a copy, for a reader of many rows; valid until the
    // next row is read.
    const QString& FieldRef(int index) const;
    // The current row's value of a column as the client delivered it, for a
    // reader of many rows that tells repeated values apart without turning
    // each into text: equal bytes are equal values. A text column gives its
    // WIN1252 characters, a date or a time its binary value, NULL no bytes.
    // Valid until the next row is read.
    QByteArrayView FieldBytes(int index) const;
    // Whether FieldBytes(index) are the WIN1252 characters of a text.
    bool FieldHoldsText(int index) const;
    bool FieldIsNull(const QString& name) const;
    int FieldCount() const { return static_cast<int>(row_.size()); }
    QStringList FieldNames() const { return columns_; }
    void Close() noexcept;

    void ReleaseHandles() noexcept override;

private:
    int ColumnIndex(const QString& name) const;
    void CheckFieldIndex(int index) const;
    void Prepare();
    // Takes the row that has just arrived in outBuffer_. Its values become
    // text when they are first asked for, so that a column nobody reads
    // costs nothing: a text blob is read then, while the transaction lasts.
    void ReadRow();
    void DecodeField(int index) const;
    void ReadPendingBlobs() noexcept;

    Database& database_;
    Transaction& transaction_;
    QString sql_;
    QByteArray preparedSql_;
    std::vector<QString> paramNames_;  // one per "?", in order
    std::vector<std::pair<QString, QString>> values_;
    QStringList columns_;
    mutable std::vector<QString> row_;
    std::vector<bool> rowNull_;
    mutable std::vector<bool> pending_;  // row_[i] not yet decoded
    Owned<Firebird::IStatement> statement_;
    Owned<Firebird::IResultSet> cursor_;
    Owned<Firebird::IMessageMetadata> outMeta_;
    // Where each output column sits in outBuffer_, read once per statement.
    struct OutColumn {
        unsigned type, offset, nullOffset, length;
    };
    std::vector<OutColumn> outColumns_;
    std::vector<unsigned char> outBuffer_;
    // The status of the fetches, kept for the statement's life rather than
    // made anew for each of a large result's rows.
    Owned<Firebird::IStatus> fetchStatus_;
    bool singleRowPending_ = false;
};

// A call of an executable stored procedure: inputs and outputs by name.
class StoredProc {
public:
    StoredProc(Database& database, Transaction& transaction, QString procedureName);

    const QString& ProcedureName() const { return name_; }
    void SetParam(const QString& name, const QString& value);
    void ExecProc();
    QString Output(const QString& name) const;
    void Close() noexcept { statement_.Close(); }

private:
    QString name_;
    Database& database_;
    Transaction& transaction_;
    Statement statement_;
    std::vector<std::pair<QString, QString>> inputs_;
};

// A service manager attachment for a backup or a restore.
class Service {
public:
    enum class Protocol { Local, TcpIp };

    Service() = default;
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void SetServerName(const QString& name) { serverName_ = name; }
    const QString& ServerName() const { return serverName_; }
    void SetProtocol(Protocol protocol) { protocol_ = protocol; }
    Protocol GetProtocol() const { return protocol_; }
    void SetParams(const QStringList& params) { params_ = params; }
    const QStringList& Params() const { return params_; }
    // The database the service works on; named in failure reports.
    void SetDatabaseName(const QString& name) { databaseName_ = name; }
    const QString& DatabaseName() const { return databaseName_; }

    // "service_mgr", or "<server>:service_mgr" over TCP/IP.
    QString ServiceManagerName() const;
    bool Active() const { return static_cast<bool>(service_); }
    // Attaches to ServiceManagerName(); an attachment already open (perhaps
    // to another server) is closed first.
    void Attach();
    void Detach() noexcept;
    // Starts an action with a ready service request buffer.
    void Start(const QByteArray& request);
    // The next line of the running action's output, read into a 32000-byte
    // buffer; false once the action has no more output. A failure of the
    // action arrives here as an FbError. With whileSilent, the wait for the
    // line is cut into slices of about a second, and whileSilent runs after
    // every slice that ends without a whole line.
    bool NextLine(QString* line, const std::function<void()>& whileSilent = {});

private:
    QString serverName_;
    Protocol protocol_ = Protocol::Local;
    QStringList params_;
    QString databaseName_;
    Owned<Firebird::IService> service_;
};

// Lets go of the client library's engines; the program calls it once at exit.
void Shutdown() noexcept;

}  // namespace fb
