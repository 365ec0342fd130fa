#pragma once

#include "sup/data/Column.h"

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace sup::contracts {

// The order items the automatic alteration works on: a two-dimensional array of variants whose
// first index is the attribute (0 to 14) and the second the item, in the order they were
// gathered. Each attribute is one typed column, so gathering copies cells instead of building a
// variant per value, and copies share the columns. A variant holding it converts to the
// nested-list form (QVariant::toList: one list of item values per attribute), which is also its
// form on the wire; fromVariant takes either form back.
class SelectedItems {
public:
    static constexpr int kAttributes = 15;
    using Columns = std::array<data::Column, kAttributes>;

    // The order-item field of each attribute; the first, the operator, is none.
    static const std::array<const char16_t*, kAttributes> kFields;
    // The field columns of the items gathered from (name to column).
    using ColumnOf = std::function<const data::Column&(QStringView field)>;

    SelectedItems() = default;
    // The columns of a gathering; all must hold the same number of items.
    explicit SelectedItems(Columns columns);
    // The items at `rows` of the order-item columns, in that order, as `op` gathers them: each
    // attribute its field's value, the destination branch its first four characters.
    static SelectedItems gather(const ColumnOf& column, const std::vector<qsizetype>& rows,
                                const QString& op);

    bool isEmpty() const { return count_ == 0; }
    qsizetype count() const { return count_; }
    const data::Column& column(int attribute) const { return columns_[std::size_t(attribute)]; }
    QVariant value(int attribute, qsizetype item) const;
    // One attribute's values, in item order.
    QVariantList attribute(int attribute) const;
    // The nested-list form; empty when there are no items.
    QVariantList toList() const;

    // The array from a variant that holds it or its nested-list form. Anything else, or lists
    // of other shapes, give nothing and the reason (in Portuguese) in `why`.
    static std::optional<SelectedItems> fromVariant(const QVariant& v, QString* why = nullptr);

    bool operator==(const SelectedItems& other) const;

private:
    Columns columns_;
    qsizetype count_ = 0;
};

} // namespace sup::contracts

Q_DECLARE_METATYPE(sup::contracts::SelectedItems)
