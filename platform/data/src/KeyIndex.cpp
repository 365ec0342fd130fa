#include "sup/data/KeyIndex.h"

#include "Values.h"
#include "WorkingSetImpl.h"

#include "sup/data/WorkingSet.h"

#include <algorithm>
#include <bit>
#include <limits>

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

    std::vector<std::vector<quint64>> fieldHashes; // per key field and entry, when kept

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
    template <typename Fn> void matchRow(const TWorkingSet& other, qsizetype r, Fn fn) const {
        const std::vector<Column>& oc = other.d->cur;
        if (!boundSameTypes) {
            QVariantList values;
            for (int f : boundFields) {
                values.append(oc[std::size_t(f)].value(r));
            }
            matchValues(values, fn);
            return;
        }
        quint64 h = 0;
        for (std::size_t k = 0; k < defs.size(); ++k) {
            const int f = boundFields[k];
            const bool trim = defs[k].fixed || other.d->fields[std::size_t(f)]->def().fixed;
            h = detail::mixHash(h, detail::hashCell(oc[std::size_t(f)], r, trim, caseInsensitive));
        }
        forEachMatch(
            h,
            [&](int e) {
                const qsizetype er = rows[std::size_t(e)];
                for (std::size_t k = 0; k < defs.size(); ++k) {
                    const int f = boundFields[k];
                    const bool trim = defs[k].fixed || other.d->fields[std::size_t(f)]->def().fixed;
                    if (!detail::cellsMatch(columns[k], er, defs[k].fixed, oc[std::size_t(f)], r,
                                            trim, caseInsensitive)) {
                        return false;
                    }
                }
                return true;
            },
            fn);
    }
};

KeyIndex::KeyIndex(const TWorkingSet& set, const QString& keyFields, bool caseInsensitive)
    : KeyIndex(set, keyFields, caseInsensitive, false) {}

KeyIndex::KeyIndex(const TWorkingSet& set, const QString& keyFields, bool caseInsensitive,
                   bool keepFieldHashes)
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
    const std::size_t nk = d->columns.size();
    if (keepFieldHashes) {
        d->fieldHashes.assign(nk, std::vector<quint64>(std::size_t(n)));
    }
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = set.d->physical(pos);
        d->rows[std::size_t(pos)] = r;
        d->positions[std::size_t(pos)] = pos;
        quint64 h = 0;
        for (std::size_t k = 0; k < nk; ++k) {
            const quint64 fh =
                detail::hashCell(d->columns[k], r, d->defs[k].fixed, caseInsensitive);
            if (keepFieldHashes) {
                d->fieldHashes[k][std::size_t(pos)] = fh;
            }
            h = detail::mixHash(h, fh);
        }
        d->hashes[std::size_t(pos)] = h;
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
    const KeyIndex index(probes, keyFields, caseInsensitive, true);
    std::vector<int> counts(std::size_t(index.size()), 0);
    const int n = target.recordCount();
    if (counts.empty() || n == 0) {
        return counts;
    }
    const KeyIndex::Impl& x = *index.d;
    x.bind(target);
    const std::vector<Column>& tc = target.d->cur;
    auto bump = [&](int e) {
        ++counts[std::size_t(e)];
    };
    if (!x.boundSameTypes) {
        for (int pos = 0; pos < n; ++pos) {
            x.matchRow(target, target.physicalRow(pos), bump);
        }
        return counts;
    }

    // Most target records match no probe. One key field, hashed alone into a bit table over
    // the probes, turns most of them away before the whole key is hashed. The field chosen is
    // the one that lets the fewest records of a sample of the target through.
    const std::size_t bits = std::bit_ceil(std::max<std::size_t>(1024, counts.size() * 16));
    const std::size_t mask = bits - 1;
    auto hit = [&](const std::vector<quint64>& table, quint64 h) {
        return (table[(h & mask) / 64] >> (h & 63)) & 1;
    };
    std::vector<std::vector<quint64>> tables(x.defs.size());
    std::vector<bool> trims;
    for (std::size_t k = 0; k < x.defs.size(); ++k) {
        trims.push_back(x.defs[k].fixed ||
                        target.d->fields[std::size_t(x.boundFields[k])]->def().fixed);
        tables[k].assign(bits / 64, 0);
        const bool same = trims[k] == x.defs[k].fixed; // the index's own field hashes will do
        for (std::size_t e = 0; e < x.rows.size(); ++e) {
            const quint64 h =
                same ? x.fieldHashes[k][e]
                     : detail::hashCell(x.columns[k], x.rows[e], trims[k], caseInsensitive);
            tables[k][(h & mask) / 64] |= quint64(1) << (h & 63);
        }
    }
    std::size_t bestField = 0;
    int bestPass = std::numeric_limits<int>::max();
    const int step = std::max(1, n / 1024);
    for (std::size_t k = 0; k < x.defs.size(); ++k) {
        const Column& c = tc[std::size_t(x.boundFields[k])];
        int pass = 0;
        for (int pos = 0; pos < n; pos += step) {
            pass += int(hit(tables[k], detail::hashCell(c, target.d->physical(pos), trims[k],
                                                        caseInsensitive)));
        }
        if (pass < bestPass) {
            bestPass = pass;
            bestField = k;
        }
    }
    const std::vector<quint64>& best = tables[bestField];
    const Column& pre = tc[std::size_t(x.boundFields[bestField])];
    const bool preTrim = trims[bestField];
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = target.d->physical(pos);
        const quint64 h = detail::hashCell(pre, r, preTrim, caseInsensitive);
        if (hit(best, h)) {
            x.matchRow(target, r, bump);
        }
    }
    return counts;
}

} // namespace sup::data
