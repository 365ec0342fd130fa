#pragma once

#include "sup/data/Field.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QSharedDataPointer>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

namespace sup::data {

class ColumnData;

// One typed column of values with a null flag per row. Copies share their storage until one
// of them is written (copy-on-write), so a packet, a working set and its snapshot can hold the
// same column without copying it.
//
// Texts of a bounded size (1..254 characters) live in fixed slots of `size` UTF-8 bytes plus a
// length byte; a text whose UTF-8 form is longer than its slot (accented or wide characters)
// goes to a per-column overflow table. Unbounded texts are kept as QStrings.
// Date-times are stored as milliseconds since 1899-12-30 00:00 (day 0), with no time zone.
class Column {
public:
    Column();
    Column(FieldType type, int textSize);
    explicit Column(const FieldDef& def)
        : Column(def.type, def.size) {}
    Column(const Column&);
    Column(Column&&) noexcept;
    Column& operator=(const Column&);
    Column& operator=(Column&&) noexcept;
    ~Column();

    FieldType type() const;
    int textSize() const;
    qsizetype size() const;
    void reserve(qsizetype rows);
    void resize(qsizetype rows); // new rows are null
    void clear();

    bool isNull(qsizetype row) const;
    void setNull(qsizetype row);

    // Typed reads. Reading a null gives the type's zero (a null QString, 0, false); an empty
    // text that is not null reads as an empty, non-null QString.
    QString text(qsizetype row) const;
    // The stored UTF-8 bytes of a text; valid until the column is next written.
    QByteArrayView utf8(qsizetype row) const;
    // The fixed text slots for tight read loops, valid until the column is next written:
    // textSlotSize() bytes per row (0 for unbounded texts and other types), the first byte the
    // length (0 for a null) and 255 for a text kept in the overflow table (read it with utf8).
    const char* textSlots() const;
    int textSlotSize() const;
    double real(qsizetype row) const;
    qint64 integer(qsizetype row) const;
    bool boolean(qsizetype row) const;
    qint64 dateTimeMs(qsizetype row) const;

    // Typed writes; each clears the null flag. The caller chooses the right one for the type.
    void setText(qsizetype row, QStringView value);
    void setUtf8(qsizetype row, QByteArrayView utf8); // bytes must be valid UTF-8
    void setReal(qsizetype row, double value);
    void setInteger(qsizetype row, qint64 value);
    void setBoolean(qsizetype row, bool value);
    void setDateTimeMs(qsizetype row, qint64 ms);

    // Appends; return the new row's index.
    qsizetype appendNull();
    qsizetype appendText(QStringView value);
    qsizetype appendUtf8(QByteArrayView utf8);
    qsizetype appendReal(double value);
    qsizetype appendInteger(qint64 value);
    qsizetype appendBoolean(bool value);
    qsizetype appendDateTimeMs(qint64 ms);

    // Generic access through QVariant: QString, qlonglong, double, bool, QDateTime (naive
    // local time); an invalid QVariant is null. setValue converts and throws std::invalid_argument
    // with a Portuguese message when the value does not convert to the column's type.
    QVariant value(qsizetype row) const;
    void setValue(qsizetype row, const QVariant& value);
    qsizetype appendValue(const QVariant& value);

    // Copies row `from` of `other` (same type) into row `to` of this column.
    void copyCell(qsizetype to, const Column& other, qsizetype from);
    // Appends row `from` of `other` (same type).
    qsizetype appendCell(const Column& other, qsizetype from);
    // Appends the rows `rows[0..n)` of `other` (same type), in that order.
    void appendCells(const Column& other, const qsizetype* rows, qsizetype n);
    // True when the two cells hold the same value (nulls equal each other only; doubles compare
    // numerically, except that NaN equals NaN).
    bool cellEquals(qsizetype row, const Column& other, qsizetype otherRow) const;

    // Bytes held by this column's storage (for memory figures).
    qsizetype memoryBytes() const;
    // True when both columns share one storage (no copy was made).
    bool sharesWith(const Column& other) const;

private:
    friend struct ColumnAccess; // the packet codec decodes straight into the storage
    QSharedDataPointer<ColumnData> d;
};

// Conversions between the stored milliseconds and QDateTime/QDate (naive local time). An invalid
// date or date-time gives 0; dates too far off for 64-bit milliseconds are clamped.
qint64 toStoredMs(const QDateTime& value);
qint64 toStoredMs(const QDate& value);
QDateTime fromStoredMs(qint64 ms);

} // namespace sup::data
