#pragma once

#include "sup/data/Column.h"
#include "sup/data/Field.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace sup::data {

class TWorkingSet;
class KeyIndex;

std::vector<int> countKeyMatches(const TWorkingSet& probes, const TWorkingSet& target,
                                 const QString& keyFields, bool caseInsensitive);

// A hash index over the visible records of a working set on a ";"-separated key list, built
// once in O(records); count and find then cost O(1) on average. The index holds the key
// columns as they were when it was built (they are shared, not copied), so later changes of the
// set do not show in it and cannot break it; positions are those of the set at build time.
//
// Key values compare like locate: converted to each field's type, texts optionally ignoring
// letter case, fixed texts without their trailing blanks, a null text equal to an empty one.
class KeyIndex {
public:
    KeyIndex(const TWorkingSet& set, const QString& keyFields, bool caseInsensitive = false);
    ~KeyIndex();
    KeyIndex(KeyIndex&&) noexcept;
    KeyIndex& operator=(KeyIndex&&) noexcept;

    int size() const; // records indexed
    QStringList keyFields() const;

    // Records whose key equals the values (one value per key field).
    int count(const QVariantList& values) const;
    int find(const QVariantList& values) const;           // first position, -1 when none
    QList<int> findAll(const QVariantList& values) const; // positions in order

    // The same with the key taken from a record (by visible position) of another set that has
    // fields of the key's names; no QVariant is built.
    int count(const TWorkingSet& other, int position) const;
    int find(const TWorkingSet& other, int position) const;

private:
    friend std::vector<int> countKeyMatches(const TWorkingSet&, const TWorkingSet&, const QString&,
                                            bool);
    struct Impl;
    std::unique_ptr<Impl> d;
};

// For every visible record of `probes`, the number of visible records of `target` with the same
// key (fields of the same names in both sets). One pass over each set: O(probes + target).
std::vector<int> countKeyMatches(const TWorkingSet& probes, const TWorkingSet& target,
                                 const QString& keyFields, bool caseInsensitive = false);

} // namespace sup::data
