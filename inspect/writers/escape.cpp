// SPDX-License-Identifier: MIT
#include "escape.h"

#include "outputbuffer.h"

namespace {

const char Hex[] = "0123456789abcdef";

// Characters that reorder the text around them on screen.
inline bool isBidiControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

inline char *putU(char *p, char16_t c)
{
    *p++ = '\\';
    *p++ = 'u';
    *p++ = Hex[(c >> 12) & 15];
    *p++ = Hex[(c >> 8) & 15];
    *p++ = Hex[(c >> 4) & 15];
    *p++ = Hex[c & 15];
    return p;
}

// The characters that every escaper handles alike: plain ASCII is copied,
// the rest of Unicode is encoded, C1 controls and bidirectional controls
// are escaped. The ASCII characters that need care are left to Special,
// which returns where it wrote to.
template <typename Special>
char *escape(char *p, const char16_t *u, qsizetype size, const bool (&plain)[128], Special special)
{
    const char16_t *end = u + size;
    while (u != end) {
        const char16_t c = *u;
        if (c < 0x80) {
            if (plain[c])
                *p++ = char(c);
            else
                p = special(p, c);
            ++u;
        } else if (c < 0xA0 || isBidiControl(c)) {
            p = special(p, c);
            ++u;
        } else {
            u += OutputBuffer::writeUtf8(u, end, &p);
        }
    }
    return p;
}

struct Plain
{
    bool text[128] = {};
    bool json[128] = {};
    bool html[128] = {};
    constexpr Plain()
    {
        for (int c = 0x20; c < 0x7F; ++c) {
            text[c] = true;
            json[c] = c != '"' && c != '\\';
            html[c] = json[c] && c != '<' && c != '^';
        }
    }
};
constexpr Plain plain;

char *jsonSpecial(char *p, char16_t c)
{
    *p++ = '\\';
    switch (c) {
    case '"': *p++ = '"'; break;
    case '\\': *p++ = '\\'; break;
    case '\n': *p++ = 'n'; break;
    case '\r': *p++ = 'r'; break;
    case '\t': *p++ = 't'; break;
    default: return putU(p - 1, c);
    }
    return p;
}

} // namespace

char *Escape::text(char *out, const char16_t *units, qsizetype size)
{
    return escape(out, units, size, plain.text, [](char *p, char16_t c) {
        *p++ = '\\';
        switch (c) {
        case '\n': *p++ = 'n'; break;
        case '\t': *p++ = 't'; break;
        case '\r': *p++ = 'r'; break;
        default:
            if (c > 0xFF)
                return putU(p - 1, c);
            *p++ = 'x';
            *p++ = Hex[c >> 4];
            *p++ = Hex[c & 15];
        }
        return p;
    });
}

char *Escape::json(char *out, const char16_t *units, qsizetype size)
{
    return escape(out, units, size, plain.json, jsonSpecial);
}

char *Escape::jsonQuoted(char *out, const char16_t *units, qsizetype size)
{
    *out++ = '"';
    out = json(out, units, size);
    *out++ = '"';
    return out;
}

char *Escape::html(char *out, const char16_t *units, qsizetype size)
{
    return escape(out, units, size, plain.html, putU);
}

QByteArray Escape::forTerminal(QStringView text)
{
    QByteArray bytes(text.size() * qsizetype(MaxBytesPerUnit), Qt::Uninitialized);
    char *end
        = Escape::text(bytes.data(), reinterpret_cast<const char16_t *>(text.data()), text.size());
    bytes.truncate(end - bytes.data());
    return bytes;
}
