#include "sup/data/Memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace sup::data {

void tuneAllocator() {
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
    // 32 MiB is the most the C library accepts for the first setting.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

} // namespace sup::data
