#include "db/Installation.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

fb::LocalProvider InstallationLocalProvider(const QString& directory) {
#ifdef Q_OS_WIN
    // Windows reaches its local server through the local protocol, always.
    Q_UNUSED(directory);
    return fb::LocalProvider::Loopback;
#else
    QFile file(QDir(directory).filePath(kInstallationFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return fb::LocalProvider::Embedded;
    fb::LocalProvider provider = fb::LocalProvider::Embedded;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'#')) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0 || line.left(equals).trimmed().compare(u"LocalEngine", Qt::CaseInsensitive) != 0)
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        provider = value.compare(u"server", Qt::CaseInsensitive) == 0 ? fb::LocalProvider::Loopback
                                                                       : fb::LocalProvider::Embedded;
    }
    return provider;
#endif
}

void PrepareEmbeddedEngineLocks() {
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsSet("FIREBIRD_LOCK")) return;
    const QByteArray shared = "/tmp/firebird";
    if (!QFileInfo::exists(QString::fromLatin1(shared)) || access(shared.constData(), W_OK | X_OK) == 0)
        return;
    const QByteArray tmp = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
    const QByteArray own = tmp + "/firebird-" + QByteArray::number(getuid());
    // Only a folder of this user's own that nobody else can enter: another
    // user must not be able to prepare the locks of this user's engine.
    if (!platform::EnsurePrivateFolder(QFile::decodeName(own))) return;
    qputenv("FIREBIRD_LOCK", own);
#endif
}

void RestrictNewFiles() {
#ifndef Q_OS_WIN
    umask(077);
#endif
}
