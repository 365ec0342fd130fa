#include "sup/data/KeyIndex.h"

#include "Values.h"
#include "WorkingSetImpl.h"

#include "sup/data/WorkingSet.h"

#include <algorithm>
#include <bit>

namespace sup::data {

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
        const std::vector<Column>& oc = other.d->cur;
        forEachMatch(
            h,
            [&](int e) {
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
            },
            fn);
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
    d->names = detail::splitFieldList(keyFields);
    if (d->names.isEmpty()) {
        throw DataSetError(
            QStringLiteral("Índice de chave: a lista de campos está vazia.").toStdString());
    }
    d->caseInsensitive = caseInsensitive;
    for (const QString& name : d->names) {
        const TField* f = set.fieldByName(name);
        d->columns.push_back(set.currentColumn(f->index()));
        d->defs.push_back(f->def());
    }
    const int n = set.recordCount();
    d->rows.resize(std::size_t(n));
    d->positions.resize(std::size_t(n));
    d->hashes.resize(std::size_t(n));
    std::vector<detail::CellHasher> hashers;
    for (std::size_t k = 0; k < d->columns.size(); ++k) {
        hashers.emplace_back(d->columns[k], d->defs[k].fixed, caseInsensitive);
    }
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = set.d->physical(pos);
        d->rows[std::size_t(pos)] = r;
        d->positions[std::size_t(pos)] = pos;
        d->hashes[std::size_t(pos)] = Impl::keyHash(hashers, r);
    }
    const std::size_t cap = std::bit_ceil(std::max<std::size_t>(16, std::size_t(n) * 2));
    d->table.assign(cap, -1);
    d->mask = cap - 1;
    for (int e = 0; e < n; ++e) {
        d->insert(e);
    }
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
    const KeyIndex index(probes, keyFields, caseInsensitive);
    std::vector<int> counts(std::size_t(index.size()), 0);
    const int n = target.recordCount();
    if (counts.empty() || n == 0) {
        return counts;
    }
    const KeyIndex::Impl& x = *index.d;
    x.bind(target);
    auto bump = [&](int e) {
        ++counts[std::size_t(e)];
    };
    if (!x.boundSameTypes) {
        for (int pos = 0; pos < n; ++pos) {
            x.matchRow(target, target.d->physical(pos), bump);
        }
        return counts;
    }
    // Most target records match no probe; the scan turns them away reading as few key fields
    // as it can. Bit tables, small enough to stay in cache, hold over the probes: the hash of
    // the field with the most distinct values, that hash mixed with the second field's, and
    // the whole key's hash. A record passes each table before the next field is read, and the
    // index itself is only touched by records that pass all three.
    const std::size_t nk = x.defs.size();
    const std::size_t bits = std::bit_ceil(std::max<std::size_t>(1024, counts.size() * 8));
    const std::size_t mask = bits - 1;
    auto put = [&](std::vector<quint64>& t, quint64 h) {
        t[(h & mask) / 64] |= quint64(1) << (h & 63);
    };
    auto has = [&](const std::vector<quint64>& t, quint64 h) {
        return (t[(h & mask) / 64] >> (h & 63)) & 1;
    };
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
    std::vector<quint64> one(bits / 64, 0), two(bits / 64, 0), all(bits / 64, 0);
    for (std::size_t e = 0; e < x.rows.size(); ++e) {
        const quint64 h1 = probeHash[first](x.rows[e]);
        put(one, h1);
        put(two, detail::mixHash(h1, probeHash[second](x.rows[e])));
        put(all, x.hashes[e]);
    }

    const std::vector<detail::CellHasher> hashers = x.hashersOf(target);
    // The first table is worth a look only when it turns enough records away.
    int sampled = 0;
    int passed = 0;
    for (int pos = 0; pos < n; pos += std::max(1, n / 1024)) {
        ++sampled;
        passed += int(has(one, hashers[first](target.d->physical(pos))));
    }
    const bool useOne = nk > 1 && passed * 2 < sampled;
    std::vector<quint64> fh(nk);
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = target.d->physical(pos);
        fh[first] = hashers[first](r);
        if (useOne && !has(one, fh[first])) {
            continue;
        }
        if (nk > 1) {
            fh[second] = hashers[second](r);
            if (!has(two, detail::mixHash(fh[first], fh[second]))) {
                continue;
            }
        }
        quint64 h = 0;
        for (std::size_t k = 0; k < nk; ++k) {
            if (k != first && k != second) {
                fh[k] = hashers[k](r);
            }
            h = detail::mixHash(h, fh[k]);
        }
        if (has(all, h)) {
            x.matchHashedRow(target, r, h, bump);
        }
    }
    return counts;
}

} // namespace sup::data
