#pragma once
// A connection to one database and the transactions on it. Whatever lives on
// a connection or a transaction (statements, a transaction on its
// connection) registers itself, so that ending the one first ends the other.

#include <QString>
#include <QStringList>
#include <vector>

#include "db/FbCore.h"

namespace Firebird {
class IAttachment;
class ITransaction;
}  // namespace Firebird

namespace fb {

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

}  // namespace fb
