#pragma once

// Heap bytes in use and their peak, counted for every allocation of the process (Qt's malloc
// calls included): the benchmark executable interposes malloc and friends.

#include <cstddef>

namespace bench::heap {

std::size_t inUse();
// Starts a new peak measurement from the bytes in use now; peakSinceMark() is the highest
// number of bytes in use since, above that starting point.
void mark();
std::size_t peakSinceMark();

} // namespace bench::heap
