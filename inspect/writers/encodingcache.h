// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <cstring>

// Remembers how short texts were encoded, so that those that come again and
// again from the same characters (element and row names, the plug-in's
// shared numbers) are encoded once per walk. An entry is found by the
// address of the text's characters and used only while the characters there
// are still the same, so a reused address never brings back an old text, and
// nothing is assumed of where a text's characters live.
//
// Without it, --json on a file of 367,000 small elements takes 11 % more
// time (19 % more instructions); text output gains nothing measurable from
// it (bench/compare.sh, and callgrind's instruction counts).
//
// Encode is `char *(char *out, const char16_t *text, qsizetype size)`: it
// writes the encoding and returns its end.
template <char *(*Encode)(char *, const char16_t *, qsizetype)> class EncodingCache
{
public:
    static constexpr qsizetype MaxUnits = 16;
    static constexpr int MaxBytes = 48;
    // Bytes that put() may write past the encoding's end (and overwrite
    // later): the caller reserves them besides the encoding's worst case.
    static constexpr size_t Slack = MaxBytes;

    Q_ALWAYS_INLINE char *put(char *out, const char16_t *text, qsizetype size)
    {
        Entry &entry = m_entries[slot(text)];
        if (entry.text == text && entry.size == size && sameUnits(entry.units, text, size)) {
            std::memcpy(out, entry.bytes, MaxBytes);
            return out + entry.length;
        }
        char *end = Encode(out, text, size);
        if (size <= MaxUnits && end - out <= MaxBytes) {
            entry.text = text;
            entry.size = size;
            std::memset(entry.units, 0, sizeof entry.units);
            std::memcpy(entry.units, text, size_t(size) * 2);
            entry.length = quint8(end - out);
            std::memcpy(entry.bytes, out, size_t(end - out));
        }
        return end;
    }
    Q_ALWAYS_INLINE char *put(char *out, const QString &text)
    {
        return put(out, reinterpret_cast<const char16_t *>(text.constData()), text.size());
    }

private:
    struct Entry
    {
        const char16_t *text = nullptr;
        qsizetype size = -1;
        char16_t units[MaxUnits];
        char bytes[MaxBytes];
        quint8 length = 0;
    };
    static constexpr int SlotBits = 8;

    static size_t slot(const char16_t *text)
    {
        return size_t((std::uintptr_t(text) * 0x9E3779B97F4A7C15ull) >> (64 - SlotBits));
    }
    static quint64 load8(const char *p)
    {
        quint64 v;
        std::memcpy(&v, p, 8);
        return v;
    }
    static quint32 load4(const char *p)
    {
        quint32 v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static quint16 load2(const char *p)
    {
        quint16 v;
        std::memcpy(&v, p, 2);
        return v;
    }
    static bool sameUnits(const char16_t *kept, const char16_t *text, qsizetype size)
    {
        const auto *a = reinterpret_cast<const char *>(kept);
        const auto *b = reinterpret_cast<const char *>(text);
        const size_t bytes = size_t(size) * 2;
        // Short texts (row names such as "id", small numbers) in one or two
        // loads that may overlap, rather than unit by unit: --json of
        // many-blocks from 1,324.9M to 1,317.8M instructions.
        if (bytes < 8) {
            if (bytes >= 4)
                return load4(a) == load4(b) && load4(a + bytes - 4) == load4(b + bytes - 4);
            return bytes == 0 || load2(a) == load2(b);
        }
        for (size_t i = 0; i + 8 < bytes; i += 8) {
            if (load8(a + i) != load8(b + i))
                return false;
        }
        return load8(a + bytes - 8) == load8(b + bytes - 8);
    }

    Entry m_entries[size_t(1) << SlotBits];
};
