#include "records/windows_1252.h"

#include <array>

namespace oxtiva
{

namespace
{

// Code points of the bytes 0x80 to 0x9F; 0 marks the five bytes the code page leaves unused.
constexpr std::array<char16_t, 32> HighControlRange = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char FromHighControlRange(char16_t code)
{
    for (std::size_t i = 0; i < HighControlRange.size(); ++i) {
        if (HighControlRange[i] == code) return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

char Windows1252Byte(QChar c)
{
    const char16_t code = c.unicode();
    // Apart from 0x80-0x9F the code page is Latin-1, which is the first 256 code points.
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
    return FromHighControlRange(code);
}

void AppendWindows1252(QByteArray& out, QStringView text)
{
    for (const QChar c : text)
        out.append(Windows1252Byte(c));
}

QString Windows1252Text(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        const bool high = code >= 0x80 && code < 0xA0;
        const char16_t mapped = high ? HighControlRange[code - 0x80] : char16_t(code);
        text.append(QChar(mapped != 0 ? mapped : char16_t(0xFFFD)));
    }
    return text;
}

} // namespace oxtiva
