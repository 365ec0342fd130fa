// Passes over a loaded item set as the screens make them: marking every item, the save's
// duplicate check, the changed-items filter and locate on the item key, each beside its peers.

#include "Benchmarks.h"
#include "Items.h"

#include "sup/data/KeyIndex.h"
#include "sup/data/WorkingSet.h"
#include "sup/data/WorkingSetModel.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace bench {

void changeTenPercent(TWorkingSet& set, const Fixture& f) {
    TField* qty = set.fieldByName(u"QTPROGENPEOL");
    TField* changed = set.fieldByName(u"ALTERADO");
    set.disableControls();
    for (int r : f.changed) {
        set.moveTo(r);
        set.edit();
        qty->setAsFloat(qty->asFloat() * 2 + 1);
        changed->setAsString(u"S");
        set.post();
    }
    set.enableControls();
}

void changeStruct(ItemRow& row) {
    row.qtprogenpeol = row.qtprogenpeol * 2 + 1;
    row.alterado[0] = 'S';
    row.len[kAlterado] = 1;
}

namespace {

// The screens' marking pass: edit, CALC = "S", post, for every record, refresh suspended.
void markAll(TWorkingSet& set) {
    TField* calc = set.fieldByName(u"CALC");
    set.disableControls();
    set.first();
    while (!set.eof()) {
        set.edit();
        calc->setAsString(u"S");
        set.post();
        set.next();
    }
    set.enableControls();
}

void markAllWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet set;
    for (auto _ : state) {
        state.PauseTiming();
        set.loadFromPacket(f.packet);
        state.ResumeTiming();
        markAll(set);
    }
    if (set.changeCount() != f.rows) {
        state.SkipWithError("the pass did not mark every record");
    }
}

void markAllAttached(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet set;
    set.loadFromPacket(f.packet);
    WorkingSetModel model;
    model.setDataSet(&set);
    QTableView view;
    view.setModel(&model);
    view.resize(1200, 800);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        set.loadFromPacket(f.packet);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        markAll(set);
    }
    if (set.changeCount() != f.rows || model.rowCount() != f.rows) {
        state.SkipWithError("the pass did not mark every record");
    }
}

// The Qt peer: the same rows in SQLite through a QSqlTableModel that holds its changes until
// submitted (OnManualSubmit).
QSqlDatabase itemDatabase(int rows) {
    const QString name = u"bench_items_%1"_s.arg(rows);
    if (QSqlDatabase::contains(name)) {
        return QSqlDatabase::database(name);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
    db.setDatabaseName(u":memory:"_s);
    if (!db.open()) {
        throw std::runtime_error(db.lastError().text().toStdString());
    }
    const FieldDefs defs = itemFields();
    QStringList cols;
    QStringList marks;
    for (const FieldDef& d : defs) {
        cols << d.name + (d.type == FieldType::Text     ? u" TEXT"_s
                          : d.type == FieldType::Double ? u" REAL"_s
                                                        : u" INTEGER"_s);
        marks << u"?"_s;
    }
    QSqlQuery q(db);
    q.exec(u"CREATE TABLE item (%1)"_s.arg(cols.join(u", ")));
    db.transaction();
    q.prepare(u"INSERT INTO item VALUES (%1)"_s.arg(marks.join(u", ")));
    const Fixture& f = fixture(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < defs.size(); ++c) {
            const Column& col = f.packet.column(c);
            q.bindValue(c, col.isNull(r)                         ? QVariant()
                           : defs[c].type == FieldType::DateTime ? QVariant(col.dateTimeMs(r))
                                                                 : col.value(r));
        }
        q.exec();
    }
    db.commit();
    return db;
}

void markAllSqlTableModel(benchmark::State& state) {
    const int rows = int(state.range(0));
    QSqlTableModel model(nullptr, itemDatabase(rows));
    model.setTable(u"item"_s);
    model.setEditStrategy(QSqlTableModel::OnManualSubmit);
    for (auto _ : state) {
        state.PauseTiming();
        model.revertAll();
        model.select();
        while (model.canFetchMore()) {
            model.fetchMore();
        }
        state.ResumeTiming();
        for (int r = 0; r < rows; ++r) {
            model.setData(model.index(r, kCalc), u"S"_s);
        }
    }
    if (!model.isDirty()) {
        state.SkipWithError("nothing was marked");
    }
}

