#include "sup/data/KeyIndex.h"

#include "ColumnData.h"
#include "Values.h"
#include "WorkingSetImpl.h"

#include "sup/data/WorkingSet.h"

#include <algorithm>
#include <bit>

namespace sup::data {

namespace {

// The cells of one row of a column, for prefetching: the storage line of the value and its
// null flag.
class CellLines {
public:
    explicit CellLines(const Column& column) {
        const ColumnData& c = ColumnAccess::data(column);
        nulls_ = c.nulls.empty() ? nullptr : c.nulls.data();
        switch (c.type) {
        case FieldType::Text:
            if (c.slot > 0) {
                set(c.bytes.data(), c.bytes.size(), std::size_t(c.slot));
            } else {
                set(c.strings.data(), c.strings.size(), sizeof(QByteArray));
            }
            break;
        case FieldType::Double:
            set(c.reals.data(), c.reals.size(), sizeof(double));
            break;
        case FieldType::Integer:
        case FieldType::DateTime:
            set(c.ints.data(), c.ints.size(), sizeof(qint64));
            break;
        case FieldType::Boolean:
            set(c.bools.data(), c.bools.size(), 1);
            break;
        }
    }

    void prefetch(qsizetype row) const {
        if (base_) {
            __builtin_prefetch(base_ + std::size_t(row) * width_);
        }
        if (nulls_) {
            __builtin_prefetch(nulls_ + row);
        }
    }

private:
    template <typename T> void set(const T* data, std::size_t n, std::size_t width) {
        base_ = n > 0 ? reinterpret_cast<const char*>(data) : nullptr;
        width_ = width;
    }

    const char* base_ = nullptr;
    std::size_t width_ = 0;
    const quint8* nulls_ = nullptr;
};

// A blocked Bloom filter over 64-bit hashes: the three bits of a hash lie in one word, so a
// look costs one cache line at most, however many hashes the filter holds.
class HashFilter {
public:
    explicit HashFilter(std::size_t hashes) {
        // About 16 bits per hash: about 1% of absent hashes pass.
        const std::size_t words = std::bit_ceil(std::max<std::size_t>(16, hashes / 4));
        words_.assign(words, 0);
        shift_ = 64 - std::countr_zero(words);
    }

    void put(quint64 h) { words_[word(h)] |= bits(h); }
    bool has(quint64 h) const {
        const quint64 b = bits(h);
        return (words_[word(h)] & b) == b;
    }
    void prefetch(quint64 h) const { __builtin_prefetch(words_.data() + word(h)); }

private:
    std::size_t word(quint64 h) const {
        return std::size_t((h * 0x9E3779B97F4A7C15ull) >> shift_) & (words_.size() - 1);
    }
    static quint64 bits(quint64 h) {
        return (quint64(1) << (h & 63)) | (quint64(1) << ((h >> 6) & 63)) |
               (quint64(1) << ((h >> 12) & 63));
    }

    std::vector<quint64> words_;
    int shift_ = 64;
};

} // namespace

struct KeyIndex::Impl {
    QStringList names;
    bool caseInsensitive = false;
    std::vector<Column> columns; // key columns of the indexed set (shared)
    std::vector<FieldDef> defs;
    std::vector<qsizetype> rows; // entry -> physical row
    std::vector<int> positions;  // entry -> visible position at build time
    std::vector<quint64> hashes; // entry -> key hash
    std::vector<int> table;      // open addressing, linear probing; -1 empty
    std::size_t mask = 0;

    // Field numbers of the key in the last set a probe came from.
    mutable const TWorkingSet* boundSet = nullptr;
    mutable quint64 boundLayout = 0;
    mutable std::vector<int> boundFields;
    mutable bool boundSameTypes = true;

    // Takes the key columns of `set`; `index` then takes its records.
    void open(const TWorkingSet& set, const QString& keyFields, bool ci) {
        names = detail::splitFieldList(keyFields);
        if (names.isEmpty()) {
            throw DataSetError(
                QStringLiteral("Índice de chave: a lista de campos está vazia.").toStdString());
        }
        caseInsensitive = ci;
        for (const QString& name : names) {
            const TField* f = set.fieldByName(name);
            columns.push_back(set.currentColumn(f->index()));
            defs.push_back(f->def());
        }
    }

