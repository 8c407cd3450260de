#include "db/FbClient.h"

#include "db/Win1252.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <QDate>

#include <algorithm>
#include <array>
#include <cstring>

using namespace Firebird;

namespace fb {

template <typename T>
void LetGo(T* object) noexcept {
    if constexpr (requires { object->release(); })
        object->release();
    else
        object->dispose();
}

template void LetGo(IAttachment*) noexcept;
template void LetGo(IService*) noexcept;
template void LetGo(ITransaction*) noexcept;
template void LetGo(IStatement*) noexcept;
template void LetGo(IResultSet*) noexcept;
template void LetGo(IMessageMetadata*) noexcept;
template void LetGo(IMetadataBuilder*) noexcept;
template void LetGo(IBlob*) noexcept;
template void LetGo(IXpbBuilder*) noexcept;
template void LetGo(IStatus*) noexcept;

namespace {

constexpr unsigned kSqlDialect = 3;
constexpr unsigned kCharsetWin1252 = 53;
constexpr unsigned kServiceBufferSize = 32000;
constexpr unsigned kBlobSegment = 32000;

IMaster* Master() {
    static IMaster* master = fb_get_master_interface();
    return master;
}

IUtil* Util() { return Master()->getUtilInterface(); }

IProvider* Provider() {
    static IProvider* provider = Master()->getDispatcher();
    return provider;
}

QString StatusText(IStatus* status) {
    std::array<char, 4096> buffer{};
    unsigned length = Util()->formatStatus(buffer.data(), buffer.size(), status);
    QByteArray bytes(buffer.data(), static_cast<qsizetype>(std::min<std::size_t>(length, buffer.size())));
    // File names travel as UTF-8; anything else the client says is ASCII.
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = DecodeWin1252(bytes);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char(' '))) text.chop(1);
    return text;
}

std::vector<std::intptr_t> StatusCodes(IStatus* status) {
    std::vector<std::intptr_t> codes;
    const std::intptr_t* v = status->getErrors();
    for (int i = 0; v && v[i] != isc_arg_end && i < 40;) {
        switch (v[i]) {
            case isc_arg_gds:
                codes.push_back(v[i + 1]);
                i += 2;
                break;
            case isc_arg_cstring:
                i += 3;
                break;
            default:
                i += 2;
        }
    }
    return codes;
}

FbError ErrorFrom(IStatus* status) { return FbError(StatusText(status), StatusCodes(status)); }

// Runs one client call with `status` (cleared first) and turns a failure
// into FbError. A caller that calls once per row keeps a status for it.
template <typename F>
auto CallWith(IStatus* status, F&& f) {
    status->init();
    ThrowStatusWrapper wrapper(status);
    try {
        return f(&wrapper);
    } catch (const FbException& e) {
        throw ErrorFrom(e.getStatus());
    }
}

// The same with a fresh status.
template <typename F>
auto Call(F&& f) {
    const Owned<IStatus> status(Master()->getStatus());
    return CallWith(status.get(), std::forward<F>(f));
}

QByteArray Encode(const QString& text, const QString& what) {
    auto bytes = EncodeWin1252(text);
    if (!bytes)
        throw FbError(QStringLiteral("El texto %1 contiene caracteres que la base de datos no "
                                     "admite (WIN1252): %2")
                          .arg(what, text));
    return *bytes;
}

// Splits "name=value"; the value may itself hold "=".
std::pair<QString, QString> SplitParam(const QString& param) {
    qsizetype eq = param.indexOf(QLatin1Char('='));
    if (eq < 0) return {param.trimmed().toLower(), QString()};
    return {param.left(eq).trimmed().toLower(), param.mid(eq + 1)};
}

