#include "db/FbDatabase.h"

#include "db/FbCall.h"

using namespace Firebird;

namespace fb {

using namespace detail;

Database::~Database() { Disconnect(); }

void Database::Connect() {
    Disconnect();
    const QByteArray name = name_.toUtf8();
    attachment_.Reset(AttachLocalOrRemote(name_, [&](const QString& providers) {
        const QByteArray dpb = BuildDatabaseParams(params_, providers);
        return Call([&](ThrowStatusWrapper* s) {
            return Provider()->attachDatabase(
                s, name.constData(), dpb.size(),
                reinterpret_cast<const unsigned char*>(dpb.constData()));
        });
    }));
}

void Database::Disconnect() noexcept {
    if (!attachment_) return;
    for (Dependent* dependent : std::vector<Dependent*>(dependents_)) dependent->ReleaseHandles();
    try {
        Call([&](ThrowStatusWrapper* s) { attachment_->detach(s); });
        attachment_.Forget();
    } catch (const FbError&) {
        attachment_.Reset();  // the connection is gone; let go of the handle
    }
}

void Database::Register(Dependent* dependent) { dependents_.push_back(dependent); }

void Database::Unregister(Dependent* dependent) { std::erase(dependents_, dependent); }

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Database& database, QStringList params)
    : database_(database), params_(std::move(params)) {
    database_.Register(this);
}

Transaction::~Transaction() {
    RollbackQuietly();
    database_.Unregister(this);
}

void Transaction::StartTransaction() {
    if (transaction_) throw FbError(QStringLiteral("La transacción ya está activa"));
    if (!database_.Connected()) throw FbError(QStringLiteral("La base de datos no está conectada"));
    const QByteArray tpb = BuildTransactionParams(params_);
    transaction_.Reset(Call([&](ThrowStatusWrapper* s) {
        return database_.Attachment()->startTransaction(
            s, tpb.size(), reinterpret_cast<const unsigned char*>(tpb.constData()));
    }));
}

void Transaction::EndDependents() noexcept {
    for (Dependent* dependent : std::vector<Dependent*>(dependents_)) dependent->ReleaseHandles();
}

void Transaction::Commit() {
    if (!transaction_) throw FbError(QStringLiteral("La transacción no está activa"));
    EndDependents();
    Call([&](ThrowStatusWrapper* s) { transaction_->commit(s); });
    transaction_.Forget();
}

void Transaction::Rollback() {
    if (!transaction_) throw FbError(QStringLiteral("La transacción no está activa"));
    EndDependents();
    Call([&](ThrowStatusWrapper* s) { transaction_->rollback(s); });
    transaction_.Forget();
}

void Transaction::RollbackQuietly() noexcept {
    if (!transaction_) return;
    try {
        Rollback();
    } catch (const FbError&) {
        transaction_.Reset();
    }
}

void Transaction::ReleaseHandles() noexcept { RollbackQuietly(); }

void Transaction::Register(Dependent* dependent) { dependents_.push_back(dependent); }

void Transaction::Unregister(Dependent* dependent) { std::erase(dependents_, dependent); }

}  // namespace fb