    // The rows and key hashes of the visible records of `set` (opened before); positions and
    // the table are left to the caller and buildTable.
    void index(const TWorkingSet& set) {
        const int n = set.recordCount();
        rows.resize(std::size_t(n));
        hashes.resize(std::size_t(n));
        std::vector<detail::CellHasher> hashers;
        std::vector<CellLines> lines;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            hashers.emplace_back(columns[k], defs[k].fixed, caseInsensitive);
            lines.emplace_back(columns[k]);
        }
        // The records of a filtered set are spread over its columns: the cells of each are
        // asked for a few records ahead.
        constexpr int kAhead = 8;
        const bool spread = set.d->useVisible;
        for (int pos = 0; pos < n; ++pos) {
            if (spread && pos + kAhead < n) {
                const qsizetype ahead = set.d->physical(pos + kAhead);
                for (const CellLines& l : lines) {
                    l.prefetch(ahead);
                }
            }
            const qsizetype r = set.d->physical(pos);
            rows[std::size_t(pos)] = r;
            hashes[std::size_t(pos)] = keyHash(hashers, r);
        }
    }

    void buildTable() {
        const std::size_t cap = std::bit_ceil(std::max<std::size_t>(16, rows.size() * 2));
        table.assign(cap, -1);
        mask = cap - 1;
        for (std::size_t e = 0; e < rows.size(); ++e) {
            insert(int(e));
        }
    }

    void insert(int entry) {
        std::size_t i = std::size_t(hashes[std::size_t(entry)]) & mask;
        while (table[i] >= 0) {
            i = (i + 1) & mask;
        }
        table[i] = entry;
    }

    // Calls fn(entry) for each entry whose key equals the probe, as decided by `same(entry)`.
    template <typename Same, typename Fn> void forEachMatch(quint64 h, Same same, Fn fn) const {
        if (table.empty()) {
            return;
        }
        std::size_t i = std::size_t(h) & mask;
        while (table[i] >= 0) {
            const int e = table[i];
            if (hashes[std::size_t(e)] == h && same(e)) {
                fn(e);
            }
            i = (i + 1) & mask;
        }
    }

    std::vector<detail::KeyValue> keysFromValues(const QVariantList& values) const {
        if (values.size() != names.size()) {
            throw DataSetError(
                QStringLiteral(
                    "Índice de chave: a chave tem %1 campo(s) e foram dados %2 valor(es).")
                    .arg(names.size())
                    .arg(values.size())
                    .toStdString());
        }
        std::vector<detail::KeyValue> keys;
        keys.reserve(columns.size());
        for (std::size_t k = 0; k < columns.size(); ++k) {
            try {
                keys.push_back(
                    detail::keyFromVariant(defs[k], values[qsizetype(k)], caseInsensitive, false));
            } catch (const std::invalid_argument& e) {
                throw DataSetError(QStringLiteral("Índice de chave: campo \"%1\": %2")
                                       .arg(defs[k].name, QString::fromStdString(e.what()))
                                       .toStdString());
            }
        }
        return keys;
    }

    template <typename Fn> void matchValues(const QVariantList& values, Fn fn) const {
        const std::vector<detail::KeyValue> keys = keysFromValues(values);
        quint64 h = 0;
        for (const detail::KeyValue& k : keys) {
            h = detail::mixHash(h, detail::hashKey(k));
        }
        forEachMatch(
            h,
            [&](int e) {
                const qsizetype r = rows[std::size_t(e)];
                for (std::size_t k = 0; k < keys.size(); ++k) {
                    if (!detail::cellMatches(columns[k], r, keys[k])) {
                        return false;
                    }
                }
                return true;
            },
            fn);
    }

