#include "Table.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>

namespace bench {

namespace {

std::string formatTime(double s) {
    char buf[32];
    if (s >= 1.0) {
        std::snprintf(buf, sizeof buf, "%.2f s", s);
    } else if (s >= 1e-3) {
        std::snprintf(buf, sizeof buf, "%.2f ms", s * 1e3);
    } else if (s >= 1e-6) {
        std::snprintf(buf, sizeof buf, "%.2f us", s * 1e6);
    } else {
        std::snprintf(buf, sizeof buf, "%.0f ns", s * 1e9);
    }
    return buf;
}

std::string formatValue(double v, const std::string& counter) {
    if (counter.empty()) {
        return formatTime(v);
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f %s", v, counter.c_str());
    return buf;
}

std::string formatRows(int rows) {
    // Digits in groups of three: 1,000,000.
    const std::string digits = std::to_string(rows);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

constexpr std::size_t kWidths[] = {30, 11, 11, 22, 31, 11, 7, 7};

std::string pad(const std::string& s, std::size_t width) {
    // Width in characters, counting UTF-8 sequences once.
    std::size_t chars = 0;
    for (unsigned char c : s) {
        chars += (c & 0xC0) != 0x80;
    }
    return chars >= width ? s + " " : s + std::string(width - chars, ' ');
}

} // namespace

TableReporter::TableReporter(std::vector<Comparison> comparisons, std::string title)
    : comparisons_(std::move(comparisons))
    , title_(std::move(title)) {}

bool TableReporter::ReportContext(const Context& context) {
    std::ostringstream s;
    s << context.cpu_info.num_cpus << " CPUs at " << context.cpu_info.cycles_per_second / 1e6
      << " MHz";
    if (!context.cpu_info.load_avg.empty()) {
        s << ", load average";
        for (double l : context.cpu_info.load_avg) {
            s << ' ' << l;
        }
    }
    context_ = s.str();
    std::cerr << "benchmarks: " << context_ << '\n';
    return true;
}

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred) {
            std::cerr << "  " << run.benchmark_name() << ": " << run.error_message << '\n';
            continue;
        }
        const std::string& name = run.run_name.function_name;
        const int rows = run.run_name.args.empty() ? 0 : std::stoi(run.run_name.args);
        Stat& st = stats_[name][rows];
        const double seconds =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        if (run.run_type == Run::RT_Iteration) {
            // Single runs (one repetition): their own median, min and max.
            if (!st.have) {
                st.median = st.min = st.max = seconds;
                for (const auto& [k, c] : run.counters) {
                    st.counters[k] = c.value;
                }
                st.repetitions = 1;
                st.have = true;
            }
            continue;
        }
        if (run.aggregate_name == "median") {
            st.median = seconds;
            for (const auto& [k, c] : run.counters) {
                st.counters[k] = c.value;
            }
            st.repetitions = int(run.repetitions);
            st.have = true;
            std::cerr << "  " << name << " " << formatRows(rows) << ": " << formatTime(seconds)
                      << '\n';
        } else if (run.aggregate_name == "min") {
            st.min = seconds;
        } else if (run.aggregate_name == "max") {
            st.max = seconds;
        }
    }
}

const TableReporter::Stat* TableReporter::find(const std::string& name, int rows) const {
    const auto it = stats_.find(name);
    if (it == stats_.end()) {
        return nullptr;
    }
    const auto jt = it->second.find(rows);
    return jt == it->second.end() || !jt->second.have ? nullptr : &jt->second;
}

