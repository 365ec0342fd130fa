// Interactive work of the screens on large lists, each figure beside a peer measured in the same
// run:
//   - the pick list's search (Procurar): one keystroke typed into the real dialog, from the key
//     to the repainted list, over every visible column of the item record; a keystroke that
//     starts a new search and one that extends the last, beside a plain linear scan of the same
//     columns (each record's display texts folded and searched, the way a filter model asks);
//   - opening the list and folding its columns, for information.
//
//   bench_screen [--rows=100000,1000000] [Google Benchmark flags]

#include "../common/BenchArgs.h"
#include "../data/Items.h"
#include "../data/Table.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/host/Dialogs.h"
#include "sup/host/PickSearch.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <memory>
#include <sstream>

using namespace sup;
using data::TDataSource;
using data::TWorkingSet;

namespace {

struct Loaded {
    std::unique_ptr<TWorkingSet> set;
    std::unique_ptr<TDataSource> source;
};

Loaded& loaded(int rows) {
    static std::map<int, Loaded> sets;
    Loaded& l = sets[rows];
    if (!l.set) {
        l.set = std::make_unique<TWorkingSet>();
        l.set->loadFromPacket(bench::makeItems(rows));
        l.source = std::make_unique<TDataSource>();
        l.source->setDataSet(l.set.get());
    }
    return l;
}

std::unique_ptr<host::PickerDialog> openList(int rows) {
    host::PickRequest request;
    request.source = loaded(rows).source.get();
    request.caption = QStringLiteral("Itens");
    request.anyColumn = true;
    auto dialog = std::make_unique<host::PickerDialog>(request);
    dialog->show();
    return dialog;
}

void typeOver(host::PickerDialog& d, char key) {
    d.searchBox()->selectAll();
    QTest::keyClick(d.searchBox(), key);
    d.list()->viewport()->repaint();
}

// A keystroke that starts a new search: the one-letter text is replaced by another, so every
// record is scanned and most of them match (the worst case for the list).
void BM_KeystrokeNew(benchmark::State& state) {
    auto dialog = openList(int(state.range(0)));
    typeOver(*dialog, 'a'); // columns folded before timing
    char key = 'e';
    for (auto _ : state) {
        typeOver(*dialog, key);
        key = key == 'e' ? 'a' : 'e';
    }
    state.counters["shown"] = dialog->visibleRows();
}

// A keystroke that extends the text: only the records found for the shorter text are read.
void BM_KeystrokeGrow(benchmark::State& state) {
    auto dialog = openList(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        dialog->searchBox()->setText(QStringLiteral("a"));
        state.ResumeTiming();
        QTest::keyClick(dialog->searchBox(), 'r');
        dialog->list()->viewport()->repaint();
    }
    state.counters["shown"] = dialog->visibleRows();
}

// The peer: each record's display texts, folded and searched one by one.
void BM_LinearScan(benchmark::State& state) {
    TWorkingSet& set = *loaded(int(state.range(0))).set;
    std::vector<int> fields;
    for (int f = 0; f < set.fieldCount(); ++f)
        if (set.field(f)->def().visible)
            fields.push_back(f);
    const QString needle = QStringLiteral("e");
    for (auto _ : state) {
        int found = 0;
        for (int pos = 0; pos < set.recordCount(); ++pos)
            for (int f : fields)
                if (host::foldForSearch(set.textAt(pos, f, true)).contains(needle)) {
                    ++found;
                    break;
                }
        benchmark::DoNotOptimize(found);
        state.counters["shown"] = found;
    }
}

// Opening the list, then folding every column (the first keystroke waits for it).
void BM_OpenList(benchmark::State& state) {
    for (auto _ : state) {
        auto dialog = openList(int(state.range(0)));
        QApplication::processEvents();
    }
}
void BM_FoldColumns(benchmark::State& state) {
    TWorkingSet& set = *loaded(int(state.range(0))).set;
    std::vector<int> fields;
    for (int f = 0; f < set.fieldCount(); ++f)
        if (set.field(f)->def().visible)
            fields.push_back(f);
    for (auto _ : state) {
        host::PickSearch search(set, fields);
        search.search(QStringLiteral("x"), true, 0);
        benchmark::DoNotOptimize(search.rowCount());
    }
}

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double maxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

void add(const char* name, void (*fn)(benchmark::State&), int rows, int iterations = 0) {
    auto* b = benchmark::RegisterBenchmark(name, fn)
                  ->Arg(rows)
                  ->Unit(benchmark::kMillisecond)
                  ->UseRealTime()
                  ->ComputeStatistics("min", minOf)
                  ->ComputeStatistics("max", maxOf);
    if (iterations > 0)
        b->Iterations(iterations);
    else
        b->MinTime(0.3);
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
    const char* fresh = "search keystroke, new text";
    line(fresh, "search/keystroke-new", "50 ms", "", 0.050, 1, "< 50 ms");
    line(fresh, "search/keystroke-new", "plain linear scan", "search/linear-scan", 0, 0, "");
    const char* grow = "search keystroke, text grows";
    line(grow, "search/keystroke-grow", "50 ms", "", 0.050, 1, "< 50 ms");
    line(grow, "search/keystroke-grow", "plain linear scan", "search/linear-scan", 0, 0, "");
    line("open the list", "search/open", "folding the columns", "search/fold", 0, 0, "");
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<int> rows{100000, 1000000};
    bench::BenchArgs args(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--rows=", 0) == 0) {
            rows.clear();
            std::stringstream list(a.substr(7));
            for (std::string n; std::getline(list, n, ',');)
                rows.push_back(std::stoi(n));
        } else {
            args.add(argv[i]);
        }
    }
    int n = 0;
    char** flags = args.finish(&n);
    QApplication app(argc, argv);
    benchmark::Initialize(&n, flags);
    if (benchmark::ReportUnrecognizedArguments(n, flags))
        return 2;
    for (int r : rows) {
        add("search/keystroke-new", BM_KeystrokeNew, r);
        add("search/keystroke-grow", BM_KeystrokeGrow, r);
        add("search/linear-scan", BM_LinearScan, r, 1);
        add("search/open", BM_OpenList, r, 3);
        add("search/fold", BM_FoldColumns, r, 1);
    }
    bench::TableReporter reporter(comparisons(), "Screens");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
