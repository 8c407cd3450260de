#pragma once
// Paths on a Quillbase server's computer. Servers usually run Windows, where
// the separator is "\"; a server whose paths are written with "/" (a path
// that begins with "/", or holds "/" and no "\") keeps "/". Every join, split
// and trim follows the separator that the path already uses.

#include <QChar>
#include <QString>

namespace serverpath {

QChar SeparatorOf(const QString& path);
// dir + separator + name, always adding the separator ("C:\" gives "C:\\x").
QString Join(const QString& directory, const QString& name);
// A final separator goes, unless the character before it is ":" or another
// separator, so "C:\Quillbase\" becomes "C:\Quillbase" and "C:\" stays.
// A path that is only a separator is never trimmed to nothing.
QString TrimTrailingSeparator(const QString& path);
// The text after the last "\", "/" or ":".
QString LastComponent(const QString& path);

}  // namespace serverpath