class Builder {
public:
    explicit Builder(unsigned kind)
        : builder_(Call([&](ThrowStatusWrapper* s) {
              return Util()->getXpbBuilder(s, kind, nullptr, 0);
          })) {}
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    void String(unsigned char tag, const QByteArray& value) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertString(s, tag, value.constData()); });
    }
    void Tag(unsigned char tag) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertTag(s, tag); });
    }
    void Int(unsigned char tag, unsigned value) {
        Call([&](ThrowStatusWrapper* s) { builder_->insertInt(s, tag, static_cast<int>(value)); });
    }
    QByteArray Bytes() {
        return Call([&](ThrowStatusWrapper* s) {
            const unsigned char* buffer = builder_->getBuffer(s);
            unsigned length = builder_->getBufferLength(s);
            return QByteArray(reinterpret_cast<const char*>(buffer), length);
        });
    }

private:
    Owned<IXpbBuilder> builder_;
};

void InsertLoginParams(Builder& builder, const QStringList& params, bool database) {
    for (const QString& param : params) {
        auto [name, value] = SplitParam(param);
        if (name == u"user_name")
            builder.String(isc_dpb_user_name, value.toUtf8());
        else if (name == u"password")
            builder.String(isc_dpb_password, value.toUtf8());
        else if (database && name == u"lc_ctype")
            builder.String(isc_dpb_lc_ctype, value.toUtf8());
        else
            throw FbError(QStringLiteral("Parámetro de conexión desconocido: %1").arg(name));
    }
}

QString ProvidersConfig(const QString& providers) {
    return QStringLiteral("Providers=") + providers;
}

LocalProvider localProvider = LocalProvider::Embedded;

// Attaches by the name's kind: another computer through the network provider;
// a name without a host through the engine the installation chose. A refused
// login is a refusal: no other engine is tried.
template <typename Attach>
auto AttachLocalOrRemote(const QString& name, Attach&& attach) {
    if (IsRemoteName(name)) return attach(QStringLiteral("Remote"));
    return attach(localProvider == LocalProvider::Loopback ? QStringLiteral("Loopback")
                                                           : QStringLiteral("Engine12"));
}

unsigned BaseType(unsigned type) { return type & ~1u; }

ISC_DATE EncodeDate(const QString& text) {
    QDate date = QDate::fromString(text.trimmed(), QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid()) date = QDate::fromString(text.trimmed(), QStringLiteral("d/M/yyyy"));
    if (!date.isValid())
        throw FbError(QStringLiteral("La fecha \"%1\" no es válida (se espera dd/mm/aaaa)").arg(text));
    return Util()->encodeDate(date.year(), date.month(), date.day());
}

// "dd/mm/yyyy", written in place: the log browser reads one date a row.
void DecodeDateInto(QString& out, ISC_DATE value) {
    unsigned y = 0, m = 0, d = 0;
    Util()->decodeDate(value, &y, &m, &d);
    out.resize(10);
    char16_t* c = reinterpret_cast<char16_t*>(out.data());
    c[0] = u'0' + d / 10 % 10;
    c[1] = u'0' + d % 10;
    c[2] = u'/';
    c[3] = u'0' + m / 10 % 10;
    c[4] = u'0' + m % 10;
    c[5] = u'/';
    c[6] = u'0' + y / 1000 % 10;
    c[7] = u'0' + y / 100 % 10;
    c[8] = u'0' + y / 10 % 10;
    c[9] = u'0' + y % 10;
}

QString DecodeDate(ISC_DATE value) {
    QString text;
    DecodeDateInto(text, value);
    return text;
}

