#pragma once

#include "sup/data/Column.h"
#include "sup/data/Field.h"

#include <QMetaType>
#include <QSharedDataPointer>
#include <QUuid>
#include <QVariant>

#include <vector>

namespace sup::data {

// What happened to a row since it was loaded.
enum class RowKind : quint8 { Unmodified = 0, Modified = 1, Inserted = 2, Deleted = 3 };

class DataPacketData;

// An immutable table value: field definitions and rows, held in typed columns.
// Copies are cheap (implicitly shared), so a packet travels in QVariant arguments in-process
// without copying its rows.
//
// A delta is a packet whose rows are the changed rows of a working set: each row has its kind,
// its current values (`column`) and its loaded values (`loadedColumn`; null for inserted rows),
// and the delta as a whole carries an identifier that lets the server refuse a second delivery.
class DataPacket {
public:
    DataPacket(); // the null packet: no fields, no rows
    DataPacket(const DataPacket&);
    DataPacket(DataPacket&&) noexcept;
    DataPacket& operator=(const DataPacket&);
    DataPacket& operator=(DataPacket&&) noexcept;
    ~DataPacket();
    DataPacket(FieldDefs fields, std::vector<Column> columns);
    static DataPacket makeDelta(FieldDefs fields, std::vector<Column> current,
                                std::vector<Column> loaded, std::vector<RowKind> kinds,
                                QUuid id = QUuid::createUuid());

    bool isNull() const; // no fields at all (never loaded)
    bool isDelta() const;
    const FieldDefs& fields() const;
    int fieldCount() const;
    qsizetype rowCount() const;
    int indexOf(QStringView name) const; // letter case ignored; -1 when absent

    const Column& column(int field) const;
    QVariant value(qsizetype row, int field) const;
    QVariant value(qsizetype row, QStringView field) const;

    // Delta only.
    QUuid deltaId() const;
    RowKind kind(qsizetype row) const;
    const Column& loadedColumn(int field) const;
    QVariant loadedValue(qsizetype row, int field) const;
    const std::vector<RowKind>& kinds() const;

    // Same fields, same rows, same values (and for deltas the same kinds and loaded values;
    // the identifier is not compared).
    bool operator==(const DataPacket& other) const;
    bool operator!=(const DataPacket& other) const { return !(*this == other); }

    qsizetype memoryBytes() const;

private:
    QSharedDataPointer<DataPacketData> d;
};

// Builds a packet row by row: add the fields, then append values per row.
class DataPacketBuilder {
public:
    explicit DataPacketBuilder(FieldDefs fields);
    void reserve(qsizetype rows);
    Column& column(int field) { return columns_[std::size_t(field)]; }
    // Appends one row from values in field order (missing trailing values are null).
    void appendRow(const QVariantList& values);
    DataPacket finish();

private:
    FieldDefs fields_;
    std::vector<Column> columns_;
};

} // namespace sup::data

Q_DECLARE_METATYPE(sup::data::DataPacket)
