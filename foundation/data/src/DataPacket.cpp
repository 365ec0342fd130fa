#include "sup/data/DataPacket.h"

#include <stdexcept>

namespace sup::data {

class DataPacketData : public QSharedData {
public:
    FieldDefs fields;
    std::vector<Column> columns;
    std::vector<Column> loaded;
    std::vector<RowKind> kinds;
    qsizetype rows = 0;
    bool delta = false;
    QUuid id;
};

namespace {

qsizetype checkColumns(const FieldDefs& fields, const std::vector<Column>& columns) {
    if (qsizetype(columns.size()) != fields.size()) {
        throw std::invalid_argument("pacote com número de colunas diferente do de campos");
    }
    qsizetype rows = columns.empty() ? 0 : columns.front().size();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].size() != rows) {
            throw std::invalid_argument("pacote com colunas de tamanhos diferentes");
        }
        if (columns[i].type() != fields[qsizetype(i)].type) {
            throw std::invalid_argument("pacote com coluna de tipo diferente do campo");
        }
    }
    return rows;
}

} // namespace

DataPacket::DataPacket()
    : d(new DataPacketData) {}
DataPacket::DataPacket(const DataPacket&) = default;
DataPacket::DataPacket(DataPacket&&) noexcept = default;
DataPacket& DataPacket::operator=(const DataPacket&) = default;
DataPacket& DataPacket::operator=(DataPacket&&) noexcept = default;
DataPacket::~DataPacket() = default;

DataPacket::DataPacket(FieldDefs fields, std::vector<Column> columns)
    : d(new DataPacketData) {
    d->rows = checkColumns(fields, columns);
    d->fields = std::move(fields);
    d->columns = std::move(columns);
}

DataPacket DataPacket::makeDelta(FieldDefs fields, std::vector<Column> current,
                                 std::vector<Column> loaded, std::vector<RowKind> kinds, QUuid id) {
    DataPacket p(fields, std::move(current));
    if (checkColumns(fields, loaded) != p.d->rows || qsizetype(kinds.size()) != p.d->rows) {
        throw std::invalid_argument("delta com partes de tamanhos diferentes");
    }
    p.d->loaded = std::move(loaded);
    p.d->kinds = std::move(kinds);
    p.d->delta = true;
    p.d->id = id;
    return p;
}

bool DataPacket::isNull() const {
    return d->fields.isEmpty();
}
bool DataPacket::isDelta() const {
    return d->delta;
}
const FieldDefs& DataPacket::fields() const {
    return d->fields;
}
int DataPacket::fieldCount() const {
    return int(d->fields.size());
}
qsizetype DataPacket::rowCount() const {
    return d->rows;
}
int DataPacket::indexOf(QStringView name) const {
    return indexOfField(d->fields, name);
}
const Column& DataPacket::column(int field) const {
    return d->columns.at(std::size_t(field));
}

QVariant DataPacket::value(qsizetype row, int field) const {
    return column(field).value(row);
}

QVariant DataPacket::value(qsizetype row, QStringView field) const {
    const int i = indexOf(field);
    return i < 0 ? QVariant() : value(row, i);
}

QUuid DataPacket::deltaId() const {
    return d->id;
}

RowKind DataPacket::kind(qsizetype row) const {
    return d->delta ? d->kinds.at(std::size_t(row)) : RowKind::Unmodified;
}

const Column& DataPacket::loadedColumn(int field) const {
    return d->delta ? d->loaded.at(std::size_t(field)) : column(field);
}

QVariant DataPacket::loadedValue(qsizetype row, int field) const {
    return loadedColumn(field).value(row);
}

const std::vector<RowKind>& DataPacket::kinds() const {
    return d->kinds;
}

bool DataPacket::operator==(const DataPacket& other) const {
    if (d == other.d) {
        return true;
    }
    if (d->fields != other.d->fields || d->rows != other.d->rows || d->delta != other.d->delta ||
        d->kinds != other.d->kinds) {
        return false;
    }
    for (std::size_t c = 0; c < d->columns.size(); ++c) {
        const Column& a = d->columns[c];
        const Column& b = other.d->columns[c];
        for (qsizetype r = 0; r < d->rows; ++r) {
            if (!a.cellEquals(r, b, r)) {
                return false;
            }
        }
        if (d->delta) {
            const Column& la = d->loaded[c];
            const Column& lb = other.d->loaded[c];
            for (qsizetype r = 0; r < d->rows; ++r) {
                if (!la.cellEquals(r, lb, r)) {
                    return false;
                }
            }
        }
    }
    return true;
}

qsizetype DataPacket::memoryBytes() const {
    qsizetype n = qsizetype(sizeof(DataPacketData));
    for (const Column& c : d->columns) {
        n += c.memoryBytes();
    }
    for (const Column& c : d->loaded) {
        n += c.memoryBytes();
    }
    return n + qsizetype(d->kinds.capacity());
}

DataPacketBuilder::DataPacketBuilder(FieldDefs fields)
    : fields_(std::move(fields)) {
    columns_.reserve(std::size_t(fields_.size()));
    for (const FieldDef& f : fields_) {
        columns_.emplace_back(f);
    }
}

void DataPacketBuilder::reserve(qsizetype rows) {
    for (Column& c : columns_) {
        c.reserve(rows);
    }
}

void DataPacketBuilder::appendRow(const QVariantList& values) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        columns_[i].appendValue(qsizetype(i) < values.size() ? values[qsizetype(i)] : QVariant());
    }
}

DataPacket DataPacketBuilder::finish() {
    DataPacket p(fields_, std::move(columns_));
    columns_.clear();
    for (const FieldDef& f : fields_) {
        columns_.emplace_back(f);
    }
    return p;
}

} // namespace sup::data
