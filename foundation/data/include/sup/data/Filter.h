#pragma once

#include "sup/data/Field.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace sup::data {

class Column;

// Bad filter text: the message (Portuguese) names the position (1-based) and what was expected.
class FilterError : public std::runtime_error {
public:
    FilterError(const QString& message, int position);
    int position() const { return position_; }

private:
    int position_;
};

// A compiled filter expression over the fields of a set:
//   [FIELD] = 'S'    comparisons = <> < <= > >= (also !=) with quoted texts ('' escapes a quote),
//                    numbers, and other fields; FIELD IS [NOT] NULL; AND, OR, NOT, parentheses.
// Field names may stand with or without brackets; letter case is ignored for names and keywords.
// Constants are converted to the compared field's type when the expression is compiled (a date
// field compares with '31/12/2024'). Texts compare by their characters, fixed texts without their
// trailing blanks, a null text as an empty one; any other null only satisfies IS NULL and <>.
class FilterExpression {
public:
    FilterExpression(const QString& text, const FieldDefs& fields); // throws FilterError
    ~FilterExpression();
    FilterExpression(FilterExpression&&) noexcept;
    FilterExpression& operator=(FilterExpression&&) noexcept;

    // Whether row `row` of the given columns (in field order) satisfies the expression.
    bool matches(const std::vector<Column>& columns, qsizetype row) const;
    // Appends to `out` every row of [0, rows) that satisfies the expression, in order.
    void select(const std::vector<Column>& columns, qsizetype rows, std::vector<int>& out) const;

    struct Node;

private:
    std::unique_ptr<Node> root_;
};

} // namespace sup::data
