#pragma once

// Storage of a Column, shared by the column code and the packet codec (which decodes straight
// into it). Not part of the library's public headers.

#include "sup/data/Column.h"

#include <QByteArray>
#include <QHash>
#include <QSharedData>

#include <cstring>
#include <vector>

namespace sup::data {

// Length byte of a text slot whose text lives in the overflow table.
constexpr quint8 kOverflow = 255;
// Longest bounded text (in characters) kept in fixed slots; longer sizes are unbounded storage.
constexpr int kMaxSlotText = 254;

class ColumnData : public QSharedData {
public:
    FieldType type = FieldType::Text;
    int textSize = 0;
    int slot = 0; // bytes per fixed text slot (length byte + text); 0 for unbounded texts
    qsizetype rows = 0;
    std::vector<quint8> nulls;             // 1 = null
    std::vector<double> reals;             // Double
    std::vector<qint64> ints;              // Integer and DateTime
    std::vector<quint8> bools;             // Boolean
    std::vector<char> bytes;               // bounded texts: `slot` bytes per row
    QHash<qsizetype, QByteArray> overflow; // bounded texts longer than their slot in UTF-8
    std::vector<QByteArray> strings;       // unbounded texts

    char* slotAt(qsizetype row) { return bytes.data() + std::size_t(row) * std::size_t(slot); }
    const char* slotAt(qsizetype row) const {
        return bytes.data() + std::size_t(row) * std::size_t(slot);
    }

    void resize(qsizetype n) {
        const auto un = std::size_t(n);
        nulls.resize(un, 1);
        switch (type) {
        case FieldType::Text:
            if (slot > 0) {
                bytes.resize(un * std::size_t(slot), 0);
                if (n < rows && !overflow.isEmpty()) {
                    for (auto it = overflow.begin(); it != overflow.end();) {
                        it = it.key() >= n ? overflow.erase(it) : std::next(it);
                    }
                }
            } else {
                strings.resize(un);
            }
            break;
        case FieldType::Double:
            reals.resize(un, 0.0);
            break;
        case FieldType::Integer:
        case FieldType::DateTime:
            ints.resize(un, 0);
            break;
        case FieldType::Boolean:
            bools.resize(un, 0);
            break;
        }
        rows = n;
    }

    void reserve(qsizetype n) {
        const auto un = std::size_t(n);
        nulls.reserve(un);
        switch (type) {
        case FieldType::Text:
            if (slot > 0) {
                bytes.reserve(un * std::size_t(slot));
            } else {
                strings.reserve(un);
            }
            break;
        case FieldType::Double:
            reals.reserve(un);
            break;
        case FieldType::Integer:
        case FieldType::DateTime:
            ints.reserve(un);
            break;
        case FieldType::Boolean:
            bools.reserve(un);
            break;
        }
    }

    void writeUtf8(qsizetype row, const char* p, qsizetype n) {
        if (slot > 0) {
            char* s = slotAt(row);
            if (n <= slot - 1) {
                if (quint8(s[0]) == kOverflow) {
                    overflow.remove(row);
                }
                s[0] = char(quint8(n));
                if (n > 0) {
                    std::memcpy(s + 1, p, std::size_t(n));
                }
            } else {
                s[0] = char(kOverflow);
                overflow.insert(row, QByteArray(p, n));
            }
        } else {
            strings[std::size_t(row)] = n > 0 ? QByteArray(p, n) : QByteArray();
        }
        nulls[std::size_t(row)] = 0;
    }
};

// Direct access to a column's storage for the codec. `data(Column&)` detaches a shared column.
struct ColumnAccess {
    static ColumnData& data(Column& c) { return *c.d; }
    static const ColumnData& data(const Column& c) { return *c.d; }
};

} // namespace sup::data
