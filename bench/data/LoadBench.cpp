// Loading item packets, their memory, snapshot copies and deltas on the wire, each beside the
// peers it is judged against.

#include "Benchmarks.h"
#include "HeapCounter.h"
#include "Items.h"

#include "sup/data/PacketCodec.h"
#include "sup/data/WorkingSet.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QStandardItemModel>

#include <benchmark/benchmark.h>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace bench {

namespace {

// The QStandardItemModel peer: the same bytes read with QCborStreamReader, one QStandardItem
// per cell, a row appended at a time.
void loadStandardModel(const QByteArray& bytes, QStandardItemModel& model) {
    const std::vector<RowSlot>& layout = itemSlots();
    QCborStreamReader r(bytes);
    r.enterContainer();
    while (r.hasNext()) {
        const QString key = r.readString().data;
        r.readString();
        if (key != u"rows") {
            r.next();
            continue;
        }
        r.enterContainer();
        while (r.hasNext()) {
            QList<QStandardItem*> items;
            items.reserve(qsizetype(layout.size()));
            r.enterContainer();
            for (const RowSlot& s : layout) {
                auto* item = new QStandardItem;
                if (r.isNull()) {
                    r.next();
                } else if (s.type == FieldType::Text) {
                    QString text;
                    auto chunk = r.readString();
                    while (chunk.status == QCborStreamReader::Ok) {
                        text += chunk.data;
                        chunk = r.readString();
                    }
                    item->setData(text, Qt::DisplayRole);
                } else if (s.type == FieldType::Double) {
                    item->setData(r.toDouble(), Qt::DisplayRole);
                    r.next();
                } else {
                    item->setData(fromStoredMs(r.toInteger()), Qt::DisplayRole);
                    r.next();
                }
                items.append(item);
            }
            r.leaveContainer();
            model.appendRow(items);
        }
        r.leaveContainer();
    }
}

// The QVariant peer: what a Qt developer writes first, the whole document as QCborValue and a
// QVariant per cell.
std::vector<QVariantList> loadVariants(const QByteArray& bytes) {
    const QCborMap doc = QCborValue::fromCbor(bytes).toMap();
    const QCborArray rows = doc.value(u"rows"_s).toArray();
    const QCborArray fields = doc.value(u"fields"_s).toArray();
    std::vector<int> types;
    for (const QCborValue& f : fields) {
        types.push_back(int(f.toMap().value(u"type"_s).toInteger()));
    }
    std::vector<QVariantList> out;
    out.reserve(std::size_t(rows.size()));
    for (const QCborValue& row : rows) {
        const QCborArray cells = row.toArray();
        QVariantList values;
        values.reserve(cells.size());
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const QCborValue cell = cells.at(i);
            if (types[std::size_t(i)] == int(FieldType::DateTime) && cell.isInteger()) {
                values.append(fromStoredMs(cell.toInteger()));
            } else {
                values.append(cell.toVariant());
            }
        }
        out.push_back(std::move(values));
    }
    return out;
}

void loadWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        TWorkingSet set;
        set.loadFromPacket(decodePacket(f.bytes));
        benchmark::DoNotOptimize(set.recordCount());
    }
}

void loadDecodeOnly(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        const DataPacket p = decodePacket(f.bytes);
        benchmark::DoNotOptimize(p.rowCount());
    }
}

void loadFloor(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        const std::vector<ItemRow> rows = decodeToStructs(f.bytes);
        benchmark::DoNotOptimize(rows.data());
    }
}

void loadStandardItemModel(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        QStandardItemModel model;
        model.setColumnCount(int(itemSlots().size()));
        loadStandardModel(f.bytes, model);
        benchmark::DoNotOptimize(model.rowCount());
    }
}

void loadQVariant(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        const std::vector<QVariantList> rows = loadVariants(f.bytes);
        benchmark::DoNotOptimize(rows.data());
    }
}

