#include "db/ServerPath.h"

namespace serverpath {

QChar SeparatorOf(const QString& path) {
    const bool slashPath = path.startsWith(QLatin1Char('/')) ||
                           (path.contains(QLatin1Char('/')) && !path.contains(QLatin1Char('\\')));
    return slashPath ? QLatin1Char('/') : QLatin1Char('\\');
}

QString Join(const QString& directory, const QString& name) {
    return directory + SeparatorOf(directory) + name;
}

QString TrimTrailingSeparator(const QString& path) {
    const QChar separator = SeparatorOf(path);
    if (path.size() < 2 || !path.endsWith(separator)) return path;
    const QChar before = path.at(path.size() - 2);
    if (before == QLatin1Char(':') || before == separator) return path;
    return path.left(path.size() - 1);
}

QString LastComponent(const QString& path) {
    qsizetype cut = -1;
    for (QChar c : {QLatin1Char('\\'), QLatin1Char('/'), QLatin1Char(':')})
        cut = std::max(cut, path.lastIndexOf(c));
    return path.mid(cut + 1);
}

}  // namespace serverpath
