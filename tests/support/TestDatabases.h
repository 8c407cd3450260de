#pragma once
// Databases for tests, made from schema/ by scripts/make-db.sh through the
// embedded engine, and read back with isql-fb.
//
// Every Make* function replaces an existing file (tests make their
// databases in scratch folders), returns false on failure and then prints
// the whole story (command, exit code, isql's messages) with qWarning, so
// that QVERIFY(MakeBackupLog(path)) fails with a readable log.
//
// The scripts are found through the environment variable QB_SOURCE_DIR
// (set for every CTest test), else the source folder of this build.

#include <QList>
#include <QString>
#include <QStringList>

// One row of Servidores.gdb. A null QString (QString()) is stored as SQL
// NULL, an empty one (u""_s) as the empty text.
struct ServerCatalogueRow {
    QString alias;
    QString ruta;
    QString ip;
};

// The project's source folder and its schema/ folder.
QString SourceDir();
QString SchemaDir();

// Creates `path` and runs the given SQL files (UTF-8), then `extraSql`
// when not empty (UTF-8 too, one or more statements ending in ';').
bool MakeDatabase(const QString& path, const QStringList& sqlFiles, const QString& extraSql = {});

// Backup.fdb: table backuplog and procedure ADDLINEASLOG, no rows.
bool MakeBackupLog(const QString& path);
// Servidores.gdb with the given rows, in that order.
bool MakeServerCatalogue(const QString& path, const QList<ServerCatalogueRow>& rows);
// Empresas.gdb with one row per name (NOMBREEMPRESA), in that order.
bool MakeCompanyCatalogue(const QString& path, const QStringList& names);
// A company database (Quillbase.orv) with the sample content of
// schema/company.sql.
bool MakeCompanyDatabase(const QString& path);

// An SQL text literal: 'text' with quotes doubled, control characters
// (CR, LF, ...) as ASCII_CHAR(n); a null QString gives NULL.
QString SqlLiteral(const QString& text);

// Runs one SQL statement with isql-fb as SYSDBA, connection character set
// UTF8, and commits. `database` is a plain path (embedded engine, any
// password) or a server's name "127.0.0.2:/path", "127.0.0.3/3051:/path".
// An empty `password` means the variable QB_TEST_SERVER_PASSWORD (the
// shared test server's) for a server name.
//
// SqlRows gives the rows of a SELECT or the output of an EXECUTE
// PROCEDURE, each row a list of its column values as isql writes them
// (DATE as yyyy-mm-dd, TIMESTAMP as yyyy-mm-dd hh:mm:ss.ssss, CHAR padded);
// a NULL is a null QString, a text BLOB its whole text (line ends kept).
// A statement without output gives no rows. On failure: no rows, *error
// set (when given) and a qWarning.
QList<QStringList> SqlRows(const QString& database, const QString& sql,
                           const QString& password = {}, QString* error = nullptr);

// The same rows, each one text with the values joined by "|" (a NULL
// gives an empty value): "2026-12-09|21:30|[]Local".
QStringList SqlQuery(const QString& database, const QString& sql,
                     const QString& password = {}, QString* error = nullptr);

// Runs a statement for its effect (INSERT, UPDATE, DDL, ...); true on success.
bool SqlExec(const QString& database, const QString& sql,
             const QString& password = {}, QString* error = nullptr);
