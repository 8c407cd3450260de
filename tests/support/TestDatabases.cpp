#include "tests/support/TestDatabases.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtDebug>

#ifndef QB_DEFAULT_SOURCE_DIR
#define QB_DEFAULT_SOURCE_DIR ""
#endif

namespace {

constexpr int kProcessTimeoutMs = 120000;

struct ProcessResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProcessResult RunProcess(const QString& program, const QStringList& arguments,
                         const QProcessEnvironment& environment)
{
    ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    if (!process.waitForFinished(kProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QByteArrayLiteral("timed out\n") + process.readAllStandardError();
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString Describe(const QString& what, const QString& program, const QStringList& arguments,
                 const ProcessResult& result)
{
    QString text = what + QStringLiteral("\n  command: ") + program + QLatin1Char(' ')
        + arguments.join(QLatin1Char(' '));
    text += result.finished ? QStringLiteral("\n  exit code: %1").arg(result.exitCode)
                            : QStringLiteral("\n  did not finish");
    const QString err = QString::fromUtf8(result.err).trimmed();
    const QString out = QString::fromUtf8(result.out).trimmed();
    if (!err.isEmpty())
        text += QStringLiteral("\n  stderr: ") + err;
    if (!out.isEmpty())
        text += QStringLiteral("\n  stdout: ") + out;
    return text;
}

// The environment for Firebird tools: the machine's client configuration
// and no login taken over from the caller.
QProcessEnvironment ToolEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

QString IsqlProgram()
{
    const QString configured = qEnvironmentVariable("QB_ISQL");
    return configured.isEmpty() ? QStringLiteral("isql-fb") : configured;
}

// A plain path (or a Windows drive path) opens through the embedded engine.
bool IsServerName(const QString& database)
{
    const qsizetype colon = database.indexOf(QLatin1Char(':'));
    if (colon <= 0 || database.startsWith(QLatin1Char('/')))
        return false;
    return colon > 1;  // "C:\..." is a drive letter, not a host
}

}  // namespace

QString SourceDir()
{
    const QString fromEnvironment = qEnvironmentVariable("QB_SOURCE_DIR");
    return fromEnvironment.isEmpty() ? QString::fromUtf8(QB_DEFAULT_SOURCE_DIR) : fromEnvironment;
}

QString SchemaDir()
{
    return SourceDir() + QStringLiteral("/schema");
}

QString SqlLiteral(const QString& text)
{
    if (text.isNull())
        return QStringLiteral("NULL");
    // isql reads its script line by line and drops carriage returns, so
    // control characters go in as ASCII_CHAR(n).
    QStringList parts;
    QString plain;
    for (const QChar c : text) {
        if (c.unicode() < 32) {
            if (!plain.isEmpty())
                parts += QLatin1Char('\'') + plain + QLatin1Char('\'');
            plain.clear();
            parts += QStringLiteral("ASCII_CHAR(%1)").arg(c.unicode());
        } else if (c == QLatin1Char('\'')) {
            plain += QStringLiteral("''");
        } else {
            plain += c;
        }
    }
    if (!plain.isEmpty() || parts.isEmpty())
        parts += QLatin1Char('\'') + plain + QLatin1Char('\'');
    return parts.join(QStringLiteral(" || "));
}

bool MakeDatabase(const QString& path, const QStringList& sqlFiles, const QString& extraSql)
{
    const QString script = SourceDir() + QStringLiteral("/scripts/make-db.sh");
    if (!QFileInfo::exists(script)) {
        qWarning().noquote() << "MakeDatabase: scripts/make-db.sh not found in" << SourceDir()
                             << "(is QB_SOURCE_DIR set?)";
        return false;
    }

    QStringList arguments{script, QStringLiteral("-f"), path};
    arguments += sqlFiles;

    QTemporaryFile extra(QDir::tempPath() + QStringLiteral("/qb-extra-XXXXXX.sql"));
    if (!extraSql.isEmpty()) {
        if (!extra.open() || extra.write(extraSql.toUtf8() + "\nCOMMIT;\n") < 0 || !extra.flush()) {
            qWarning().noquote() << "MakeDatabase: cannot write" << extra.fileName();
            return false;
        }
        arguments += extra.fileName();
    }

    const QString program = QStringLiteral("bash");
    const ProcessResult result = RunProcess(program, arguments, ToolEnvironment());
    if (!result.finished || result.exitCode != 0) {
        qWarning().noquote() << Describe(QStringLiteral("MakeDatabase: cannot create ") + path,
                                         program, arguments, result);
        if (!extraSql.isEmpty())
            qWarning().noquote() << "  extra SQL:" << extraSql;
        return false;
    }
    return true;
}

bool MakeBackupLog(const QString& path)
{
    return MakeDatabase(path, {SchemaDir() + QStringLiteral("/backup.sql")});
}

bool MakeServerCatalogue(const QString& path, const QList<ServerCatalogueRow>& rows)
{
    QString inserts;
    for (const ServerCatalogueRow& row : rows) {
        inserts += QStringLiteral("INSERT INTO SERVIDORES (ALIAS, RUTAACCESO, DIRECCIONIP) VALUES (%1, %2, %3);\n")
                       .arg(SqlLiteral(row.alias), SqlLiteral(row.ruta), SqlLiteral(row.ip));
    }
    return MakeDatabase(path, {SchemaDir() + QStringLiteral("/servidores.sql")}, inserts);
}

bool MakeCompanyCatalogue(const QString& path, const QStringList& names)
{
    QString inserts;
    int number = 0;
    for (const QString& name : names) {
        ++number;
        // The other columns hold something, as in a real catalogue; the
        // program reads only NOMBREEMPRESA.
        inserts += QStringLiteral("INSERT INTO EMPRESAS (NOMBREEMPRESA, CIF, ALTA) VALUES (%1, 'B%2', DATE '2020-01-01' + %3);\n")
                       .arg(SqlLiteral(name))
                       .arg(number * 1234567, 8, 10, QLatin1Char('0'))
                       .arg(number);
    }
    return MakeDatabase(path, {SchemaDir() + QStringLiteral("/empresas.sql")}, inserts);
}

bool MakeCompanyDatabase(const QString& path)
{
    return MakeDatabase(path, {SchemaDir() + QStringLiteral("/company.sql")});
}

// isql-fb writes the output description of the statement (SQLDA_DISPLAY)
// and then, in list mode, every row as one line per column: the column's
// name padded to 32 characters, then its value. A text BLOB is a line with
// its id followed by its text and a line feed. A row ends with an empty
// line. A marker query after the statement closes the output, so the last
// value (which may span lines) has a known end.
QList<QStringList> SqlRows(const QString& database, const QString& sql, const QString& password,
                           QString* error)
{
    static const QString kEndMarker = QStringLiteral("QB_END_OF_ROWS");
    if (error)
        error->clear();

    QString statement = sql.trimmed();
    if (!statement.endsWith(QLatin1Char(';')))
        statement += QLatin1Char(';');
    const QString script = QStringLiteral("SET SQLDA_DISPLAY ON;\nSET LIST ON;\nSET BLOB ALL;\n")
        + statement
        + QStringLiteral("\nSET SQLDA_DISPLAY OFF;\nCOMMIT;\nSELECT 'x' AS ") + kEndMarker
        + QStringLiteral(" FROM RDB$DATABASE;\n");

    QTemporaryFile scriptFile(QDir::tempPath() + QStringLiteral("/qb-query-XXXXXX.sql"));
    if (!scriptFile.open() || scriptFile.write(script.toUtf8()) < 0 || !scriptFile.flush()) {
        const QString message = QStringLiteral("SqlRows: cannot write ") + scriptFile.fileName();
        qWarning().noquote() << message;
        if (error)
            *error = message;
        return {};
    }

    QProcessEnvironment environment = ToolEnvironment();
    QString login = password;
    if (login.isEmpty() && IsServerName(database))
        login = qEnvironmentVariable("QB_TEST_SERVER_PASSWORD");
    environment.insert(QStringLiteral("ISC_USER"), QStringLiteral("SYSDBA"));
    if (!login.isEmpty())
        environment.insert(QStringLiteral("ISC_PASSWORD"), login);

    const QString program = IsqlProgram();
    const QStringList arguments{QStringLiteral("-q"), QStringLiteral("-bail"), QStringLiteral("-ch"),
                                QStringLiteral("UTF8"), QStringLiteral("-i"), scriptFile.fileName(),
                                database};
    const ProcessResult result = RunProcess(program, arguments, environment);
    auto failed = [&](const QString& what) {
        const QString message = Describe(QStringLiteral("SqlRows: ") + what + QStringLiteral("\n  SQL: ") + sql,
                                         program, arguments, result);
        qWarning().noquote() << message;
        if (error)
            *error = message;
        return QList<QStringList>{};
    };
    if (!result.finished || result.exitCode != 0)
        return failed(QStringLiteral("isql-fb failed on ") + database);

    const QStringList lines = QString::fromUtf8(result.out).split(QLatin1Char('\n'));
    const auto header = [](const QString& name) { return name.leftJustified(31) + QLatin1Char(' '); };

    // The output description: "OUTPUT message field count: N", then three
    // lines per column, the first with the type, the second with the alias.
    static const QRegularExpression countLine(QStringLiteral("^OUTPUT message field count: (\\d+)$"));
    static const QRegularExpression aliasLine(QStringLiteral("^  :  name: .*  alias: (.*)$"));
    qsizetype at = 0;
    int columns = -1;
    for (; at < lines.size(); ++at) {
        const auto match = countLine.match(lines[at]);
        if (match.hasMatch()) {
            columns = match.captured(1).toInt();
            ++at;
            break;
        }
    }
    qsizetype end = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(header(kEndMarker)))
            end = i;
    }
    if (end == lines.size())
        return failed(QStringLiteral("isql-fb output has no end marker"));
    if (columns <= 0)
        return {};  // a statement without output

    QStringList headers;
    QList<bool> isBlob;
    for (int column = 0; column < columns; ++column, at += 3) {
        if (at + 2 >= end)
            return failed(QStringLiteral("cannot read the output description"));
        const auto alias = aliasLine.match(lines[at + 1]);
        if (!lines[at].contains(QStringLiteral("sqltype: ")) || !alias.hasMatch())
            return failed(QStringLiteral("cannot read the output description"));
        headers += header(alias.captured(1));
        isBlob += lines[at].contains(QStringLiteral("sqltype: 520 ")) || lines[at].contains(QStringLiteral("sqltype: 521 "));
    }

    QList<QStringList> rows;
    while (true) {
        while (at < end && lines[at].isEmpty())
            ++at;
        if (at >= end)
            break;
        QStringList row;
        for (int column = 0; column < columns; ++column) {
            if (at >= end || !lines[at].startsWith(headers[column]))
                return failed(QStringLiteral("unexpected line in isql-fb output: ") + (at < end ? lines[at] : QString()));
            const QString first = lines[at].mid(headers[column].size());
            ++at;
            // The lines up to the next column (or row, or the end).
            const bool last = column + 1 == columns;
            const QString& next = headers[last ? 0 : column + 1];
            qsizetype stop = at;
            while (stop < end && !lines[stop].startsWith(next))
                ++stop;
            QStringList more = lines.mid(at, stop - at);
            if (last) {
                // The empty line that ends the row, and before the marker
                // two more (the end of the statement, the marker's start).
                const int separators = stop == end ? 3 : 1;
                for (int i = 0; i < separators && !more.isEmpty() && more.last().isEmpty(); ++i)
                    more.removeLast();
            }
            at = stop;
            if (first == QStringLiteral("<null>") && more.isEmpty()) {
                row += QString();
                continue;
            }
            // A blob: its id, then the text and one line feed of isql's.
            if (!isBlob[column])
                more.prepend(first);
            QString value = more.join(QLatin1Char('\n'));
            if (value.isNull())
                value = QStringLiteral("");  // empty, but not NULL
            row += value;
        }
        rows += row;
    }
    return rows;
}

QStringList SqlQuery(const QString& database, const QString& sql, const QString& password, QString* error)
{
    QStringList joined;
    for (const QStringList& row : SqlRows(database, sql, password, error))
        joined += row.join(QLatin1Char('|'));
    return joined;
}

bool SqlExec(const QString& database, const QString& sql, const QString& password, QString* error)
{
    QString message;
    SqlRows(database, sql, password, &message);
    if (error)
        *error = message;
    return message.isEmpty();
}
