#include "Cli_sup07700/sheet/SheetWriter.h"

#include "sup/data/Column.h"
#include "sup/data/WorkingSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

using sup::data::Column;
using sup::data::FieldType;
using sup::data::TWorkingSet;

namespace sup07700::sheet {

SheetError::SheetError(Reason reason, QString path, QString detail)
    : std::runtime_error("export failed")
    , reason_(reason)
    , path_(std::move(path))
    , detail_(std::move(detail)) {}

std::optional<SheetFormat> formatOfFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"xlsx")
        return SheetFormat::Xlsx;
    if (suffix == u"csv")
        return SheetFormat::Csv;
    return std::nullopt;
}

namespace {

constexpr qint64 kMsPerDay = 86400000;
constexpr qsizetype kProgressEvery = 8192;
constexpr int kMaxCellBytes = 32767; // the longest text a spreadsheet cell holds

// A column resolved against the set: its storage and how to write it.
struct Resolved {
    const Column* column = nullptr;
    CellKind kind = CellKind::Text;
    FieldType type = FieldType::Text;
    bool fixed = false;
    int field = -1;
    bool shown = false; // a text whose display differs from the stored value (a mask, a handler)
};

std::vector<Resolved> resolve(const QList<SheetColumn>& columns, const TWorkingSet& set) {
    std::vector<Resolved> out;
    out.reserve(columns.size());
    for (const SheetColumn& c : columns) {
        const int index = set.fieldIndex(c.field);
        if (index < 0)
            throw std::invalid_argument("export: unknown field " + c.field.toStdString());
        const sup::data::FieldDef& def = set.field(index)->def();
        const bool fits = [&] {
            switch (c.kind) {
            case CellKind::Text:
                return true;
            case CellKind::Date:
                return def.type == FieldType::DateTime;
            case CellKind::Quantity:
            case CellKind::Integer:
                return def.type == FieldType::Double || def.type == FieldType::Integer;
            case CellKind::Flag:
                return def.type == FieldType::Boolean || def.type == FieldType::Text;
            }
            return false;
        }();
        if (!fits)
            throw std::invalid_argument("export: field " + c.field.toStdString() +
                                        " does not fit its column kind");
        const bool shown = c.kind == CellKind::Text && def.type == FieldType::Text &&
                           (!def.editMask.isEmpty() || set.field(index)->OnGetText);
        out.push_back({&set.currentColumn(index), c.kind, def.type, def.fixed, index, shown});
    }
    return out;
}

// The text of a cell as the grid shows it, without the padding of fixed-size fields: the stored
// bytes, or the displayed text (kept in `shown`) for a masked or handled field.
QByteArrayView textOf(const Resolved& r, const TWorkingSet& set, int position, qsizetype row,
                      QByteArray& shown) {
    QByteArrayView v;
    if (r.shown) {
        shown = set.textAt(position, r.field, true).toUtf8();
        v = shown;
    } else {
        v = r.column->utf8(row);
    }
    if (r.fixed) {
        while (!v.isEmpty() && v.back() == ' ')
            v.chop(1);
    }
    return v;
}

double numberOf(const Resolved& r, qsizetype row) {
    return r.type == FieldType::Integer ? double(r.column->integer(row)) : r.column->real(row);
}

// True, false, or none for a flag cell.
std::optional<bool> flagOf(const Resolved& r, qsizetype row) {
    if (r.type == FieldType::Boolean)
        return r.column->boolean(row);
    const QByteArrayView v = r.column->utf8(row);
    if (v.isEmpty() || v.front() == ' ')
        return std::nullopt;
    return v.front() == 'S' || v.front() == 's';
}

// Days and milliseconds of the day of a stored date-time (day 0 = 1899-12-30).
struct DayAndTime {
    qint64 day;
    qint64 ms;
};
DayAndTime splitDay(qint64 ms) {
    qint64 day = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        --day;
        rest += kMsPerDay;
    }
    return {day, rest};
}

// The Portuguese reason of a file error, when there is a clear one.
QString reasonOf(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::PermissionsError:
        return QString::fromUtf8("sem permissão de gravação");
    case QFileDevice::OpenError:
        return QString::fromUtf8("a pasta não existe ou não pode ser aberta");
    case QFileDevice::WriteError:
    case QFileDevice::ResourceError:
        return QString::fromUtf8("falta de espaço em disco ou falha na gravação");
    default:
        return {};
    }
}

