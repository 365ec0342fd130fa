#pragma once

// UTF-8 checks for the packet decoder: texts arrive as raw bytes and are stored as they are,
// so they are validated (and their characters counted) on the way in.

#include <QtGlobal>

#include <cstring>

namespace sup::data {

// True when the `n` bytes are all ASCII; short texts (codes, flags) take a few instructions.
inline bool isAscii(const char* text, qsizetype n) {
    quint64 acc = 0;
    quint64 w;
    if (n >= 8) {
        qsizetype i = 0;
        for (; i + 8 <= n; i += 8) {
            std::memcpy(&w, text + i, 8);
            acc |= w;
        }
        std::memcpy(&w, text + n - 8, 8); // the tail, overlapping what was read
        acc |= w;
    } else if (n >= 4) {
        quint32 a, b;
        std::memcpy(&a, text, 4);
        std::memcpy(&b, text + n - 4, 4);
        acc = a | b;
    } else {
        for (qsizetype i = 0; i < n; ++i) {
            acc |= quint8(text[i]);
        }
    }
    return (acc & 0x8080808080808080ULL) == 0;
}

// Copies `n` bytes, with fixed-size moves for the short texts that fill most slots.
inline void copySmall(char* to, const char* from, qsizetype n) {
    if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0 && n < 4) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else if (n > 16) {
        std::memcpy(to, from, std::size_t(n));
    }
}

// Number of code points in `n` bytes of UTF-8, or -1 when the bytes are not valid UTF-8
// (overlong forms, surrogates, values past U+10FFFF and truncated sequences are invalid).
inline qsizetype utf8CodePoints(const char* text, qsizetype n) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = p + n;
    qsizetype count = 0;
    while (p != end) {
        // ASCII runs, eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) {
                break;
            }
            p += 8;
            count += 8;
        }
        if (p == end) {
            break;
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            ++count;
            continue;
        }
        int more;
        char32_t cp;
        char32_t min;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
            min = 0x10000;
        } else {
            return -1; // continuation byte, overlong lead (C0, C1) or past U+10FFFF
        }
        if (end - p <= more) {
            return -1;
        }
        for (int i = 1; i <= more; ++i) {
            const unsigned char k = p[i];
            if ((k & 0xC0) != 0x80) {
                return -1;
            }
            cp = (cp << 6) | (k & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return -1;
        }
        p += more + 1;
        ++count;
    }
    return count;
}

} // namespace sup::data
