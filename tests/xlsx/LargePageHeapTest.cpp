// Faulting in the heap's free top ahead of a long run's new blocks: the pages become resident,
// what the heap holds stays as it was, and nothing happens when there is nothing to fault in.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "xlsx/isolate/LargePageHeap.h"

namespace spreadsheet {
namespace {

long ResidentPages() {
  long size = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  const int got = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident : -1;
}

// Linux before 5.14 knows no MADV_POPULATE_WRITE: the thread then does nothing.
bool SystemPopulates() {
  const long page = ::sysconf(_SC_PAGESIZE);
  void* p = ::mmap(nullptr, static_cast<std::size_t>(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  const bool ok = ::madvise(p, static_cast<std::size_t>(page), MADV_POPULATE_WRITE) == 0;
  ::munmap(p, static_cast<std::size_t>(page));
  return ok;
}

TEST(LargePageHeap, PrefaultMakesTheFreeTopResidentAndKeepsTheBlocks) {
  EXPECT_FALSE(LargePageHeap::Prefault(0).joinable());
  // The test's heap has grown before: its free top is used up first, so that the reserve grows it.
  std::vector<std::unique_ptr<char[]>> filler;
  while (::mallinfo2().keepcost > (std::size_t{64} << 10) && filler.size() < 4096) filler.emplace_back(new char[32 << 10]);
  if (LargePageHeap::Reserve(std::size_t{64} << 20) == 0) GTEST_SKIP() << "the allocator does not grow its heap by brk";
  std::vector<std::unique_ptr<std::string>> blocks;
  for (int i = 0; i < 2000; ++i) blocks.push_back(std::make_unique<std::string>(500, static_cast<char>('a' + i % 26)));
  const long before = ResidentPages();
  std::jthread faulting = LargePageHeap::Prefault(std::size_t{24} << 20);
  ASSERT_TRUE(faulting.joinable());
  // Blocks made while the pages are faulted in beside them.
  for (int i = 0; i < 2000; ++i) blocks.push_back(std::make_unique<std::string>(700, static_cast<char>('A' + i % 26)));
  faulting.join();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const char c = static_cast<char>(i < 2000 ? 'a' + i % 26 : 'A' + (i - 2000) % 26);
    ASSERT_EQ(*blocks[i], std::string(blocks[i]->size(), c)) << "block " << i;
  }
  if (SystemPopulates()) {
    const long page = ::sysconf(_SC_PAGESIZE);
    EXPECT_GE((ResidentPages() - before) * page, 16l << 20) << "at least 16 of the 24 MiB asked for (whole large pages)";
  }
}

}  // namespace
}  // namespace spreadsheet