bool report(const SheetProgress& progress, qsizetype written, qsizetype total) {
    return !progress || progress(written, total);
}

// --- CSV --------------------------------------------------------------------------------------

class CsvOut {
public:
    explicit CsvOut(const QString& path)
        : file_(path) {
        buf_.reserve(kFlushAt + 4096);
    }

    void open() {
        if (!file_.open(QIODevice::WriteOnly))
            throw SheetError(SheetError::CannotCreate, file_.fileName(), reasonOf(file_.error()));
    }
    void append(std::string_view s) { buf_.append(s); }
    void append(char c) { buf_.push_back(c); }
    // A text field, quoted when it holds the separator, a quote or a line break.
    void field(std::string_view s) {
        if (s.find_first_of(";\"\r\n") == std::string_view::npos) {
            buf_.append(s);
            return;
        }
        buf_.push_back('"');
        for (char c : s) {
            if (c == '"')
                buf_.push_back('"');
            buf_.push_back(c);
        }
        buf_.push_back('"');
    }
    void endLine() {
        buf_.append("\r\n");
        if (buf_.size() >= kFlushAt)
            flush();
    }
    void flush() {
        if (!buf_.empty() && file_.write(buf_.data(), qint64(buf_.size())) != qint64(buf_.size()))
            throw SheetError(SheetError::CannotWrite, file_.fileName(), reasonOf(file_.error()));
        buf_.clear();
    }
    void commit() {
        flush();
        if (!file_.commit())
            throw SheetError(SheetError::CannotWrite, file_.fileName(), reasonOf(file_.error()));
    }
    void cancel() { file_.cancelWriting(); }

private:
    static constexpr std::size_t kFlushAt = 1 << 20;
    QSaveFile file_;
    std::string buf_;
};

// dd/mm/yyyy of a day number, with " hh:mm:ss" when there is a time.
void appendDate(CsvOut& out, qint64 stored) {
    const DayAndTime dt = splitDay(stored);
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    const qint64 z = dt.day - 25569 + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 d = doy - (153 * mp + 2) / 5 + 1;
    const qint64 m = mp < 10 ? mp + 3 : mp - 9;
    const qint64 y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char b[32];
    char* p = b;
    auto two = [&p](qint64 v) {
        *p++ = char('0' + v / 10);
        *p++ = char('0' + v % 10);
    };
    two(d);
    *p++ = '/';
    two(m);
    *p++ = '/';
    if (y >= 0 && y < 10000) {
        *p++ = char('0' + y / 1000);
        *p++ = char('0' + y / 100 % 10);
        *p++ = char('0' + y / 10 % 10);
        *p++ = char('0' + y % 10);
    } else {
        p = std::to_chars(p, b + sizeof b, y).ptr;
    }
    if (dt.ms != 0) {
        const qint64 s = dt.ms / 1000;
        *p++ = ' ';
        two(s / 3600);
        *p++ = ':';
        two(s / 60 % 60);
        *p++ = ':';
        two(s % 60);
    }
    out.append(std::string_view(b, std::size_t(p - b)));
}

// A number with `decimals` places and a decimal comma, no grouping.
void appendNumber(CsvOut& out, double v, int decimals) {
    if (!std::isfinite(v))
        return;
    char b[400];
    auto [end, ec] = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return;
    std::string_view s(b, std::size_t(end - b));
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string_view::npos)
        s.remove_prefix(1); // no "-0,000"
    for (char c : s)
        out.append(c == '.' ? ',' : c);
}

