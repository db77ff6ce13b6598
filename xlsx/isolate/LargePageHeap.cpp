#include "xlsx/isolate/LargePageHeap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace spreadsheet {

namespace {

constexpr int kDefaultTopPad = 128 * 1024;  // the allocator's own (M_TOP_PAD)
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
#ifndef MADV_POPULATE_WRITE
constexpr int MADV_POPULATE_WRITE = 23;  // Linux 5.14
#endif

}  // namespace

std::size_t LargePageHeap::Reserve(std::size_t bytes) {
  if (bytes > INT_MAX) bytes = INT_MAX;
  const auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  // The next growth of the heap takes this much more than it needs.
  if (::mallopt(M_TOP_PAD, static_cast<int>(bytes)) == 0) return 0;
  // Blocks below the allocator's mmap threshold, until one made the heap grow (the first
  // does, unless the heap's top had room for it).
  std::array<void*, 4> blocks{};
  for (void*& block : blocks) {
    block = std::malloc(96 << 10);
    if (reinterpret_cast<std::uintptr_t>(::sbrk(0)) != before) break;
  }
  const auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  for (void* block : blocks) std::free(block);
  ::mallopt(M_TOP_PAD, kDefaultTopPad);
  if (after <= before) return 0;
  // Free memory at the top stays: given back, the stretch would lose its advice.
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(bytes));
  const std::uintptr_t first = (before + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = after & ~(kHugePage - 1);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  return after - before;
}

std::jthread LargePageHeap::Prefault(std::size_t bytes) {
  // The top chunk: from the end of the last block to the heap's end.
  const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  const std::size_t top = ::mallinfo2().keepcost;
  if (top > end || bytes == 0) return {};
  // Whole large pages past the one the top chunk starts in (its header lives there).
  const std::uintptr_t first = (end - top + kHugePage - 1) & ~(kHugePage - 1);
  if (first >= end) return {};
  const std::uintptr_t last = (bytes < end - first ? first + bytes : end) & ~(kHugePage - 1);
  if (last <= first) return {};
  return std::jthread([first, last] { ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE); });
}

}  // namespace spreadsheet
