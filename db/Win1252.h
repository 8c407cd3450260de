#pragma once
// Text crosses into the databases in the Windows Latin-1 code page.

#include <QByteArray>
#include <QString>

#include <optional>

namespace fb {

// Encodes a text in WIN1252; nothing when a character has no place in that
// code page (the caller reports it: a silent '?' would change the data).
std::optional<QByteArray> EncodeWin1252(const QString& text);
QString DecodeWin1252(const QByteArray& bytes);
QString DecodeWin1252(const char* bytes, int length);
// The same into an existing text, reusing its buffer when it can.
void DecodeWin1252Into(QString& out, const char* bytes, int length);

}  // namespace fb
