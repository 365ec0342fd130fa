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

    quint64 rowHash(qsizetype r) const {
        quint64 h = 0;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            h = detail::mixHash(h, detail::hashCell(columns[k], r, defs[k].fixed, caseInsensitive));
        }
        return h;
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
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = set.d->physical(pos);
        d->rows[std::size_t(pos)] = r;
        d->positions[std::size_t(pos)] = pos;
        d->hashes[std::size_t(pos)] = d->rowHash(r);
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
    if (counts.empty()) {
        return counts;
    }
    const int n = target.recordCount();
    if (n > 0) {
        index.d->bind(target);
    }
    for (int pos = 0; pos < n; ++pos) {
        index.d->matchRow(target, target.physicalRow(pos),
                          [&](int e) { ++counts[std::size_t(e)]; });
    }
    return counts;
}

} // namespace sup::data
