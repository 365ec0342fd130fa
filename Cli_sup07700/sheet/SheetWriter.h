#pragma once

// The grid's rows written to a spreadsheet file (.xlsx) or to a CSV file for spreadsheets:
// headless, typed column reads straight from the working set, a progress callback that may
// cancel, and never a half-written file left behind.

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace sup::data {
class TWorkingSet;
} // namespace sup::data

namespace sup07700::sheet {

// How a column's values are written.
//   Text      as text, so that codes keep their leading zeros (trailing blanks of fixed-size
//             fields dropped)
//   Date      a real date with a date format (date and time when the value has a time)
//   Quantity  a number with three decimals
//   Integer   a whole number
//   Flag      yes or no: a boolean field, or a text field holding "S"/"N"
enum class CellKind { Text, Date, Quantity, Integer, Flag };

enum class SheetFormat { Xlsx, Csv };

struct SheetColumn {
    QString field; // name of the field in the set
    QString title; // the column's title in the first row
    CellKind kind = CellKind::Text;
    int width = 0; // characters, for the spreadsheet's column; 0: from the title
};

// What a failed export ran into; `path` is the file asked for, `detail` a Portuguese reason
// when one is known (empty otherwise).
class SheetError : public std::runtime_error {
public:
    enum Reason { CannotCreate, CannotWrite, TooManyRows };
    SheetError(Reason reason, QString path, QString detail = {});
    Reason reason() const { return reason_; }
    const QString& path() const { return path_; }
    const QString& detail() const { return detail_; }

private:
    Reason reason_;
    QString path_;
    QString detail_;
};

// Rows of data a spreadsheet takes below its title row.
inline constexpr qsizetype kMaxSheetRows = 1048575;

// The format a file name asks for by its extension (letter case ignored); none for others.
std::optional<SheetFormat> formatOfFile(const QString& path);

// Called now and then with the rows written so far and the rows to write; false cancels.
using SheetProgress = std::function<bool(qsizetype written, qsizetype total)>;

enum class SheetResult { Written, Cancelled };

// Writes a title row and then the records of `set` at the visible `positions`, in that order,
// one column per entry of `columns`, to `path` in `format`. The file appears whole when the
// writing succeeds and not at all otherwise: it is written beside its final place under another
// name and put in place at the end (an existing file of that name is replaced only then).
//
// xlsx: one sheet, the title row bold and frozen with a filter on it, written row by row in
// constant memory. CSV: UTF-8 with a byte-order mark, ";" between fields, CRLF between lines,
// decimal comma, dates as dd/mm/yyyy, flags as "Sim"/"Não", a field quoted when it holds ";",
// a quote or a line break.
//
// Throws SheetError when the file cannot be created or written, or when the rows do not fit a
// spreadsheet (xlsx), and std::invalid_argument for a column whose field does not exist or
// does not fit its kind (a date column over a non-date field).
SheetResult writeSheet(const QString& path, SheetFormat format, const QList<SheetColumn>& columns,
                       const sup::data::TWorkingSet& set, const std::vector<int>& positions,
                       const SheetProgress& progress = {});

} // namespace sup07700::sheet
