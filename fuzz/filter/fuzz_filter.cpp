// Fuzz target: any text given as a filter either compiles or raises FilterError; a compiled
// filter evaluates every row (nulls and extremes included) without failing, and selecting rows
// agrees with matching them one by one.

#include "sup/data/Column.h"
#include "sup/data/Filter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace {

struct Rows {
    FieldDefs fields;
    std::vector<Column> columns;
    qsizetype count = 0;
};

const Rows& rows() {
    static const Rows r = [] {
        Rows x;
        x.fields = {FieldDef::text(u"CALC"_s, 1, {}, true),
                    FieldDef::text(u"ALTERADO"_s, 1, {}, true),
                    FieldDef::text(u"NMPRODUTO"_s, 50),
                    FieldDef::text(u"LIVRE"_s, 0),
                    FieldDef::real(u"QTPROGENPEOL"_s),
                    FieldDef::integer(u"N"_s),
                    FieldDef::boolean(u"B"_s),
                    FieldDef::dateTime(u"DTPROGENPEOL"_s)};
        for (const FieldDef& f : x.fields) {
            x.columns.emplace_back(f);
        }
        const auto add = [&](const QVariantList& values) {
            for (std::size_t i = 0; i < x.columns.size(); ++i) {
                x.columns[i].appendValue(qsizetype(i) < values.size() ? values[qsizetype(i)]
                                                                      : QVariant());
            }
            ++x.count;
        };
        add({});
        add({u"S"_s, u"S"_s, u"AÇÚCAR"_s, u""_s, 1234.5, qlonglong(42), true,
             QDateTime(QDate(2024, 1, 1), QTime(0, 0))});
        add({u"N"_s, u" "_s, u"açúcar"_s, u"x'y"_s, std::numeric_limits<double>::quiet_NaN(),
             qlonglong(std::numeric_limits<qint64>::min()), false,
             QDateTime(QDate(1, 1, 1), QTime(0, 0))});
        add({u""_s, QVariant(), u"𝄞"_s, QString(u"z"_s).repeated(300),
             -std::numeric_limits<double>::infinity(),
             qlonglong(std::numeric_limits<qint64>::max()), QVariant(),
             QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999))});
        add({u"S"_s, u"N"_s, u"0"_s, u"-1"_s, -0.0, qlonglong(0), true, QVariant()});
        return x;
    }();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const Rows& r = rows();
    try {
        const FilterExpression e(text, r.fields);
        std::vector<int> selected;
        e.select(r.columns, r.count, selected);
        std::vector<int> matched;
        for (qsizetype row = 0; row < r.count; ++row) {
            if (e.matches(r.columns, row)) {
                matched.push_back(int(row));
            }
        }
        if (selected != matched) {
            std::fprintf(stderr, "filter: select and matches disagree on \"%s\"\n",
                         qPrintable(text));
            std::abort();
        }
    } catch (const FilterError& e) {
        if (e.position() < 0 || e.position() > text.size() + 1) {
            std::fprintf(stderr, "filter: error position %d outside \"%s\"\n", e.position(),
                         qPrintable(text));
            std::abort();
        }
    }
    return 0;
}