// The save's duplicate check: the changed items (a filtered copy of the set) counted against
// the snapshot on the item key.
void duplicateCheck(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet item;
    item.loadFromPacket(f.packet);
    TWorkingSet aux;
    aux.loadFromPacket(item.data());
    changeTenPercent(item, f);
    const QString key = QString::fromLatin1(kItemKey);
    bool duplicate = false;
    for (auto _ : state) {
        TWorkingSet bloq;
        bloq.loadFromPacket(item.data());
        bloq.setFilter(u"[ALTERADO]=   'S'"_s);
        bloq.setFiltered(true);
        const std::vector<int> counts = countKeyMatches(bloq, aux, key);
        duplicate = std::any_of(counts.begin(), counts.end(), [](int c) { return c > 1; });
        benchmark::DoNotOptimize(duplicate);
        if (counts.size() != f.changed.size()) {
            state.SkipWithError("the filter did not keep the changed items");
        }
    }
    if (duplicate) {
        state.SkipWithError("a duplicate where there is none");
    }
}

std::string keyOf(const ItemRow& row) {
    std::string k;
    for (int field : {kCdFilDest, kCdFilLanc, kNrPedExol, kCdMarca, kCdProduto}) {
        const QByteArrayView t = textOf(row, field);
        k.append(t.data(), std::size_t(t.size()));
        k.push_back('\x1f');
    }
    k.append(reinterpret_cast<const char*>(&row.dtprogenpeol), sizeof row.dtprogenpeol);
    return k;
}

// Peer: a hash map from key to count over the snapshot rows, probed by each changed row.
void duplicateCheckHash(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    std::vector<ItemRow> current = f.structs;
    for (int r : f.changed) {
        changeStruct(current[std::size_t(r)]);
    }
    for (auto _ : state) {
        std::unordered_map<std::string, int> counts;
        counts.reserve(f.structs.size());
        for (const ItemRow& row : f.structs) {
            ++counts[keyOf(row)];
        }
        bool duplicate = false;
        for (const ItemRow& row : current) {
            if (row.alterado[0] == 'S' && counts[keyOf(row)] > 1) {
                duplicate = true;
            }
        }
        benchmark::DoNotOptimize(duplicate);
    }
}

void filterWalk(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet set;
    set.loadFromPacket(f.packet);
    changeTenPercent(set, f);
    TField* product = set.fieldByName(u"CDPRODUTO");
    qsizetype seen = 0;
    for (auto _ : state) {
        set.setFilter(u"[ALTERADO]=   'S'"_s);
        set.setFiltered(true);
        seen = 0;
        set.first();
        while (!set.eof()) {
            seen += product->utf8().size();
            set.next();
        }
        set.setFiltered(false);
        benchmark::DoNotOptimize(seen);
    }
    if (seen != qsizetype(f.changed.size()) * 7) {
        state.SkipWithError("the filter walked the wrong records");
    }
}

void filterPredicate(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    std::vector<ItemRow> rows = f.structs;
    for (int r : f.changed) {
        changeStruct(rows[std::size_t(r)]);
    }
    for (auto _ : state) {
        qsizetype seen = 0;
        for (const ItemRow& row : rows) {
            if (row.len[kAlterado] == 1 && row.alterado[0] == 'S') {
                seen += row.len[kCdProduto];
            }
        }
        benchmark::DoNotOptimize(seen);
    }
}

// Locate targets: 16 rows spread over the set, with their keys in lower case.
struct Target {
    int row;
    QVariantList values;
    QByteArray dest, lanc, order, brand, product;
    qint64 date;
};

