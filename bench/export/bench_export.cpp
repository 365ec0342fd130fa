// The export of the item grid to a file, each figure beside a peer measured in the same run:
//   - export/xlsx: the routine's writer over a loaded working set (the grid's 14 data columns:
//     codes and names as text, two dates, two quantities), beside raw/xlsx: libxlsxwriter in
//     constant-memory mode writing the same cells straight from a vector of plain structs;
//   - export/csv: the same rows as CSV, beside raw/csv: the same cells formatted from the structs
//     into a buffer and written with fwrite.
// Every run writes a whole file to a temporary folder and deletes it afterwards.
//
//   bench_export [--rows=100000,1000000] [Google Benchmark flags]

#include "../common/BenchArgs.h"
#include "../data/Items.h"
#include "../data/Table.h"

#include "Cli_sup07700/sheet/SheetWriter.h"
#include "sup/data/WorkingSet.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

using namespace sup07700::sheet;
using sup::data::TWorkingSet;

namespace {

struct GridColumn {
    const char* field;
    const char* title;
    CellKind kind;
};

// The maintenance grid's data columns, in its order.
const GridColumn kGrid[] = {
    {"DTPROGEMBARQ", "Embarque", CellKind::Date},
    {"DTPROGENPEOL", "Entrega", CellKind::Date},
    {"CDARVPROD", "Produto", CellKind::Text},
    {"NMPRODUTO", "Nome do Produto", CellKind::Text},
    {"SGUNIDADE", "UN", CellKind::Text},
    {"CDMARCA", "Marca", CellKind::Text},
    {"NMMARCA", "Nome da Marca", CellKind::Text},
    {"CDFILDEST", "Destino", CellKind::Text},
    {"CDFILLANC", "Lanç.", CellKind::Text},
    {"NRPEDEXOL", "Pedido", CellKind::Text},
    {"QTPROGENPEOL", "Qtde.", CellKind::Quantity},
    {"QTRESERVESTOL", "Reserva", CellKind::Quantity},
    {"CDLOTENVITOL", "Lote de Envio", CellKind::Text},
    {"CDFILIOPELOG", "OL", CellKind::Text},
};

struct Loaded {
    std::unique_ptr<TWorkingSet> set;
    std::vector<int> positions;
    QList<SheetColumn> columns;
    std::vector<int> fields; // field index of each column in the item record
};

Loaded& loaded(int rows) {
    static std::map<int, Loaded> sets;
    Loaded& l = sets[rows];
    if (!l.set) {
        l.set = std::make_unique<TWorkingSet>();
        l.set->loadFromPacket(bench::fixture(rows).packet);
        l.positions.resize(std::size_t(l.set->recordCount()));
        for (std::size_t i = 0; i < l.positions.size(); ++i)
            l.positions[i] = int(i);
        const sup::data::FieldDefs defs = bench::itemFields();
        for (const GridColumn& g : kGrid) {
            l.columns.append({QString::fromLatin1(g.field), QString::fromUtf8(g.title), g.kind});
            l.fields.push_back(sup::data::indexOfField(defs, QString::fromLatin1(g.field)));
        }
    }
    return l;
}

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

void BM_Export(benchmark::State& state, SheetFormat format) {
    Loaded& l = loaded(int(state.range(0)));
    const QString path = folder().filePath(format == SheetFormat::Xlsx ? QStringLiteral("a.xlsx")
                                                                       : QStringLiteral("a.csv"));
    for (auto _ : state) {
        const SheetResult r = writeSheet(path, format, l.columns, *l.set, l.positions);
        benchmark::DoNotOptimize(r);
        state.PauseTiming();
        state.counters["MB"] = double(QFile(path).size()) / 1e6;
        QFile::remove(path);
        state.ResumeTiming();
    }
}
void BM_ExportXlsx(benchmark::State& state) {
    BM_Export(state, SheetFormat::Xlsx);
}
void BM_ExportCsv(benchmark::State& state) {
    BM_Export(state, SheetFormat::Csv);
}

// The peers read the same cells from plain structs.
bool isTextKind(CellKind k) {
    return k == CellKind::Text;
}

void BM_RawXlsx(benchmark::State& state) {
    Loaded& l = loaded(int(state.range(0)));
    const std::vector<bench::ItemRow>& rows = bench::fixture(int(state.range(0))).structs;
    const std::vector<bench::RowSlot>& layout = bench::itemSlots();
    const QByteArray path = QFile::encodeName(folder().filePath(QStringLiteral("raw.xlsx")));
    for (auto _ : state) {
        lxw_workbook_options o{};
        o.constant_memory = LXW_TRUE;
        o.use_zip64 = LXW_TRUE;
        lxw_workbook* wb = workbook_new_opt(path.constData(), &o);
        lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
        lxw_format* bold = workbook_add_format(wb);
        format_set_bold(bold);
        lxw_format* text = workbook_add_format(wb);
        format_set_num_format(text, "@");
        lxw_format* date = workbook_add_format(wb);
        format_set_num_format(date, "dd/mm/yyyy");
        lxw_format* qty = workbook_add_format(wb);
        format_set_num_format(qty, "#,##0.000");
        std::string cell;
        for (std::size_t c = 0; c < std::size(kGrid); ++c)
            worksheet_write_string(ws, 0, lxw_col_t(c), kGrid[c].title, bold);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const bench::ItemRow& row = rows[r];
            const char* base = reinterpret_cast<const char*>(&row);
            for (std::size_t c = 0; c < std::size(kGrid); ++c) {
                const int f = l.fields[c];
                if (row.isNull(f))
                    continue;
                const lxw_row_t at = lxw_row_t(r + 1);
                if (isTextKind(kGrid[c].kind)) {
                    const QByteArrayView v = bench::textOf(row, f);
                    if (v.isEmpty())
                        continue;
                    cell.assign(v.data(), std::size_t(v.size()));
                    worksheet_write_string(ws, at, lxw_col_t(c), cell.c_str(), text);
                } else if (kGrid[c].kind == CellKind::Date) {
                    qint64 ms;
                    std::memcpy(&ms, base + layout[std::size_t(f)].offset, sizeof ms);
                    worksheet_write_number(ws, at, lxw_col_t(c), double(ms) / 86400000.0, date);
                } else {
                    double v;
                    std::memcpy(&v, base + layout[std::size_t(f)].offset, sizeof v);
                    worksheet_write_number(ws, at, lxw_col_t(c), v, qty);
                }
            }
        }
        workbook_close(wb);
        state.PauseTiming();
        QFile::remove(QFile::decodeName(path));
        state.ResumeTiming();
    }
}

