#pragma once

#include "Items.h"
#include "Table.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace sup::data {
class TWorkingSet;
}

namespace bench {

// Registers a timed benchmark at `rows` rows: real time, median of the repetitions with min and
// max, at least 0.2 s of iterations per repetition.
void timed(const char* name, void (*fn)(benchmark::State&), int rows);
// Registers a measurement made once (memory figures).
void once(const char* name, void (*fn)(benchmark::State&), int rows);

// The changes the save benchmarks start from: every row of f.changed gets a new quantity and
// ALTERADO = "S", each as one posted edit.
void changeTenPercent(sup::data::TWorkingSet& set, const Fixture& f);
void changeStruct(ItemRow& row);

void registerLoadBenchmarks(const std::vector<int>& sizes);
void registerSetBenchmarks(const std::vector<int>& sizes);

// The lines of the closing table, with their goals.
std::vector<Comparison> comparisons();

} // namespace bench
