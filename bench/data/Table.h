#pragma once

// The closing table of the data-layer benchmarks: every figure beside its peers measured in the
// same run, with their ratio and the goal it is held to.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// What one line of the table compares.
struct Comparison {
    std::string label;     // what is measured, e.g. "load (decode + load into a set)"
    std::string figure;    // benchmark name without the row count, e.g. "load/workingset"
    std::string counter;   // counter to read instead of the time ("" = real time)
    std::string peerLabel; // e.g. "floor: CBOR -> vector of structs"
    std::string peer;      // benchmark name; "" = `constant`
    std::string peerCounter;
    double constant = 0;  // peer value when `peer` is empty (seconds or counter units)
    int peerRows = 0;     // compare with the peer at this row count (0 = same count)
    int onlyRows = 0;     // show this line at this row count only (0 = at every count)
    double goal = 0;      // the ratio figure/peer must be at most this (0 = for information)
    std::string goalText; // how the goal reads, e.g. "<= 1.5"
};

// Collects the aggregates of every run and prints the table at the end. Progress goes to
// stderr, one line per finished benchmark.
class TableReporter : public benchmark::BenchmarkReporter {
public:
    explicit TableReporter(std::vector<Comparison> comparisons, std::string title = "Data layer");
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

    // Number of goals missed (after Finalize).
    int missed() const { return missed_; }

private:
    struct Stat {
        double median = 0, min = 0, max = 0;    // seconds per iteration
        std::map<std::string, double> counters; // medians
        int repetitions = 0;
        bool have = false;
    };
    // Keyed by name, then row count.
    std::map<std::string, std::map<int, Stat>> stats_;
    std::vector<Comparison> comparisons_;
    std::string context_;
    std::string title_;
    int missed_ = 0;

    const Stat* find(const std::string& name, int rows) const;
    void printLine(const Comparison& c, int rows, bool& first);
};

} // namespace bench
