#pragma once

// The command line of the benchmarks that print a closing table: Google Benchmark's flags with
// this project's defaults (5 repetitions, run interleaved in random order, aggregates only)
// unless the caller gives its own.

#include <sstream>
#include <string>
#include <vector>

namespace bench {

class BenchArgs {
public:
    // Reads `arg` into `rows` when it is "--rows=N[,N...]", the row counts of the data-sized
    // benchmarks; false for any other argument.
    static bool rowCounts(const std::string& arg, std::vector<int>& rows) {
        if (arg.rfind("--rows=", 0) != 0)
            return false;
        rows.clear();
        std::stringstream list(arg.substr(7));
        for (std::string n; std::getline(list, n, ',');)
            rows.push_back(std::stoi(n));
        return true;
    }

    explicit BenchArgs(char* program)
        : args_{program} {}

    // A flag for Google Benchmark.
    void add(char* arg) {
        const std::string a = arg;
        reps_ = reps_ || a.rfind("--benchmark_repetitions", 0) == 0;
        interleave_ = interleave_ || a.rfind("--benchmark_enable_random_interleaving", 0) == 0;
        aggregates_ = aggregates_ || a.rfind("--benchmark_report_aggregates_only", 0) == 0;
        args_.push_back(arg);
    }

    // The argument vector with the defaults not given, null-terminated; its size in `count`.
    char** finish(int* count) {
        if (!reps_)
            args_.push_back(repsArg_.data());
        if (!interleave_)
            args_.push_back(interleaveArg_.data());
        if (!aggregates_)
            args_.push_back(aggregatesArg_.data());
        *count = int(args_.size());
        args_.push_back(nullptr);
        return args_.data();
    }

private:
    std::vector<char*> args_;
    bool reps_ = false, interleave_ = false, aggregates_ = false;
    std::string repsArg_ = "--benchmark_repetitions=5";
    std::string interleaveArg_ = "--benchmark_enable_random_interleaving=true";
    std::string aggregatesArg_ = "--benchmark_report_aggregates_only=true";
};

} // namespace bench