SheetResult writeCsv(const QString& path, const QList<SheetColumn>& columns,
                     const std::vector<Resolved>& cols, const TWorkingSet& set,
                     const std::vector<int>& positions, const SheetProgress& progress) {
    CsvOut out(path);
    out.open();
    out.append("\xEF\xBB\xBF");
    for (qsizetype c = 0; c < columns.size(); ++c) {
        if (c > 0)
            out.append(';');
        out.field(columns[c].title.toUtf8().toStdString());
    }
    out.endLine();
    const qsizetype total = qsizetype(positions.size());
    if (!report(progress, 0, total)) {
        out.cancel();
        return SheetResult::Cancelled;
    }
    QByteArray shown;
    for (qsizetype i = 0; i < total; ++i) {
        const int position = positions[std::size_t(i)];
        const qsizetype row = set.physicalRow(position);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            if (c > 0)
                out.append(';');
            const Resolved& r = cols[c];
            if (!r.shown && r.column->isNull(row))
                continue;
            switch (r.kind) {
            case CellKind::Text: {
                const QByteArrayView v = textOf(r, set, position, row, shown);
                out.field(std::string_view(v.data(), std::size_t(v.size())));
                break;
            }
            case CellKind::Date:
                appendDate(out, r.column->dateTimeMs(row));
                break;
            case CellKind::Quantity:
                appendNumber(out, numberOf(r, row), 3);
                break;
            case CellKind::Integer:
                if (r.type == FieldType::Integer) {
                    char b[24];
                    const auto res = std::to_chars(b, b + sizeof b, r.column->integer(row));
                    out.append(std::string_view(b, std::size_t(res.ptr - b)));
                } else {
                    appendNumber(out, std::round(r.column->real(row)), 0);
                }
                break;
            case CellKind::Flag:
                if (const auto f = flagOf(r, row))
                    out.append(*f ? std::string_view("Sim") : std::string_view("N\xC3\xA3o"));
                break;
            }
        }
        out.endLine();
        if ((i + 1) % kProgressEvery == 0 && !report(progress, i + 1, total)) {
            out.cancel();
            return SheetResult::Cancelled;
        }
    }
    out.commit();
    report(progress, total, total);
    return SheetResult::Written;
}

// --- xlsx -------------------------------------------------------------------------------------

// The workbook under construction; freed unwritten unless closed.
struct Workbook {
    lxw_workbook* wb = nullptr;
    ~Workbook() {
        if (wb)
            lxw_workbook_free(wb);
    }
    lxw_error close() {
        lxw_workbook* w = wb;
        wb = nullptr;
        return workbook_close(w);
    }
};

