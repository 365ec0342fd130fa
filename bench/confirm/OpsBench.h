#pragma once

// The operations on marked items on the large database (blocking, write-off, reservation): end
// to end on the screen, and the server's call beside its raw set-based peer (see OpsBench.cpp).

#include "SaveBench.h"

#include "../data/Table.h"

#include <vector>

namespace confirmbench {

void addOpsBenchmarks(const AddBenchmark& add);

// The lines of the closing table for the operations.
std::vector<bench::Comparison> opsComparisons();

} // namespace confirmbench