void BM_RawCsv(benchmark::State& state) {
    Loaded& l = loaded(int(state.range(0)));
    const std::vector<bench::ItemRow>& rows = bench::fixture(int(state.range(0))).structs;
    const std::vector<bench::RowSlot>& layout = bench::itemSlots();
    const QByteArray path = QFile::encodeName(folder().filePath(QStringLiteral("raw.csv")));
    for (auto _ : state) {
        std::FILE* out = std::fopen(path.constData(), "wb");
        std::string buf = "\xEF\xBB\xBF";
        for (std::size_t c = 0; c < std::size(kGrid); ++c) {
            buf += c ? ";" : "";
            buf += kGrid[c].title;
        }
        buf += "\r\n";
        char num[64];
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const bench::ItemRow& row = rows[r];
            const char* base = reinterpret_cast<const char*>(&row);
            for (std::size_t c = 0; c < std::size(kGrid); ++c) {
                if (c)
                    buf += ';';
                const int f = l.fields[c];
                if (row.isNull(f))
                    continue;
                if (isTextKind(kGrid[c].kind)) {
                    const QByteArrayView v = bench::textOf(row, f);
                    buf.append(v.data(), std::size_t(v.size()));
                } else if (kGrid[c].kind == CellKind::Date) {
                    qint64 ms;
                    std::memcpy(&ms, base + layout[std::size_t(f)].offset, sizeof ms);
                    const QDate d = QDate(1899, 12, 30).addDays(ms / 86400000);
                    const int n = std::snprintf(num, sizeof num, "%02d/%02d/%04d", d.day(),
                                                d.month(), d.year());
                    buf.append(num, std::size_t(n));
                } else {
                    double v;
                    std::memcpy(&v, base + layout[std::size_t(f)].offset, sizeof v);
                    char* e =
                        std::to_chars(num, num + sizeof num, v, std::chars_format::fixed, 3).ptr;
                    std::replace(num, e, '.', ',');
                    buf.append(num, std::size_t(e - num));
                }
            }
            buf += "\r\n";
            if (buf.size() >= (1u << 20)) {
                std::fwrite(buf.data(), 1, buf.size(), out);
                buf.clear();
            }
        }
        std::fwrite(buf.data(), 1, buf.size(), out);
        std::fclose(out);
        state.PauseTiming();
        QFile::remove(QFile::decodeName(path));
        state.ResumeTiming();
    }
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double maxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

void add(const char* name, void (*fn)(benchmark::State&), int rows) {
    benchmark::RegisterBenchmark(name, fn)
        ->Arg(rows)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->ComputeStatistics("min", minOf)
        ->ComputeStatistics("max", maxOf);
}

std::vector<bench::Comparison> comparisons() {
    std::vector<bench::Comparison> c;
    auto line = [&](const char* label, const char* figure, const char* peerLabel, const char* peer,
                    double constant, double goal, const char* goalText) {
        bench::Comparison x;
        x.label = label;
        x.figure = figure;
        x.peerLabel = peerLabel;
        x.peer = peer;
        x.constant = constant;
        x.goal = goal;
        x.goalText = goalText;
        c.push_back(x);
    };
    line("export to xlsx", "export/xlsx", "raw libxlsxwriter, same cells", "raw/xlsx", 0, 1.3,
         "<= 1.3");
    line("export to xlsx", "export/xlsx", "10 s", "", 10, 1, "< 10 s");
    line("export to CSV", "export/csv", "raw buffered fwrite, same cells", "raw/csv", 0, 0, "");
    line("export to CSV", "export/csv", "10 s", "", 10, 1, "< 10 s");
    return c;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> rows{100000, 1000000};
    bench::BenchArgs args(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (!bench::BenchArgs::rowCounts(argv[i], rows))
            args.add(argv[i]);
    }
    int n = 0;
    char** flags = args.finish(&n);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&n, flags);
    if (benchmark::ReportUnrecognizedArguments(n, flags))
        return 2;
    for (int r : rows) {
        add("export/xlsx", BM_ExportXlsx, r);
        add("raw/xlsx", BM_RawXlsx, r);
        add("export/csv", BM_ExportCsv, r);
        add("raw/csv", BM_RawCsv, r);
    }
    bench::TableReporter reporter(comparisons(), "Export");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
