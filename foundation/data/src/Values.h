#pragma once

// Shared helpers of the working sets: conversion of QVariant values to a field's type, and the
// typed key values that locate, key indexes and filters compare with column cells.

#include "sup/data/Column.h"
#include "sup/data/Field.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>

#include <cstring>

namespace sup::data::detail {

// Writes `value` into `column` at `row`, converted to the field's type. Texts for numbers and
// dates are read in the Brazilian form (parseNumber, parseDateTime); an empty text stores null
// in a non-text field. Throws std::invalid_argument with a Portuguese message.
void assignVariant(Column& column, qsizetype row, const FieldDef& def, const QVariant& value);

inline QByteArrayView trimBlanks(QByteArrayView v) {
    qsizetype n = v.size();
    while (n > 0 && v[n - 1] == ' ') {
        --n;
    }
    return v.first(n);
}

inline bool isAscii(QByteArrayView v) {
    for (char c : v) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Case-folded UTF-8 (ASCII letters lowered, others through QString::toCaseFolded).
QByteArray foldCase(QByteArrayView v);

namespace hashing {
__extension__ typedef unsigned __int128 Wide;
inline quint64 mum(quint64 a, quint64 b) {
    const Wide r = Wide(a) * b;
    return quint64(r) ^ quint64(r >> 64);
}
inline quint64 read8(const unsigned char* p) {
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}
inline quint64 read4(const unsigned char* p) {
    quint32 v;
    std::memcpy(&v, p, 4);
    return v;
}
constexpr quint64 k0 = 0xa0761d6478bd642full;
constexpr quint64 k1 = 0xe7037ed1a0b428dbull;
} // namespace hashing

// A fast 64-bit hash of a byte string (keys are short codes and names).
inline quint64 hashBytes(QByteArrayView v, quint64 seed = 0) {
    using namespace hashing;
    const auto* p = reinterpret_cast<const unsigned char*>(v.data());
    std::size_t n = std::size_t(v.size());
    quint64 s = seed ^ k0;
    quint64 a = 0;
    quint64 b = 0;
    if (n <= 16) {
        if (n >= 4) {
            const std::size_t mid = (n >> 3) << 2;
            a = (read4(p) << 32) | read4(p + mid);
            b = (read4(p + n - 4) << 32) | read4(p + n - 4 - mid);
        } else if (n > 0) {
            a = (quint64(p[0]) << 16) | (quint64(p[n >> 1]) << 8) | p[n - 1];
        }
    } else {
        std::size_t i = n;
        while (i > 16) {
            s = mum(read8(p) ^ k1, read8(p + 8) ^ s);
            p += 16;
            i -= 16;
        }
        a = read8(p + i - 16);
        b = read8(p + i - 8);
    }
    return mum(k1 ^ n, mum(a ^ k1, b ^ s));
}

inline quint64 mixHash(quint64 h, quint64 v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

// One key value converted to a field's type, ready to compare with cells of that field.
struct KeyValue {
    FieldType type = FieldType::Text;
    bool trim = false;       // drop trailing blanks (fixed texts)
    bool fold = false;       // ignore letter case
    bool partial = false;    // texts: prefix match
    bool null = false;       // non-text null
    bool impossible = false; // the value cannot be held by the field (a fraction for an integer)
    bool textAscii = true;
    QByteArray text;    // normalised (trimmed, folded)
    qint64 integer = 0; // Integer and DateTime (ms)
    double real = 0.0;
    bool boolean = false;
};

KeyValue keyFromVariant(const FieldDef& def, const QVariant& value, bool caseInsensitive,
                        bool partial); // throws std::invalid_argument
// The key of a cell of another column; `trim` applies when either side is a fixed text.
// `type` is the type the key is compared as (the indexed field's); the cell converts to it.
KeyValue keyFromCell(const Column& column, qsizetype row, FieldType type, bool trim,
                     bool caseInsensitive);

bool cellMatches(const Column& column, qsizetype row, const KeyValue& key);
quint64 hashCell(const Column& column, qsizetype row, bool trim, bool caseInsensitive);
quint64 hashKey(const KeyValue& key);
// Two cells of columns of the same type, compared like keys.
bool cellsMatch(const Column& a, qsizetype ra, bool trimA, const Column& b, qsizetype rb,
                bool trimB, bool caseInsensitive);

// Hashes the cells of one column like hashCell, reading fixed text slots in place.
class CellHasher {
public:
    CellHasher(const Column& column, bool trim, bool caseInsensitive)
        : column_(&column)
        , slots_(column.textSlots())
        , width_(std::size_t(column.textSlotSize()))
        , trim_(trim)
        , fold_(caseInsensitive) {}

    quint64 operator()(qsizetype row) const {
        if (slots_) {
            const char* s = slots_ + std::size_t(row) * width_;
            const auto len = static_cast<unsigned char>(s[0]);
            if (len != 255) {
                qsizetype n = len;
                if (trim_) {
                    while (n > 0 && s[n] == ' ') {
                        --n;
                    }
                }
                if (!fold_) {
                    return hashBytes(QByteArrayView(s + 1, n), 1);
                }
                char buf[256];
                bool ascii = true;
                for (qsizetype i = 0; i < n && ascii; ++i) {
                    ascii = static_cast<unsigned char>(s[1 + i]) < 0x80;
                    buf[i] = lowerAscii(s[1 + i]);
                }
                if (ascii) {
                    return hashBytes(QByteArrayView(buf, n), 1);
                }
            }
        }
        return hashCell(*column_, row, trim_, fold_);
    }

private:
    const Column* column_;
    const char* slots_;
    std::size_t width_;
    bool trim_;
    bool fold_;
};

// Splits a ";"-separated field list, dropping blanks around names.
QStringList splitFieldList(const QString& list);

} // namespace sup::data::detail
