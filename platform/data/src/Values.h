#pragma once

// Shared helpers of the working sets: conversion of QVariant values to a field's type, and the
// typed key values that locate, key indexes and filters compare with column cells.

#include "sup/data/Column.h"
#include "sup/data/Field.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>

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

quint64 hashBytes(QByteArrayView v, quint64 seed = 0);
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

// Splits a ";"-separated field list, dropping blanks around names.
QStringList splitFieldList(const QString& list);

} // namespace sup::data::detail
