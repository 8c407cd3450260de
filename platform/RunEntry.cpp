#include "platform/RunEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The start-with-the-session entry is an XDG autostart file: its presence
// stands for the Run value, its Exec line for the value's text.

namespace platform {
namespace {

QString ConfigHome() {
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        return QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome;
}

// The program as one argument of an Exec line. An argument holding a
// reserved character is quoted, with ", `, $ and \ escaped inside the
// quotes; "%" is doubled so that it is no field code. Then the escapes of
// every string value apply, which double the backslashes once more.
QString ExecArgument(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = program.isEmpty();
    for (const QChar c : program) {
        if (reserved.contains(c)) quote = true;
    }
    QString argument;
    if (quote) {
        argument += u'"';
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = program;
    }
    argument.replace(u'%', QStringLiteral("%%"));

    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
            case u'\\':
                value += QStringLiteral("\\\\");
                break;
            case u'\n':
                value += QStringLiteral("\\n");
                break;
            case u'\t':
                value += QStringLiteral("\\t");
                break;
            case u'\r':
                value += QStringLiteral("\\r");
                break;
            default:
                value += c;
        }
    }
    return value;
}

[[noreturn]] void FailToSet(const QString& name) {
    throw RunEntryError(QStringLiteral("Failed to set data for '%1'").arg(name).toStdString());
}

}  // namespace

QString RunEntryPath(const QString& name) {
    return QDir::cleanPath(ConfigHome() + QStringLiteral("/autostart/") + name +
                           QStringLiteral(".desktop"));
}

void WriteRunEntry(const QString& name, const QString& executablePath) {
    const QString path = RunEntryPath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) FailToSet(name);

    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Quillbase Backup\n"
                              "Exec=%1\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(ExecArgument(executablePath));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) FailToSet(name);
    file.write(entry.toUtf8());
    if (!file.commit()) FailToSet(name);
}

void DeleteRunEntry(const QString& name) {
    QFile::remove(RunEntryPath(name));  // missing, or not removable: no error
}

bool RunEntryExists(const QString& name) { return QFileInfo(RunEntryPath(name)).isFile(); }

}  // namespace platform
