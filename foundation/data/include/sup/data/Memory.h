#pragma once

namespace sup::data {

// Tunes the process's allocator for lists of a hundred thousand items. Blocks of up to 32 MiB
// (a column of such a list, a packet's rows) come from the heap instead of a mapping of their
// own, and the heap keeps up to 256 MiB it no longer uses instead of handing it back at once.
// Left as it is, every load maps, faults in and unmaps the memory of its columns again, which
// on a virtual machine costs about as much as reading the rows. Called once, first thing in
// main; does nothing where the C library has no such settings.
void tuneAllocator();

} // namespace sup::data
