#pragma once

// The automatic alteration on the large database: AltAtuItem for a product change and for a
// date change of 10,000 selected items, each beside its raw set-based peer (see
// AutoApplyBench.cpp).

#include "SaveBench.h"

#include "../data/Table.h"

#include <vector>

namespace confirmbench {

void addAutoApplyBenchmarks(const AddBenchmark& add);

// The lines of the closing table for the automatic alteration.
std::vector<bench::Comparison> autoApplyComparisons();

} // namespace confirmbench
