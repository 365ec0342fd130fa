// The data-layer benchmarks: one executable, one closing table.
//
//   bench_data [--rows=100000,1000000] [Google Benchmark flags]
//
// Defaults: 5 repetitions of every benchmark, interleaved in random order, aggregates only.

#include "../common/BenchArgs.h"
#include "Benchmarks.h"
#include "Items.h"
#include "Table.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace bench {

namespace {

double minOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double maxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

} // namespace

void timed(const char* name, void (*fn)(benchmark::State&), int rows) {
    benchmark::RegisterBenchmark(name, fn)
        ->Arg(rows)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(0.2)
        ->ComputeStatistics("min", minOf)
        ->ComputeStatistics("max", maxOf);
}

void once(const char* name, void (*fn)(benchmark::State&), int rows) {
    benchmark::RegisterBenchmark(name, fn)->Arg(rows)->Iterations(1)->Repetitions(1);
}

namespace {

Comparison compare(const char* label, const char* figure, const char* peerLabel, const char* peer) {
    Comparison c;
    c.label = label;
    c.figure = figure;
    c.peerLabel = peerLabel;
    c.peer = peer;
    return c;
}

} // namespace

std::vector<Comparison> comparisons() {
    const double packed = double(packedRowSize(itemFields()));
    std::vector<Comparison> c;
    const auto growth = [&](const char* label, const char* figure) {
        Comparison g = compare(label, figure, "same at 100,000 rows", figure);
        g.peerRows = 100000;
        g.onlyRows = 1000000;
        g.goal = 12;
        g.goalText = "<= 12";
        c.push_back(g);
    };
    const auto line = [&](const char* label, const char* figure, const char* peerLabel,
                          const char* peer, double goal, const char* goalText) {
        Comparison x = compare(label, figure, peerLabel, peer);
        x.goal = goal;
        x.goalText = goalText;
        c.push_back(x);
    };
    const char* load = "load: decode + load into set";
    line(load, "load/workingset", "floor: CBOR -> vector<struct>", "load/floor", 1.5, "<= 1.5");
    line(load, "load/workingset", "QStandardItemModel", "load/qstandarditemmodel", 0.2,
         "<= 0.2 (5x faster)");
    line(load, "load/workingset", "QVariant per cell", "load/qvariant", 0.2, "<= 0.2 (5x faster)");
    line(load, "load/workingset", "decode alone", "load/decode", 0, "");
    growth(load, "load/workingset");

    const char* snap = "snapshot copy (data -> load)";
    line(snap, "snapshot/workingset", "vector<struct> copy", "snapshot/vector-copy", 0, "");
    growth(snap, "snapshot/workingset");

    const char* mark = "mark-all: edit, CALC, post";
    line(mark, "markall/workingset", "floor: vector + row log", "markall/floor", 2, "<= 2");
    {
        Comparison x = compare(mark, "markall/workingset", "50 ms", "");
        x.constant = 0.050;
        x.onlyRows = 100000;
        x.goal = 1;
        x.goalText = "< 50 ms";
        c.push_back(x);
    }
    line(mark, "markall/workingset", "QSqlTableModel OnManualSubmit", "markall/qsqltablemodel", 0,
         "");
    growth(mark, "markall/workingset");
    {
        Comparison x = compare("QSqlTableModel mark-all", "markall/qsqltablemodel",
                               "same at 5,000 rows", "markall/qsqltablemodel");
        x.peerRows = 5000;
        c.push_back(x);
    }

    const char* attached = "mark-all, QTableView attached";
    line(attached, "markall/attached", "same pass detached", "markall/workingset", 1.2, "<= 1.2");
    growth(attached, "markall/attached");

    const char* dup = "duplicate check, 10% changed";
    {
        Comparison x = compare(dup, "dupcheck/workingset", "50 ms", "");
        x.constant = 0.050;
        x.onlyRows = 100000;
        x.goal = 1;
        x.goalText = "< 50 ms";
        c.push_back(x);
    }
    line(dup, "dupcheck/workingset", "hash map over vectors", "dupcheck/hash", 0, "");
    growth(dup, "dupcheck/workingset");

    const char* delta = "delta: build + encode, 10%";
    line(delta, "delta/workingset", "QCborStreamWriter of the rows", "delta/qcborstreamwriter", 2,
         "<= 2");
    growth(delta, "delta/workingset");

    const char* filter = "filter [ALTERADO]='S' + walk";
    line(filter, "filter/workingset", "predicate over vector", "filter/predicate", 3, "<= 3");
    growth(filter, "filter/workingset");

    const char* locate = "locate x16, item key, no case";
    line(locate, "locate/workingset", "linear scan of vector", "locate/scan", 2, "<= 2");
    growth(locate, "locate/workingset");

    const char* memory = "memory per loaded row";
    {
        Comparison x = compare(memory, "memory/workingset", "packed row size", "");
        x.counter = "peak B/row";
        x.constant = packed;
        x.peerCounter = "B/row";
        x.goal = 2;
        x.goalText = "<= 2";
        c.push_back(x);
        Comparison held = compare(memory, "memory/workingset", "packed row size (held)", "");
        held.counter = "B/row";
        held.constant = packed;
        held.peerCounter = "B/row";
        c.push_back(held);
        Comparison sim =
            compare(memory, "memory/workingset", "QStandardItemModel", "memory/qstandarditemmodel");
        sim.counter = "B/row";
        sim.peerCounter = "B/row";
        c.push_back(sim);
    }
    return c;
}

} // namespace bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::vector<int> sizes{100000, 1000000};
    bench::BenchArgs args(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (!bench::BenchArgs::rowCounts(argv[i], sizes))
            args.add(argv[i]);
    }
    int n = 0;
    char** flags = args.finish(&n);
    QApplication app(argc, argv); // the attached mark-all shows a QTableView
    benchmark::Initialize(&n, flags);
    if (benchmark::ReportUnrecognizedArguments(n, flags)) {
        return 2;
    }
    bench::registerLoadBenchmarks(sizes);
    bench::registerSetBenchmarks(sizes);
    bench::TableReporter reporter(bench::comparisons());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
