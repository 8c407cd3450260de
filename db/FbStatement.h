#pragma once
// Statements with named parameters and the rows they return, and calls of
// executable stored procedures. Values cross as text: parameters are bound
// from text and converted to the described type, columns are read back as
// text. Dates travel as "dd/mm/yyyy" and are converted here, never by the
// server, which would read such a text month first.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "db/FbDatabase.h"

namespace Firebird {
class IStatement;
class IResultSet;
class IMessageMetadata;
class IStatus;
}  // namespace Firebird

namespace fb {

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

}  // namespace fb
