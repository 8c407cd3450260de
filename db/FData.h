#pragma once
// The data module: the program's connections, transactions, statements, the
// log procedure and the backup service, shared by every window, and the one
// set of session rules by which they are opened, closed and reported.

#include "db/FbClient.h"

#include <QString>
#include <QStringList>

// The password of the database user, given to the program at start-up, and
// the fixed passwords of the second attempt.
inline const QString LongFallbackPassword = QStringLiteral("Qb#Copia10");  // ten characters
inline const QString ShortFallbackPassword = QStringLiteral("Qb#Copia");   // eight characters

// The password given to the program at start-up: ISC_PASSWORD when the
// program's environment holds it, else the value that the desktop session's
// environment files give it (SessionEnvironmentValue). A program started by
// the session (autostart, menu entry) has no terminal's environment.
QString StartupDatabasePassword();

// The value that the session's environment files give `name`: the files
// "*.conf" of $XDG_CONFIG_HOME/environment.d (~/.config/environment.d when
// unset), read in lexical order of their names, later assignments winning.
// Lines are NAME=VALUE; blank lines and lines starting with "#" or ";" are
// comments; a value in single quotes is taken as it stands, one in double
// quotes or unquoted keeps the character after a backslash. Null when no
// file assigns it.
QString SessionEnvironmentValue(const QString& name);

enum class SessionPrecondition {
    SkipWhenConnected,  // a connected connection is used as it is
    DisconnectFirst,    // a connected connection is closed and configured afresh
};

enum class ReportMode {
    Interactive,  // failures are shown in a message box
    Collecting,   // failures become lines of the run's remark list
};

class TData {
public:
    // Takes StartupDatabasePassword() when no password is given.
    TData();
    explicit TData(QString databasePassword);
    ~TData();
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    fb::Database IBDServidores;
    fb::Transaction IBTServidores{IBDServidores, {QStringLiteral("concurrency"), QStringLiteral("nowait")}};
    fb::Statement IBSQLServidores{IBDServidores, IBTServidores};

    fb::Database IBDEmpresas;
    fb::Transaction IBTEmpresas{IBDEmpresas, {QStringLiteral("concurrency"), QStringLiteral("nowait")}};
    fb::Statement IBSQLEmpresas{IBDEmpresas, IBTEmpresas};

    fb::Database IBDBackup;
    fb::Transaction IBTBackup{IBDBackup,
                              {QStringLiteral("read_committed"), QStringLiteral("rec_version"),
                               QStringLiteral("nowait")}};
    fb::StoredProc spAddLineasLog{IBDBackup, IBTBackup, QStringLiteral("ADDLINEASLOG")};
    fb::Statement IBSQLBackup{IBDBackup, IBTBackup};

    fb::Service IBBackup;

    const QString& DatabasePassword() const { return databasePassword_; }

    static QStringList DatabaseParams(const QString& password);
    static QStringList ServiceParams(const QString& password);

    bool OpenDatabaseSession(fb::Database& connection, const QString& databaseName,
                             const QString& fallbackPassword, SessionPrecondition precondition);
    // The same two attempts without a message box: after a failure, *failure
    // holds the text that ReportSessionFailure would show (for a check that
    // shows the answer in its own window).
    bool TryOpenDatabaseSession(fb::Database& connection, const QString& databaseName,
                                const QString& fallbackPassword, SessionPrecondition precondition,
                                QString* failure);
    // Connects with the parameter list the last open left in place; a failure
    // is an ordinary error of the caller.
    void ReopenDatabaseSession(fb::Database& connection, const QString& databaseName);
    void CloseDatabaseSession(fb::Database& connection, fb::Transaction& transaction) noexcept;
    // The service's DatabaseName names the database in a failure report;
    // remarks receives the line in collecting mode.
    bool AttachServiceSession(fb::Service& service, const QString& serverAddress, ReportMode mode,
                              QStringList* remarks = nullptr);
    void ReportSessionFailure(const QString& errorText, const QString& databaseName, ReportMode mode,
                              QStringList* remarks = nullptr);
    // The text of the interactive report of a failed open.
    static QString SessionFailureText(const QString& errorText, const QString& databaseName);

    // The read cycle of every reader: roll back a left-over transaction, start
    // one, run the statement, hand over each row, then roll back and close the
    // connection, also when reading fails part-way.
    template <typename OnRow>
    void ReadRows(fb::Database& connection, fb::Transaction& transaction, fb::Statement& statement,
                  OnRow&& onRow) {
        struct Closer {
            TData& data;
            fb::Database& connection;
            fb::Transaction& transaction;
            ~Closer() { data.CloseDatabaseSession(connection, transaction); }
        } closer{*this, connection, transaction};
        transaction.RollbackQuietly();
        transaction.StartTransaction();
        statement.Execute();
        while (statement.Next()) onRow(statement);
        transaction.Rollback();
    }

private:
    // The two attempts of an open; the second one's error text on failure.
    bool OpenSession(fb::Database& connection, const QString& databaseName,
                     const QString& fallbackPassword, SessionPrecondition precondition,
                     QString* errorText);

    QString databasePassword_;
};

// The program's one data module, created by the program entry after the main
// window.
extern TData* Data;