    void bind(const TWorkingSet& other) const {
        if (boundSet == &other && boundLayout == other.d->layout) {
            return;
        }
        boundFields.clear();
        boundSameTypes = true;
        for (std::size_t k = 0; k < defs.size(); ++k) {
            const TField* f = other.fieldByName(defs[k].name); // throws for a missing field
            boundFields.push_back(f->index());
            if (f->dataType() != defs[k].type) {
                boundSameTypes = false;
            }
        }
        boundSet = &other;
        boundLayout = other.d->layout;
    }

    // Matches of the key of physical row `r` of `other`, bound beforehand.
    // Hashers over the bound set's key columns (same types), trimming where either side is a
    // fixed text.
    std::vector<detail::CellHasher> hashersOf(const TWorkingSet& other) const {
        std::vector<detail::CellHasher> out;
        for (std::size_t k = 0; k < defs.size(); ++k) {
            const auto f = std::size_t(boundFields[k]);
            out.emplace_back(other.d->cur[f], defs[k].fixed || other.d->fields[f]->def().fixed,
                             caseInsensitive);
        }
        return out;
    }

    static quint64 keyHash(const std::vector<detail::CellHasher>& hashers, qsizetype r) {
        quint64 h = 0;
        for (const detail::CellHasher& hash : hashers) {
            h = detail::mixHash(h, hash(r));
        }
        return h;
    }

    // Matches of the key of physical row `r` of `other` (bound beforehand, same types) whose
    // key hash is `h`.
    template <typename Fn>
    void matchHashedRow(const TWorkingSet& other, qsizetype r, quint64 h, Fn fn) const {
        forEachMatch(
            h, [&](int e) { return sameKey(other, r, e); }, fn);
    }

    // Whether physical row `r` of `other` (bound beforehand, same types) has the key of
    // entry `e`.
    bool sameKey(const TWorkingSet& other, qsizetype r, int e) const {
        const std::vector<Column>& oc = other.d->cur;
        const qsizetype er = rows[std::size_t(e)];
        for (std::size_t k = 0; k < defs.size(); ++k) {
            const auto f = std::size_t(boundFields[k]);
            const bool trim = defs[k].fixed || other.d->fields[f]->def().fixed;
            if (!detail::cellsMatch(columns[k], er, defs[k].fixed, oc[f], r, trim,
                                    caseInsensitive)) {
                return false;
            }
        }
        return true;
    }

    // Matches of the key of physical row `r` of `other`, bound beforehand.
    template <typename Fn> void matchRow(const TWorkingSet& other, qsizetype r, Fn fn) const {
        if (!boundSameTypes) {
            QVariantList values;
            for (int f : boundFields) {
                values.append(other.d->cur[std::size_t(f)].value(r));
            }
            matchValues(values, fn);
            return;
        }
        matchHashedRow(other, r, keyHash(hashersOf(other), r), fn);
    }
};

KeyIndex::KeyIndex(const TWorkingSet& set, const QString& keyFields, bool caseInsensitive)
    : d(std::make_unique<Impl>()) {
    d->open(set, keyFields, caseInsensitive);
    d->index(set);
    d->positions.resize(d->rows.size());
    for (std::size_t e = 0; e < d->rows.size(); ++e) {
        d->positions[e] = int(e);
    }
    d->buildTable();
}

KeyIndex::~KeyIndex() = default;
KeyIndex::KeyIndex(KeyIndex&&) noexcept = default;
KeyIndex& KeyIndex::operator=(KeyIndex&&) noexcept = default;

int KeyIndex::size() const {
    return int(d->rows.size());
}

QStringList KeyIndex::keyFields() const {
    return d->names;
}

int KeyIndex::count(const QVariantList& values) const {
    int n = 0;
    d->matchValues(values, [&](int) { ++n; });
    return n;
}

int KeyIndex::find(const QVariantList& values) const {
    int best = -1;
    d->matchValues(values, [&](int e) {
        const int p = d->positions[std::size_t(e)];
        if (best < 0 || p < best) {
            best = p;
        }
    });
    return best;
}

QList<int> KeyIndex::findAll(const QVariantList& values) const {
    QList<int> out;
    d->matchValues(values, [&](int e) { out.append(d->positions[std::size_t(e)]); });
    std::sort(out.begin(), out.end());
    return out;
}