void TableReporter::printLine(const Comparison& c, int rows, bool& first) {
    if (c.onlyRows && c.onlyRows != rows) {
        return;
    }
    const Stat* f = find(c.figure, rows);
    if (!f) {
        return;
    }
    double figure = f->median;
    std::string range = formatTime(f->min) + " - " + formatTime(f->max);
    if (!c.counter.empty()) {
        const auto it = f->counters.find(c.counter);
        if (it == f->counters.end()) {
            return;
        }
        figure = it->second;
        range.clear();
    }
    double peer = c.constant;
    double figureMin = c.counter.empty() ? f->min : figure;
    double peerMin = peer;
    if (!c.peer.empty()) {
        if (c.peerRows == rows) {
            return; // growth against itself
        }
        const Stat* p = find(c.peer, c.peerRows ? c.peerRows : rows);
        if (!p) {
            return;
        }
        if (c.peerCounter.empty()) {
            peer = p->median;
            peerMin = p->min;
        } else {
            const auto it = p->counters.find(c.peerCounter);
            if (it == p->counters.end()) {
                return;
            }
            peer = it->second;
            peerMin = peer;
        }
    }
    if (!c.peer.empty() && c.constant == 0 && c.counter.empty() != c.peerCounter.empty()) {
        return; // a time against a counter: nothing to compare
    }
    // The ratio of the medians is the figure; the ratio of the minimums shows what the code does
    // when the machine is not shared with other work.
    const auto ratioOf = [](double a, double b) {
        char text[32];
        const double r = b > 0 ? a / b : 0;
        std::snprintf(text, sizeof text, r < 0.1 ? "%.3f" : "%.2f", r);
        return std::pair{r, std::string(text)};
    };
    const auto [ratio, ratioText] = ratioOf(figure, peer);
    const auto [minRatio, minRatioText] = ratioOf(figureMin, peerMin);
    std::string verdict;
    if (c.goal > 0) {
        const bool ok = ratio <= c.goal;
        verdict = c.goalText + (ok                   ? "  ok"
                                : minRatio <= c.goal ? "  MISSED (min ok)"
                                                     : "  MISSED");
        missed_ += ok ? 0 : 1;
    }
    std::cout << pad(first ? c.label : "", kWidths[0])
              << pad(first ? formatRows(rows) : "", kWidths[1])
              << pad(formatValue(figure, c.counter), kWidths[2]) << pad(range, kWidths[3])
              << pad(c.peerLabel, kWidths[4]) << pad(formatValue(peer, c.peerCounter), kWidths[5])
              << pad(ratioText, kWidths[6]) << pad(minRatioText, kWidths[7]) << verdict << "\n";
    first = false;
}

void TableReporter::Finalize() {
    int reps = 0;
    std::set<int> allRows;
    for (const auto& [name, byRows] : stats_) {
        for (const auto& [rows, st] : byRows) {
            allRows.insert(rows);
            reps = std::max(reps, st.repetitions);
        }
    }
    std::cout
        << "\n"
        << title_ << ", " << context_ << "; median of " << reps
        << " interleaved repetitions, min and max beside it;\nratio = figure / peer (medians), "
           "(min) = the same of the minimums.\n\n";
    const auto& w = kWidths;
    std::cout << pad("figure", w[0]) << pad("rows", w[1]) << pad("median", w[2])
              << pad("min - max", w[3]) << pad("peer", w[4]) << pad("peer", w[5])
              << pad("ratio", w[6]) << pad("(min)", w[7]) << "goal\n";
    std::cout << std::string(w[0] + w[1] + w[2] + w[3] + w[4] + w[5] + w[6] + w[7] + 16, '-')
              << "\n";
    // Comparisons that share a label form one group: its lines go by row count, then peer.
    for (std::size_t g = 0; g < comparisons_.size();) {
        std::size_t end = g;
        while (end < comparisons_.size() && comparisons_[end].label == comparisons_[g].label) {
            ++end;
        }
        for (int rows : allRows) {
            bool first = true;
            for (std::size_t i = g; i < end; ++i) {
                printLine(comparisons_[i], rows, first);
            }
        }
        g = end;
    }
    std::cout << "\n"
              << (missed_ ? std::to_string(missed_) + " goal(s) missed." : "All goals met.")
              << "\n";
}

} // namespace bench