// Heap per loaded row: the peak while decoding and loading, and what stays held. The input
// bytes exist before and are not counted.
void memoryWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    double peak = 0, held = 0;
    for (auto _ : state) {
        heap::mark();
        const std::size_t before = heap::inUse();
        {
            TWorkingSet set;
            set.loadFromPacket(decodePacket(f.bytes));
            held = double(heap::inUse() - before);
        }
        peak = double(heap::peakSinceMark());
    }
    state.counters["peak B/row"] = peak / double(f.rows);
    state.counters["B/row"] = held / double(f.rows);
}

void memoryStandardItemModel(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    double held = 0;
    for (auto _ : state) {
        heap::mark();
        const std::size_t before = heap::inUse();
        QStandardItemModel model;
        model.setColumnCount(int(itemSlots().size()));
        loadStandardModel(f.bytes, model);
        held = double(heap::inUse() - before);
    }
    state.counters["B/row"] = held / double(f.rows);
}

void snapshotWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet item;
    item.loadFromPacket(f.packet);
    changeTenPercent(item, f);
    TWorkingSet aux;
    for (auto _ : state) {
        aux.loadFromPacket(item.data());
        benchmark::DoNotOptimize(aux.recordCount());
    }
}

void snapshotVector(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        std::vector<ItemRow> copy = f.structs;
        benchmark::DoNotOptimize(copy.data());
    }
}

void deltaWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet item;
    item.loadFromPacket(f.packet);
    changeTenPercent(item, f);
    for (auto _ : state) {
        const QByteArray bytes = encodePacket(item.delta());
        benchmark::DoNotOptimize(bytes.data());
    }
}

void writeStructCell(QCborStreamWriter& w, const ItemRow& row, int field) {
    const RowSlot& s = itemSlots()[std::size_t(field)];
    if (row.isNull(field)) {
        w.appendNull();
        return;
    }
    const char* p = reinterpret_cast<const char*>(&row) + s.offset;
    switch (s.type) {
    case FieldType::Text:
        w.appendTextString(p, row.len[field]);
        break;
    case FieldType::Double: {
        double v;
        std::memcpy(&v, p, 8);
        w.append(v);
        break;
    }
    default: {
        qint64 v;
        std::memcpy(&v, p, 8);
        w.append(v);
        break;
    }
    }
}

// The peer: the changed rows' current and loaded values written with QCborStreamWriter.
void deltaStreamWriter(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    std::vector<ItemRow> current = f.structs;
    for (int r : f.changed) {
        changeStruct(current[std::size_t(r)]);
    }
    const int width = int(itemSlots().size());
    for (auto _ : state) {
        QByteArray bytes;
        bytes.reserve(qsizetype(f.changed.size()) * 2 * 300);
        {
            QCborStreamWriter w(&bytes);
            w.startArray(quint64(f.changed.size()));
            for (int r : f.changed) {
                w.startArray(quint64(1 + 2 * width));
                w.append(quint64(RowKind::Modified));
                for (int c = 0; c < width; ++c) {
                    writeStructCell(w, current[std::size_t(r)], c);
                }
                for (int c = 0; c < width; ++c) {
                    writeStructCell(w, f.structs[std::size_t(r)], c);
                }
                w.endArray();
            }
            w.endArray();
        }
        benchmark::DoNotOptimize(bytes.data());
    }
}

} // namespace

void registerLoadBenchmarks(const std::vector<int>& sizes) {
    for (int n : sizes) {
        timed("load/workingset", loadWorkingSet, n);
        timed("load/decode", loadDecodeOnly, n);
        timed("load/floor", loadFloor, n);
        timed("load/qvariant", loadQVariant, n);
        if (n <= 100000) {
            // About 6.6 KB a row: a million rows would take most of the machine.
            timed("load/qstandarditemmodel", loadStandardItemModel, n);
            once("memory/qstandarditemmodel", memoryStandardItemModel, n);
        }
        once("memory/workingset", memoryWorkingSet, n);
        timed("snapshot/workingset", snapshotWorkingSet, n);
        timed("snapshot/vector-copy", snapshotVector, n);
        timed("delta/workingset", deltaWorkingSet, n);
        timed("delta/qcborstreamwriter", deltaStreamWriter, n);
    }
}

} // namespace bench