SheetResult writeXlsx(const QString& path, const QList<SheetColumn>& columns,
                      const std::vector<Resolved>& cols, const TWorkingSet& set,
                      const std::vector<int>& positions, const SheetProgress& progress) {
    const qsizetype total = qsizetype(positions.size());
    if (total > kMaxSheetRows)
        throw SheetError(SheetError::TooManyRows, path);
    const QFileInfo target(path);
    // Written beside its place under a name of its own, then moved there whole.
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!temp.open())
        throw SheetError(SheetError::CannotCreate, path, reasonOf(temp.error()));
    temp.close();
    const QByteArray tempName = QFile::encodeName(temp.fileName());

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    Workbook book;
    book.wb = workbook_new_opt(tempName.constData(), &options);
    if (!book.wb)
        throw SheetError(SheetError::CannotCreate, path);
    lxw_worksheet* ws = workbook_add_worksheet(book.wb, nullptr);
    if (!ws)
        throw SheetError(SheetError::CannotWrite, path);

    lxw_format* titleFmt = workbook_add_format(book.wb);
    format_set_bold(titleFmt);
    lxw_format* textFmt = workbook_add_format(book.wb);
    format_set_num_format(textFmt, "@");
    lxw_format* dateFmt = workbook_add_format(book.wb);
    format_set_num_format(dateFmt, "dd/mm/yyyy");
    lxw_format* dateTimeFmt = workbook_add_format(book.wb);
    format_set_num_format(dateTimeFmt, "dd/mm/yyyy hh:mm:ss");
    lxw_format* qtyFmt = workbook_add_format(book.wb);
    format_set_num_format(qtyFmt, "#,##0.000");
    lxw_format* intFmt = workbook_add_format(book.wb);
    format_set_num_format(intFmt, "0");

    std::string cell;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const SheetColumn& sc = columns[c];
        const double width = sc.width > 0 ? sc.width : std::max<qsizetype>(10, sc.title.size() + 2);
        lxw_format* colFmt = nullptr;
        switch (sc.kind) {
        case CellKind::Text:
            colFmt = textFmt;
            break;
        case CellKind::Date:
            colFmt = dateFmt;
            break;
        case CellKind::Quantity:
            colFmt = qtyFmt;
            break;
        case CellKind::Integer:
            colFmt = intFmt;
            break;
        case CellKind::Flag:
            break;
        }
        worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), width, colFmt);
        cell = sc.title.toUtf8().toStdString();
        worksheet_write_string(ws, 0, lxw_col_t(c), cell.c_str(), titleFmt);
    }
    if (!columns.isEmpty()) {
        worksheet_freeze_panes(ws, 1, 0);
        worksheet_autofilter(ws, 0, 0, lxw_row_t(total), lxw_col_t(columns.size() - 1));
    }
    if (!report(progress, 0, total))
        return SheetResult::Cancelled;

    QByteArray shown;
    for (qsizetype i = 0; i < total; ++i) {
        const int position = positions[std::size_t(i)];
        const qsizetype row = set.physicalRow(position);
        const lxw_row_t at = lxw_row_t(i + 1);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const Resolved& r = cols[c];
            if (!r.shown && r.column->isNull(row))
                continue;
            const lxw_col_t col = lxw_col_t(c);
            lxw_error e = LXW_NO_ERROR;
            switch (r.kind) {
            case CellKind::Text: {
                QByteArrayView v = textOf(r, set, position, row, shown);
                if (v.isEmpty())
                    break;
                if (v.size() > kMaxCellBytes) {
                    qsizetype cut = kMaxCellBytes;
                    while (cut > 0 && (uchar(v[cut]) & 0xC0) == 0x80)
                        --cut; // not inside a character
                    v.truncate(cut);
                }
                cell.assign(v.data(), std::size_t(v.size()));
                e = worksheet_write_string(ws, at, col, cell.c_str(), textFmt);
                break;
            }
            case CellKind::Date: {
                const qint64 stored = r.column->dateTimeMs(row);
                const bool withTime = splitDay(stored).ms != 0;
                e = worksheet_write_number(ws, at, col, double(stored) / double(kMsPerDay),
                                           withTime ? dateTimeFmt : dateFmt);
                break;
            }
            case CellKind::Quantity: {
                const double v = numberOf(r, row);
                if (std::isfinite(v))
                    e = worksheet_write_number(ws, at, col, v, qtyFmt);
                break;
            }
            case CellKind::Integer: {
                const double v = std::round(numberOf(r, row));
                if (std::isfinite(v))
                    e = worksheet_write_number(ws, at, col, v, intFmt);
                break;
            }
            case CellKind::Flag:
                if (const auto f = flagOf(r, row))
                    e = worksheet_write_boolean(ws, at, col, *f ? 1 : 0, nullptr);
                break;
            }
            if (e != LXW_NO_ERROR)
                throw SheetError(SheetError::CannotWrite, path);
        }
        if ((i + 1) % kProgressEvery == 0 && !report(progress, i + 1, total))
            return SheetResult::Cancelled;
    }
    // The closing packs the sheet into the file, a good part of the time: it runs aside while
    // the caller keeps hearing of the progress (all rows written) and may still cancel.
    lxw_error closed = LXW_NO_ERROR;
    if (progress) {
        std::atomic<bool> done = false;
        std::thread closer([&] {
            closed = book.close();
            done = true;
        });
        bool cancelled = false;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cancelled = cancelled || !report(progress, total, total);
        }
        closer.join();
        if (cancelled)
            return SheetResult::Cancelled; // the packed file goes with `temp`
    } else {
        closed = book.close();
    }
    if (closed != LXW_NO_ERROR) {
        throw SheetError(closed == LXW_ERROR_CREATING_XLSX_FILE ? SheetError::CannotCreate
                                                                : SheetError::CannotWrite,
                         path);
    }
    // The permissions of the file it replaces, or those of a new document (the temporary name
    // was made private to its owner).
    temp.setPermissions(QFile::exists(path) ? QFile::permissions(path)
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(temp.fileName().toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), ec);
    if (ec) {
        throw SheetError(SheetError::CannotWrite, path,
                         ec == std::errc::permission_denied
                             ? reasonOf(QFileDevice::PermissionsError)
                             : QString::fromUtf8("o arquivo pode estar aberto em outro programa"));
    }
    temp.setAutoRemove(false); // it is the file now
    report(progress, total, total);
    return SheetResult::Written;
}

} // namespace

SheetResult writeSheet(const QString& path, SheetFormat format, const QList<SheetColumn>& columns,
                       const TWorkingSet& set, const std::vector<int>& positions,
                       const SheetProgress& progress) {
    const std::vector<Resolved> cols = resolve(columns, set);
    return format == SheetFormat::Xlsx ? writeXlsx(path, columns, cols, set, positions, progress)
                                       : writeCsv(path, columns, cols, set, positions, progress);
}

} // namespace sup07700::sheet
