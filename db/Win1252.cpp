#include "db/Win1252.h"

#include <array>

namespace fb {
namespace {

// 0x80..0x9F differ from Latin-1; 0 marks the five unassigned positions.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Every byte's character: Latin-1 but for 0x80..0x9F; an unassigned byte
// stands for itself.
constexpr std::array<char16_t, 256> kDecode = [] {
    std::array<char16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<char16_t>(b);
    for (unsigned b = 0x80; b < 0xA0; ++b)
        if (kHighControls[b - 0x80]) table[b] = kHighControls[b - 0x80];
    return table;
}();

std::optional<char> EncodeChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == c) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

}  // namespace

std::optional<QByteArray> EncodeWin1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        auto byte = EncodeChar(ch.unicode());
        if (!byte) return std::nullopt;
        out.append(*byte);
    }
    return out;
}

void DecodeWin1252Into(QString& out, const char* bytes, int length) {
    // resize() keeps the buffer of a text nobody else holds, so that a
    // column read row after row costs no allocation.
    out.resize(length);
    char16_t* chars = reinterpret_cast<char16_t*>(out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    for (int i = 0; i < length; ++i) chars[i] = kDecode[in[i]];
}

QString DecodeWin1252(const char* bytes, int length) {
    QString out;
    DecodeWin1252Into(out, bytes, length);
    return out;
}

QString DecodeWin1252(const QByteArray& bytes) {
    return DecodeWin1252(bytes.constData(), static_cast<int>(bytes.size()));
}

}  // namespace fb
