#pragma once

#include <cstddef>
#include <thread>

namespace spreadsheet {

// The heap of a program's process on large pages, where the system grants them on request
// (transparent huge pages in "madvise" mode or always). A full sheet's cells lie in tens of
// megabytes of small blocks, and every 4 KiB page of them costs a page fault when first
// touched: on a virtual machine a third of a long run of levelbook-cli or levelbook-read. On
// 2 MiB pages one fault serves 512 of them.
class LargePageHeap {
 public:
  // Has the allocator's heap grow at once by about `bytes` of address space (touched only as it
  // is used, so resident memory does not grow by it) and advises that stretch as huge-page
  // memory; freeing never gives it back (malloc_trim does). What the heap needs beyond it
  // comes on ordinary pages, in the allocator's usual steps. Returns the address space added
  // (0 where the allocator does not grow its heap by brk, as under AddressSanitizer). Call at
  // the start of main, before any thread is started.
  static std::size_t Reserve(std::size_t bytes);
  // Faults in, on a thread of its own, up to `bytes` of the free top of the main heap (where
  // the next blocks come from, once the freed ones are used up), whole large pages only: a
  // caller about to fill that much with new blocks finds the pages made while it works
  // instead of waiting for each to be zeroed. What the heap holds is not touched
  // (MADV_POPULATE_WRITE); where the system lacks it the thread does nothing. The thread
  // returned is joined when it goes (not joinable when there is nothing to fault in). For
  // a thread that allocates from the main heap (a program's main thread): another thread's
  // blocks come from an arena of its own, and the pages would be resident for nothing.
  static std::jthread Prefault(std::size_t bytes);
};

}  // namespace spreadsheet
