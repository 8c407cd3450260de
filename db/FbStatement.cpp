#include "db/FbStatement.h"

#include <ibase.h>

#include <QDate>
#include <algorithm>
#include <cstring>

#include "db/FbCall.h"
#include "db/Win1252.h"

using namespace Firebird;

namespace fb {

using namespace detail;

namespace {

constexpr unsigned kSqlDialect = 3;
constexpr unsigned kCharsetWin1252 = 53;
constexpr unsigned kBlobSegment = 32000;

QByteArray Encode(const QString& text, const QString& what) {
    auto bytes = EncodeWin1252(text);
    if (!bytes)
        throw FbError(QStringLiteral("El texto %1 contiene caracteres que la base de datos no "
                                     "admite (WIN1252): %2")
                          .arg(what, text));
    return *bytes;
}

unsigned BaseType(unsigned type) { return type & ~1u; }

ISC_DATE EncodeDate(const QString& text) {
    QDate date = QDate::fromString(text.trimmed(), QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid()) date = QDate::fromString(text.trimmed(), QStringLiteral("d/M/yyyy"));
    if (!date.isValid())
        throw FbError(
            QStringLiteral("La fecha \"%1\" no es válida (se espera dd/mm/aaaa)").arg(text));
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
                   (sql[end].isLetterOrNumber() || sql[end] == QLatin1Char('_') ||
                    sql[end] == QLatin1Char('$')))
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
    if (!transaction_.InTransaction())
        throw FbError(QStringLiteral("La transacción no está activa"));
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
            auto* nullFlag =
                reinterpret_cast<short*>(msg.buffer.data() + msg.meta->getNullOffset(s, i));
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
                const QByteArray text =
                    Encode(*found[i], QStringLiteral("del parámetro ") + names[i]);
                ISC_QUAD id{};
                // Let go of unclosed, the blob is cancelled.
                Owned<IBlob> blob(attachment->createBlob(s, transaction, &id, 0, nullptr));
                for (qsizetype pos = 0; pos < text.size(); pos += kBlobSegment) {
                    const auto len =
                        static_cast<unsigned>(std::min<qsizetype>(kBlobSegment, text.size() - pos));
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
    BuildInput(input, statement_.get(), database_.Attachment(), transaction_.Handle(), paramNames_,
               values_);

    if (!outMeta_) {
        outMeta_ = OutputMetadata(statement_.get());
        columns_.clear();
        if (outMeta_) {
            Call([&](ThrowStatusWrapper* s) {
                const unsigned count = outMeta_->getCount(s);
                for (unsigned i = 0; i < count; ++i) {
                    const char* alias = outMeta_->getAlias(s, i);
                    columns_ << QString::fromUtf8(alias && *alias ? alias
                                                                  : outMeta_->getField(s, i));
                }
                outColumns_.clear();
                for (unsigned i = 0; i < count; ++i)
                    outColumns_.push_back({BaseType(outMeta_->getType(s, i)),
                                           outMeta_->getOffset(s, i), outMeta_->getNullOffset(s, i),
                                           outMeta_->getLength(s, i)});
                outBuffer_.assign(outMeta_->getMessageLength(s), 0);
            });
        }
    }
    row_.assign(columns_.size(), QString());
    rowNull_.assign(columns_.size(), true);
    pending_.assign(columns_.size(), false);

    const unsigned type = Call([&](ThrowStatusWrapper* s) { return statement_->getType(s); });
    const bool hasCursor =
        type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
    void* in = input.buffer.empty() ? nullptr : input.buffer.data();
    if (hasCursor) {
        cursor_.Reset(Call([&](ThrowStatusWrapper* s) {
            return statement_->openCursor(s, transaction_.Handle(), input.meta.get(), in,
                                          outMeta_.get(), 0);
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
    params.SetSql(
        QStringLiteral("select trim(rdb$parameter_name) from rdb$procedure_parameters "
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
    if (!placeholders.isEmpty())
        sql += QLatin1Char('(') + placeholders.join(QLatin1Char(',')) + QLatin1Char(')');
    statement_.SetSql(sql);
    statement_.ClearParams();
    for (int i = 0; i < names.size(); ++i)
        for (const auto& [n, v] : inputs_)
            if (n.compare(names[i], Qt::CaseInsensitive) == 0) statement_.SetParam(names[i], v);
    statement_.Execute();
}

QString StoredProc::Output(const QString& name) const { return statement_.Field(name); }

}  // namespace fb