std::vector<Target> locateTargets(const Fixture& f) {
    std::vector<Target> out;
    for (int k = 0; k < 16; ++k) {
        const int r = int((qint64(f.rows) * (2 * k + 1)) / 32);
        const ItemRow& row = f.structs[std::size_t(r)];
        Target t;
        t.row = r;
        const auto lower = [](QByteArrayView v) {
            return QString::fromUtf8(v).toLower();
        };
        t.dest = lower(textOf(row, kCdFilDest)).toUtf8();
        t.lanc = lower(textOf(row, kCdFilLanc)).toUtf8();
        t.order = lower(textOf(row, kNrPedExol)).toUtf8();
        t.brand = lower(textOf(row, kCdMarca)).toUtf8();
        t.product = lower(textOf(row, kCdProduto)).toUtf8();
        t.date = row.dtprogenpeol;
        t.values = {QString::fromUtf8(t.dest),  QString::fromUtf8(t.lanc),
                    QString::fromUtf8(t.order), fromStoredMs(t.date),
                    QString::fromUtf8(t.brand), QString::fromUtf8(t.product)};
        out.push_back(std::move(t));
    }
    return out;
}

void locateWorkingSet(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    TWorkingSet set;
    set.loadFromPacket(f.packet);
    const std::vector<Target> targets = locateTargets(f);
    const QString key = QString::fromLatin1(kItemKey);
    LocateOptions options;
    options.caseInsensitive = true;
    bool right = true;
    for (auto _ : state) {
        for (const Target& t : targets) {
            right = set.locate(key, t.values, options) && set.currentPosition() == t.row && right;
        }
    }
    if (!right) {
        state.SkipWithError("locate found the wrong records");
    }
}

// Case-insensitive equality of UTF-8 texts: ASCII folded byte by byte, anything else through
// QString.
bool sameIgnoringCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() == b.size()) {
        qsizetype i = 0;
        for (; i < a.size(); ++i) {
            const auto x = uchar(a[i]);
            const auto y = uchar(b[i]);
            if ((x | y) >= 0x80) {
                break;
            }
            const auto fold = [](uchar c) {
                return c >= 'A' && c <= 'Z' ? uchar(c + 32) : c;
            };
            if (x != y && fold(x) != fold(y)) {
                return false;
            }
        }
        if (i == a.size()) {
            return true;
        }
    }
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

void locateScan(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    const std::vector<Target> targets = locateTargets(f);
    bool right = true;
    for (auto _ : state) {
        for (const Target& t : targets) {
            int found = -1;
            for (std::size_t r = 0; r < f.structs.size(); ++r) {
                const ItemRow& row = f.structs[r];
                if (sameIgnoringCase(textOf(row, kCdFilDest), t.dest) &&
                    sameIgnoringCase(textOf(row, kCdFilLanc), t.lanc) &&
                    sameIgnoringCase(textOf(row, kNrPedExol), t.order) &&
                    row.dtprogenpeol == t.date &&
                    sameIgnoringCase(textOf(row, kCdMarca), t.brand) &&
                    sameIgnoringCase(textOf(row, kCdProduto), t.product)) {
                    found = int(r);
                    break;
                }
            }
            right = found == t.row && right;
        }
    }
    if (!right) {
        state.SkipWithError("the scan found the wrong records");
    }
}

} // namespace

void registerSetBenchmarks(const std::vector<int>& sizes) {
    for (int n : sizes) {
        timed("markall/workingset", markAllWorkingSet, n);
        timed("markall/floor", markAllFloor, n);
        timed("markall/attached", markAllAttached, n);
        timed("dupcheck/workingset", duplicateCheck, n);
        timed("dupcheck/hash", duplicateCheckHash, n);
        timed("filter/workingset", filterWalk, n);
        timed("filter/predicate", filterPredicate, n);
        timed("locate/workingset", locateWorkingSet, n);
        timed("locate/scan", locateScan, n);
    }
    // QSqlTableModel grows quadratically: it runs at small sizes only, beside the set there.
    for (int n : {5000, 10000}) {
        timed("markall/qsqltablemodel", markAllSqlTableModel, n);
        timed("markall/workingset", markAllWorkingSet, n);
    }
}

} // namespace bench