QString DecodeTime(ISC_TIME value) {
    unsigned h = 0, n = 0, s = 0, f = 0;
    Util()->decodeTime(value, &h, &n, &s, &f);
    return QStringLiteral("%1:%2:%3")
        .arg(h, 2, 10, QLatin1Char('0'))
        .arg(n, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

template <typename T>
T ReadAt(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

}  // namespace

// ---------------------------------------------------------------- FbError

FbError::FbError(const QString& text, std::vector<std::intptr_t> codes)
    : std::runtime_error(text.toStdString()), text_(text), codes_(std::move(codes)) {}

bool FbError::HasCode(std::intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool FbError::IsNetworkError() const {
    return HasCode(isc_network_error) || HasCode(isc_net_connect_err);
}

void SetLocalProvider(LocalProvider provider) { localProvider = provider; }
LocalProvider CurrentLocalProvider() { return localProvider; }

bool IsRemoteName(const QString& name) {
    qsizetype colon = name.indexOf(QLatin1Char(':'));
    if (colon <= 1) return false;  // no host, or a drive letter
    const QString host = name.left(colon);
    return !host.startsWith(QLatin1Char('/')) && !host.startsWith(QLatin1Char('\\')) &&
           !host.contains(QLatin1Char('\\'));
}

QByteArray BuildDatabaseParams(const QStringList& params, const QString& providers) {
    Builder builder(IXpbBuilder::DPB);
    InsertLoginParams(builder, params, true);
    builder.Tag(isc_dpb_utf8_filename);
    if (!providers.isEmpty()) builder.String(isc_dpb_config, ProvidersConfig(providers).toUtf8());
    return builder.Bytes();
}

QByteArray BuildServiceAttachParams(const QStringList& params, const QString& providers) {
    Builder builder(IXpbBuilder::SPB_ATTACH);
    InsertLoginParams(builder, params, false);
    builder.Tag(isc_spb_utf8_filename);
    if (!providers.isEmpty()) builder.String(isc_spb_config, ProvidersConfig(providers).toUtf8());
    return builder.Bytes();
}

QByteArray BuildTransactionParams(const QStringList& params) {
    Builder builder(IXpbBuilder::TPB);
    for (const QString& param : params) {
        const QString p = param.trimmed().toLower();
        if (p == u"concurrency") builder.Tag(isc_tpb_concurrency);
        else if (p == u"consistency") builder.Tag(isc_tpb_consistency);
        else if (p == u"read_committed") builder.Tag(isc_tpb_read_committed);
        else if (p == u"rec_version") builder.Tag(isc_tpb_rec_version);
        else if (p == u"no_rec_version") builder.Tag(isc_tpb_no_rec_version);
        else if (p == u"nowait") builder.Tag(isc_tpb_nowait);
        else if (p == u"wait") builder.Tag(isc_tpb_wait);
        else if (p == u"read") builder.Tag(isc_tpb_read);
        else if (p == u"write") builder.Tag(isc_tpb_write);
        else throw FbError(QStringLiteral("Parámetro de transacción desconocido: %1").arg(param));
    }
    return builder.Bytes();
}

QByteArray BuildBackupStartParams(const QString& database, const QString& backupFile,
                                  unsigned options, bool verbose) {
    Builder builder(IXpbBuilder::SPB_START);
    builder.Tag(isc_action_svc_backup);
    builder.String(isc_spb_dbname, database.toUtf8());
    builder.String(isc_spb_bkp_file, backupFile.toUtf8());
    builder.Int(isc_spb_options, options);
    if (verbose) builder.Tag(isc_spb_verbose);
    return builder.Bytes();
}

QByteArray BuildRestoreStartParams(const QString& backupFile, const QString& database,
                                   unsigned options, unsigned pageSize, unsigned buffers,
                                   bool verbose) {
    Builder builder(IXpbBuilder::SPB_START);
    builder.Tag(isc_action_svc_restore);
    builder.Int(isc_spb_options, options);
    if (verbose) builder.Tag(isc_spb_verbose);
    builder.Int(isc_spb_res_page_size, pageSize);
    builder.Int(isc_spb_res_buffers, buffers);
    builder.String(isc_spb_bkp_file, backupFile.toUtf8());
    builder.String(isc_spb_dbname, database.toUtf8());
    return builder.Bytes();
}

// ---------------------------------------------------------------- Database

Database::~Database() { Disconnect(); }

void Database::Connect() {
    Disconnect();
    const QByteArray name = name_.toUtf8();
    attachment_.Reset(AttachLocalOrRemote(name_, [&](const QString& providers) {
        const QByteArray dpb = BuildDatabaseParams(params_, providers);
        return Call([&](ThrowStatusWrapper* s) {
            return Provider()->attachDatabase(s, name.constData(), dpb.size(),
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

// ---------------------------------------------------------------- Statement

Statement::Statement(Database& database, Transaction& transaction)
    : database_(database), transaction_(transaction) {
    database_.Register(this);
    transaction_.Register(this);
}

Statement::~Statement() {
    ReleaseHandles();
    transaction_.Unregister(this);
    database_.Unregister(this);
}

void Statement::SetSql(const QString& sql) {
    if (sql == sql_) return;
    ReleaseHandles();
    sql_ = sql;
    // ":name" becomes "?" outside quoted texts and names.
    paramNames_.clear();
    QString rewritten;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            rewritten += c;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            rewritten += c;
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() &&
                   (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'))) {
            qsizetype end = i + 1;
            while (end < sql.size() &&
                   (sql[end].isLetterOrNumber() || sql[end] == QLatin1Char('_') || sql[end] == QLatin1Char('$')))
                ++end;
            paramNames_.push_back(sql.mid(i + 1, end - i - 1));
            rewritten += QLatin1Char('?');
            i = end - 1;
        } else {
            rewritten += c;
        }
    }
    preparedSql_ = Encode(rewritten, QStringLiteral("de la consulta"));
}

void Statement::SetParam(const QString& name, const QString& value) {
    for (auto& [n, v] : values_)
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    values_.emplace_back(name, value);
}

void Statement::ClearParams() { values_.clear(); }

void Statement::Prepare() {
    if (!transaction_.InTransaction()) throw FbError(QStringLiteral("La transacción no está activa"));
    statement_.Reset(Call([&](ThrowStatusWrapper* s) {
        return database_.Attachment()->prepare(s, transaction_.Handle(), preparedSql_.size(),
                                               preparedSql_.constData(), kSqlDialect,
                                               IStatement::PREPARE_PREFETCH_METADATA);
    }));
}

namespace {

// The input message: text values as VARCHAR in WIN1252 for the server to
// convert, except dates (converted here, day first) and blobs (written here).
struct InputMessage {
    Owned<IMessageMetadata> meta;
    std::vector<unsigned char> buffer;
};

void BuildInput(InputMessage& msg, IStatement* statement, IAttachment* attachment,
                ITransaction* transaction, const std::vector<QString>& names,
                const std::vector<std::pair<QString, QString>>& values) {
    const QString* found[256] = {};
    const unsigned count = static_cast<unsigned>(names.size());
    if (count > 256) throw FbError(QStringLiteral("La consulta tiene más de 256 parámetros"));
    std::vector<QByteArray> texts(count);
    Call([&](ThrowStatusWrapper* s) {
        const Owned<IMessageMetadata> described(statement->getInputMetadata(s));
        const Owned<IMetadataBuilder> builder(described->getBuilder(s));
        for (unsigned i = 0; i < count; ++i) {
            for (const auto& [n, v] : values)
                if (n.compare(names[i], Qt::CaseInsensitive) == 0) found[i] = &v;
            const unsigned type = BaseType(described->getType(s, i));
            if (!found[i] || type == SQL_TYPE_DATE || type == SQL_BLOB) continue;
            texts[i] = Encode(*found[i], QStringLiteral("del parámetro ") + names[i]);
            builder->setType(s, i, SQL_VARYING + 1);
            builder->setSubType(s, i, 0);
            builder->setScale(s, i, 0);
            builder->setCharSet(s, i, kCharsetWin1252);
            builder->setLength(s, i, std::max<unsigned>(1, static_cast<unsigned>(texts[i].size())));
        }
        msg.meta.Reset(builder->getMetadata(s));
        msg.buffer.assign(msg.meta->getMessageLength(s), 0);
        for (unsigned i = 0; i < count; ++i) {
            unsigned char* field = msg.buffer.data() + msg.meta->getOffset(s, i);
            auto* nullFlag = reinterpret_cast<short*>(msg.buffer.data() + msg.meta->getNullOffset(s, i));
            if (!found[i]) {
                *nullFlag = -1;
                continue;
            }
            *nullFlag = 0;
            const unsigned type = BaseType(msg.meta->getType(s, i));
            if (type == SQL_TYPE_DATE) {
                ISC_DATE date = EncodeDate(*found[i]);
                std::memcpy(field, &date, sizeof date);
            } else if (type == SQL_BLOB) {
                const QByteArray text = Encode(*found[i], QStringLiteral("del parámetro ") + names[i]);
                ISC_QUAD id{};
                // Let go of unclosed, the blob is cancelled.
                Owned<IBlob> blob(attachment->createBlob(s, transaction, &id, 0, nullptr));
                for (qsizetype pos = 0; pos < text.size(); pos += kBlobSegment) {
                    const auto len = static_cast<unsigned>(std::min<qsizetype>(kBlobSegment, text.size() - pos));
                    blob->putSegment(s, len, text.constData() + pos);
                }
                blob->close(s);
                blob.Forget();
                std::memcpy(field, &id, sizeof id);
            } else {
                const auto len = static_cast<unsigned short>(texts[i].size());
                std::memcpy(field, &len, sizeof len);
                std::memcpy(field + sizeof len, texts[i].constData(), len);
            }
        }
    });
}

// Output columns come back as text; dates, times and blobs are read natively.
Owned<IMessageMetadata> OutputMetadata(IStatement* statement) {
    return Call([&](ThrowStatusWrapper* s) {
        const Owned<IMessageMetadata> described(statement->getOutputMetadata(s));
        const unsigned count = described->getCount(s);
        if (count == 0) return Owned<IMessageMetadata>();
        const Owned<IMetadataBuilder> builder(described->getBuilder(s));
        for (unsigned i = 0; i < count; ++i) {
            const unsigned type = BaseType(described->getType(s, i));
            switch (type) {
                case SQL_VARYING:
                case SQL_TEXT:
                case SQL_TYPE_DATE:
                case SQL_TYPE_TIME:
                case SQL_TIMESTAMP:
                case SQL_BLOB:
                    break;
                default:
                    builder->setType(s, i, SQL_VARYING + 1);
                    builder->setSubType(s, i, 0);
                    builder->setScale(s, i, 0);
                    builder->setCharSet(s, i, 0);
                    builder->setLength(s, i, 64);
            }
        }
        return Owned<IMessageMetadata>(builder->getMetadata(s));
    });
}

QString ReadBlob(IAttachment* attachment, ITransaction* transaction, ISC_QUAD id) {
    return Call([&](ThrowStatusWrapper* s) {
        Owned<IBlob> blob(attachment->openBlob(s, transaction, &id, 0, nullptr));
        QByteArray bytes;
        thread_local std::vector<char> segment(kBlobSegment);
        for (;;) {
            unsigned length = 0;
            int result = blob->getSegment(s, segment.size(), segment.data(), &length);
            if (result == IStatus::RESULT_OK || result == IStatus::RESULT_SEGMENT)
                bytes.append(segment.data(), length);
            else
                break;
        }
        blob->close(s);
        blob.Forget();
        return DecodeWin1252(bytes);
    });
}

}  // namespace

void Statement::Execute() {
    Close();
    if (!statement_) Prepare();
    InputMessage input;
    BuildInput(input, statement_.get(), database_.Attachment(), transaction_.Handle(), paramNames_, values_);

    if (!outMeta_) {
        outMeta_ = OutputMetadata(statement_.get());
        columns_.clear();
        if (outMeta_) {
            Call([&](ThrowStatusWrapper* s) {
                const unsigned count = outMeta_->getCount(s);
                for (unsigned i = 0; i < count; ++i) {
                    const char* alias = outMeta_->getAlias(s, i);
                    columns_ << QString::fromUtf8(alias && *alias ? alias : outMeta_->getField(s, i));
                }
                outColumns_.clear();
                for (unsigned i = 0; i < count; ++i)
                    outColumns_.push_back({BaseType(outMeta_->getType(s, i)), outMeta_->getOffset(s, i),
                                           outMeta_->getNullOffset(s, i), outMeta_->getLength(s, i)});
                outBuffer_.assign(outMeta_->getMessageLength(s), 0);
            });
        }
    }
    row_.assign(columns_.size(), QString());
    rowNull_.assign(columns_.size(), true);
    pending_.assign(columns_.size(), false);

    const unsigned type = Call([&](ThrowStatusWrapper* s) { return statement_->getType(s); });
    const bool hasCursor = type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
    void* in = input.buffer.empty() ? nullptr : input.buffer.data();
    if (hasCursor) {
        cursor_.Reset(Call([&](ThrowStatusWrapper* s) {
            return statement_->openCursor(s, transaction_.Handle(), input.meta.get(), in, outMeta_.get(), 0);
        }));
    } else {
        Call([&](ThrowStatusWrapper* s) {
            statement_->execute(s, transaction_.Handle(), input.meta.get(), in, outMeta_.get(),
                                outMeta_ ? outBuffer_.data() : nullptr);
        });
        if (outMeta_) {
            ReadRow();
            singleRowPending_ = true;
        }
    }
}

bool Statement::Next() {
    if (singleRowPending_) {
        singleRowPending_ = false;
        return true;
    }
    if (!cursor_) return false;
    if (!fetchStatus_) fetchStatus_.Reset(Master()->getStatus());
    const int result = CallWith(fetchStatus_.get(), [&](ThrowStatusWrapper* s) {
        return cursor_->fetchNext(s, outBuffer_.data());
    });
    if (result != IStatus::RESULT_OK) {
        Close();
        return false;
    }
    ReadRow();
    return true;
}

void Statement::ReadRow() {
    // Only the NULL flags are read now; FieldRef decodes the rest.
    for (unsigned i = 0; i < row_.size(); ++i) {
        const bool isNull = ReadAt<short>(outBuffer_.data() + outColumns_[i].nullOffset) != 0;
        rowNull_[i] = isNull;
        pending_[i] = !isNull;
        if (isNull) row_[i].resize(0);
    }
}

void Statement::DecodeField(int index) const {
    const OutColumn& column = outColumns_[index];
    const unsigned char* field = outBuffer_.data() + column.offset;
    QString& text = row_[index];
    switch (column.type) {
        case SQL_VARYING:
            DecodeWin1252Into(text, reinterpret_cast<const char*>(field) + 2,
                              ReadAt<unsigned short>(field));
            break;
        case SQL_TEXT:
            DecodeWin1252Into(text, reinterpret_cast<const char*>(field),
                              static_cast<int>(column.length));
            break;
        case SQL_TYPE_DATE:
            DecodeDateInto(text, ReadAt<ISC_DATE>(field));
            break;
        case SQL_TYPE_TIME:
            text = DecodeTime(ReadAt<ISC_TIME>(field));
            break;
        case SQL_TIMESTAMP: {
            const auto ts = ReadAt<ISC_TIMESTAMP>(field);
            text = DecodeDate(ts.timestamp_date) + QLatin1Char(' ') + DecodeTime(ts.timestamp_time);
            break;
        }
        case SQL_BLOB:
            text = ReadBlob(database_.Attachment(), transaction_.Handle(), ReadAt<ISC_QUAD>(field));
            break;
        default:
            text.resize(0);
    }
}

int Statement::ColumnIndex(const QString& name) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    throw FbError(QStringLiteral("No existe el campo %1").arg(name));
}

void Statement::ReadPendingBlobs() noexcept {
    // Without its transaction a blob cannot be read any more: it reads as "".
    const bool readable = transaction_.InTransaction() && database_.Connected();
    for (int i = 0; i < static_cast<int>(pending_.size()); ++i) {
        if (!pending_[i] || outColumns_[i].type != SQL_BLOB) continue;
        pending_[i] = false;
        row_[i].resize(0);
        try {
            if (readable) DecodeField(i);
        } catch (const FbError&) {
            // Left empty.
        }
    }
}

QString Statement::Field(const QString& name) const { return FieldRef(ColumnIndex(name)); }

QString Statement::Field(int index) const { return FieldRef(index); }

void Statement::CheckFieldIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(row_.size()))
        throw FbError(QStringLiteral("No existe el campo número %1").arg(index));
}

const QString& Statement::FieldRef(int index) const {
    CheckFieldIndex(index);
    if (pending_[index]) {
        DecodeField(index);
        pending_[index] = false;
    }
    return row_[index];
}

QByteArrayView Statement::FieldBytes(int index) const {
    CheckFieldIndex(index);
    if (rowNull_[index]) return {};
    const OutColumn& column = outColumns_[index];
    const unsigned char* field = outBuffer_.data() + column.offset;
    if (column.type == SQL_VARYING) return {field + 2, ReadAt<unsigned short>(field)};
    return {field, static_cast<qsizetype>(column.length)};
}

bool Statement::FieldHoldsText(int index) const {
    const unsigned type = outColumns_.at(static_cast<size_t>(index)).type;
    return type == SQL_VARYING || type == SQL_TEXT;
}

bool Statement::FieldIsNull(const QString& name) const { return rowNull_.at(ColumnIndex(name)); }

void Statement::Close() noexcept {
    singleRowPending_ = false;
    if (!cursor_) return;
    try {
        Call([&](ThrowStatusWrapper* s) { cursor_->close(s); });
        cursor_.Forget();
    } catch (const FbError&) {
        cursor_.Reset();
    }
}

void Statement::ReleaseHandles() noexcept {
    // The values of the current row stay readable after the transaction.
    ReadPendingBlobs();
    Close();
    outMeta_.Reset();
    if (statement_) {
        try {
            Call([&](ThrowStatusWrapper* s) { statement_->free(s); });
            statement_.Forget();
        } catch (const FbError&) {
            statement_.Reset();
        }
    }
}

// ---------------------------------------------------------------- StoredProc

StoredProc::StoredProc(Database& database, Transaction& transaction, QString procedureName)
    : name_(std::move(procedureName)),
      database_(database),
      transaction_(transaction),
      statement_(database, transaction) {}

void StoredProc::SetParam(const QString& name, const QString& value) {
    for (auto& [n, v] : inputs_)
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    inputs_.emplace_back(name, value);
}

void StoredProc::ExecProc() {
    // The procedure's own parameter list decides the call, so that values
    // reach their parameters by name whatever their order.
    Statement params(database_, transaction_);
    params.SetSql(QStringLiteral(
        "select trim(rdb$parameter_name) from rdb$procedure_parameters "
        "where rdb$procedure_name = :name and rdb$parameter_type = 0 "
        "order by rdb$parameter_number"));
    params.SetParam(QStringLiteral("name"), name_.toUpper());
    params.Execute();
    QStringList placeholders;
    QStringList names;
    while (params.Next()) {
        // Named after the procedure's own parameters, so that an error about
        // a value names the parameter it was meant for.
        names << params.Field(0);
        placeholders << QLatin1Char(':') + names.last();
    }
    QString sql = QStringLiteral("execute procedure ") + name_;
    if (!placeholders.isEmpty()) sql += QLatin1Char('(') + placeholders.join(QLatin1Char(',')) + QLatin1Char(')');
    statement_.SetSql(sql);
    statement_.ClearParams();
    for (int i = 0; i < names.size(); ++i)
        for (const auto& [n, v] : inputs_)
            if (n.compare(names[i], Qt::CaseInsensitive) == 0)
                statement_.SetParam(names[i], v);
    statement_.Execute();
}

QString StoredProc::Output(const QString& name) const { return statement_.Field(name); }

// ---------------------------------------------------------------- Service

Service::~Service() { Detach(); }

QString Service::ServiceManagerName() const {
    if (protocol_ == Protocol::TcpIp) return serverName_ + QStringLiteral(":service_mgr");
    return QStringLiteral("service_mgr");
}

void Service::Attach() {
    Detach();
    const QString name = ServiceManagerName();
    const QByteArray nameBytes = name.toUtf8();
    service_.Reset(AttachLocalOrRemote(name, [&](const QString& providers) {
        const QByteArray spb = BuildServiceAttachParams(params_, providers);
        return Call([&](ThrowStatusWrapper* s) {
            return Provider()->attachServiceManager(s, nameBytes.constData(), spb.size(),
                                                    reinterpret_cast<const unsigned char*>(spb.constData()));
        });
    }));
}

void Service::Detach() noexcept {
    if (!service_) return;
    try {
        Call([&](ThrowStatusWrapper* s) { service_->detach(s); });
        service_.Forget();
    } catch (const FbError&) {
        service_.Reset();
    }
}

void Service::Start(const QByteArray& request) {
    if (!service_) throw FbError(QStringLiteral("El servicio no está conectado"));
    Call([&](ThrowStatusWrapper* s) {
        service_->start(s, request.size(), reinterpret_cast<const unsigned char*>(request.constData()));
    });
}

// How the server ends a query that carries a timeout (isc_info_svc_timeout,
// in whole seconds; the embedded engine and a server over TCP answer alike):
// after about a second without a whole line it answers isc_info_svc_line
// with the part of a line read so far (mostly nothing) followed by
// isc_info_svc_timeout, then isc_info_end. The end of the output is the same
// isc_info_svc_line of length 0 but without isc_info_svc_timeout. A partial
// line is kept and completed by the next query.
bool Service::NextLine(QString* line, const std::function<void()>& whileSilent) {
    if (!service_) throw FbError(QStringLiteral("Service not attached"));
    const unsigned char items[] = {isc_info_svc_line};
    const unsigned char slice[] = {isc_info_svc_timeout, 4, 0, 1, 0, 0, 0};
    const unsigned sliceLength = whileSilent ? sizeof slice : 0;
    std::vector<unsigned char> buffer(kServiceBufferSize, 0);
    QByteArray bytes;
    for (;;) {
        buffer[0] = isc_info_end;
        Call([&](ThrowStatusWrapper* s) {
            service_->query(s, sliceLength, sliceLength ? slice : nullptr, sizeof items, items,
                            buffer.size(), buffer.data());
        });
        if (buffer[0] != isc_info_svc_line) break;
        const unsigned length =
            std::min<unsigned>(buffer[1] | (buffer[2] << 8), kServiceBufferSize - 3);
        bytes.append(reinterpret_cast<const char*>(buffer.data()) + 3, length);
        const unsigned after = 3 + length;
        if (!whileSilent || after >= kServiceBufferSize || buffer[after] != isc_info_svc_timeout)
            break;
        whileSilent();
    }
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = DecodeWin1252(bytes);
    if (line) *line = text;
    return !bytes.isEmpty();
}

void Shutdown() noexcept {
    try {
        Call([&](ThrowStatusWrapper* s) { Provider()->shutdown(s, 0, fb_shutrsn_app_stopped); });
    } catch (const FbError&) {
    }
}

}  // namespace fb
