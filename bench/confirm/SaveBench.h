#pragma once

// Saving item changes on the large database: end to end per store and stage by stage, each
// stage beside its raw peer (see SaveBench.cpp).

#include "../data/Table.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <vector>

namespace confirmbench {

// Registers one benchmark: its name, its body, whether it times itself (manual time), and its
// iterations per repetition (0: as many as the default minimum time takes).
using AddBenchmark = std::function<void(const char* name, void (*fn)(benchmark::State&),
                                        bool manual, int iterations)>;

void addSaveBenchmarks(const AddBenchmark& add);

// The lines of the closing table for the save.
std::vector<bench::Comparison> saveComparisons();

} // namespace confirmbench