int KeyIndex::count(const TWorkingSet& other, int position) const {
    d->bind(other);
    int n = 0;
    d->matchRow(other, other.physicalRow(position), [&](int) { ++n; });
    return n;
}

int KeyIndex::find(const TWorkingSet& other, int position) const {
    d->bind(other);
    int best = -1;
    d->matchRow(other, other.physicalRow(position), [&](int e) {
        const int p = d->positions[std::size_t(e)];
        if (best < 0 || p < best) {
            best = p;
        }
    });
    return best;
}

std::vector<int> countKeyMatches(const TWorkingSet& probes, const TWorkingSet& target,
                                 const QString& keyFields, bool caseInsensitive) {
    // Index the (usually few) probes and stream the target once through it.
    KeyIndex::Impl x;
    x.open(probes, keyFields, caseInsensitive);
    x.index(probes);
    std::vector<int> counts(x.rows.size(), 0);
    const int n = target.recordCount();
    if (counts.empty() || n == 0) {
        return counts;
    }
    x.bind(target);
    if (!x.boundSameTypes) {
        x.buildTable();
        for (int pos = 0; pos < n; ++pos) {
            x.matchRow(target, target.d->physical(pos), [&](int e) { ++counts[std::size_t(e)]; });
        }
        return counts;
    }
    // Most target records match no probe; the scan turns them away reading as few key fields
    // as it can. Filters over the probes hold the hash of the field with the most distinct
    // values, that hash mixed with the second field's, and the whole key's hash. A record
    // passes each filter before the next field is read, and the table of the probes is only
    // touched by records that pass all three.
    //
    // With many probes the filters, the table and the probes' rows outgrow the caches, so the
    // scan goes in batches: each step goes over the batch's survivors of the step before,
    // asking for the memory the next step reads (filter words, the survivors' other key cells,
    // table slots, the matching probes' cells) before anything reads it.
    const std::size_t nk = x.defs.size();
    std::vector<detail::CellHasher> probeHash;
    for (std::size_t k = 0; k < nk; ++k) {
        probeHash.emplace_back(x.columns[k], x.defs[k].fixed, caseInsensitive);
    }
    // Distinct values per field, estimated on a sample of the probes.
    std::vector<std::size_t> order(nk);
    std::vector<std::size_t> distinct(nk, 0);
    const std::size_t step = std::max<std::size_t>(1, x.rows.size() / 4096);
    for (std::size_t k = 0; k < nk; ++k) {
        order[k] = k;
        std::vector<quint64> sample(1024, 0); // 65536 bits
        for (std::size_t e = 0; e < x.rows.size(); e += step) {
            const quint64 h = probeHash[k](x.rows[e]);
            sample[(h & 65535) / 64] |= quint64(1) << (h & 63);
        }
        for (quint64 w : sample) {
            distinct[k] += std::size_t(std::popcount(w));
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t p, std::size_t q) { return distinct[p] > distinct[q]; });
    const std::size_t first = order[0];
    const std::size_t second = nk > 1 ? order[1] : first;

    // The table: open addressing with linear probing, each slot holding the high half of the
    // key hash beside the entry so that a look turns other keys away reading one line.
    struct Slot {
        quint32 check;
        qint32 entry; // -1 empty
    };
    const std::size_t cap = std::bit_ceil(std::max<std::size_t>(16, counts.size() * 2));
    const std::size_t mask = cap - 1;
    std::vector<Slot> table(cap, Slot{0, -1});
    HashFilter one(counts.size()), two(counts.size()), all(counts.size());
    for (std::size_t e = 0; e < x.rows.size(); ++e) {
        const quint64 h1 = probeHash[first](x.rows[e]);
        one.put(h1);
        two.put(detail::mixHash(h1, probeHash[second](x.rows[e])));
        const quint64 h = x.hashes[e];
        all.put(h);
        std::size_t i = std::size_t(h) & mask;
        while (table[i].entry >= 0) {
            i = (i + 1) & mask;
        }
        table[i] = Slot{quint32(h >> 32), qint32(e)};
    }

    const std::vector<detail::CellHasher> hashers = x.hashersOf(target);
    // The first filter is worth a look only when it turns enough records away.
    int sampled = 0;
    int passed = 0;
    for (int pos = 0; pos < n; pos += std::max(1, n / 1024)) {
        ++sampled;
        passed += int(one.has(hashers[first](target.d->physical(pos))));
    }
    const bool useOne = nk > 1 && passed * 2 < sampled;
    // The filter every record is looked up in: the first field's alone when it turns enough
    // away or is the whole key, else the first two fields'.
    const bool frontOne = useOne || nk == 1;
    const HashFilter& front = frontOne ? one : two;

    std::vector<CellLines> targetLines, probeLines;
    for (std::size_t k = 0; k < nk; ++k) {
        targetLines.emplace_back(target.d->cur[std::size_t(x.boundFields[k])]);
        probeLines.emplace_back(x.columns[k]);
    }
    struct Candidate {
        qsizetype row;
        quint64 h1, h2, front; // the first fields' hashes, the front filter's
    };
    struct Hashed {
        qsizetype row;
        quint64 hash;
    };
    struct Pair {
        qsizetype row;
        int entry;
    };
    constexpr int kBatch = 256;
    std::vector<Candidate> batch(kBatch), candidates(kBatch);
    std::vector<Hashed> hashed(kBatch);
    std::vector<Pair> pairs;
    for (int from = 0; from < n; from += kBatch) {
        const int to = std::min(n, from + kBatch);
        // The first field of every record (both first fields when one alone turns too few
        // away).
        std::size_t nb = 0;
        for (int pos = from; pos < to; ++pos) {
            const qsizetype r = target.d->physical(pos);
            Candidate c{r, hashers[first](r), 0, 0};
            if (!frontOne) {
                c.h2 = hashers[second](r);
                c.front = detail::mixHash(c.h1, c.h2);
            } else {
                c.front = c.h1;
            }
            front.prefetch(c.front);
            batch[nb++] = c;
        }
        std::size_t nc = 0;
        for (std::size_t b = 0; b < nb; ++b) {
            Candidate& c = batch[b];
            if (!front.has(c.front)) {
                continue;
            }
            if (useOne) {
                c.h2 = hashers[second](c.row);
                if (!two.has(detail::mixHash(c.h1, c.h2))) {
                    continue;
                }
            }
            candidates[nc++] = c;
            for (std::size_t k = 0; k < nk; ++k) {
                if (k != first && k != second) {
                    targetLines[k].prefetch(c.row);
                }
            }
        }
        // The whole key of the survivors.
        for (std::size_t i = 0; i < nc; ++i) {
            const Candidate& c = candidates[i];
            quint64 h = 0;
            for (std::size_t k = 0; k < nk; ++k) {
                const quint64 fh = k == first ? c.h1 : k == second ? c.h2 : hashers[k](c.row);
                h = detail::mixHash(h, fh);
            }
            all.prefetch(h);
            hashed[i] = Hashed{c.row, h};
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < nc; ++i) {
            const Hashed c = hashed[i];
            if (all.has(c.hash)) {
                __builtin_prefetch(table.data() + (std::size_t(c.hash) & mask));
                hashed[kept++] = c;
            }
        }
        // The probes of the same hash, then their cells compared.
        pairs.clear();
        for (std::size_t h = 0; h < kept; ++h) {
            const Hashed& c = hashed[h];
            for (std::size_t i = std::size_t(c.hash) & mask; table[i].entry >= 0;
                 i = (i + 1) & mask) {
                const int e = table[i].entry;
                if (table[i].check == quint32(c.hash >> 32) && x.hashes[std::size_t(e)] == c.hash) {
                    pairs.push_back({c.row, e});
                    for (const CellLines& lines : probeLines) {
                        lines.prefetch(x.rows[std::size_t(e)]);
                    }
                }
            }
        }
        for (const Pair& p : pairs) {
            if (x.sameKey(target, p.row, p.entry)) {
                ++counts[std::size_t(p.entry)];
            }
        }
    }
    return counts;
}

} // namespace sup::data
