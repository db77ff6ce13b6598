#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "xlsx/isolate/ReaderProcess.h"

namespace spreadsheet {

// Reader programs started ahead of need, so that a read finds its reader loaded (libraries
// bound, parser set up, waiting for its file) instead of waiting for it to start: for a
// program that knows it will read files (the window at its start, a batch one ahead of each
// worker, the one-file command right after its arguments). Keeps up to `ahead` started
// readers and starts no more than `total` in all (a read past that starts its own). Readers
// are started on a thread of the supply's, so that neither the caller nor a read waits for
// posix_spawn; readers never handed a file are killed and waited for when the supply goes.
// Safe to use from several threads.
class ReaderSupply {
 public:
  static constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);

  // `program`: the reader's path ("" when none was found: Take then gives readers that cannot
  // start). Begins starting `ahead` readers (within `total`).
  ReaderSupply(std::string program, const ReaderProcess::Limits& limits, std::size_t ahead,
               std::size_t total = kUnbounded);
  ~ReaderSupply();
  ReaderSupply(const ReaderSupply&) = delete;
  ReaderSupply& operator=(const ReaderSupply&) = delete;

  const std::string& Program() const { return program_; }
  const ReaderProcess::Limits& Limits() const { return limits_; }

  // A started reader: the longest waiting, one being started, else one started now.
  ReaderProcess Take();
  // Begins starting readers until `ahead` are kept again (within `total`) and returns: called
  // once a taken reader has its file, so that the next one loads while this one reads.
  void Refill();

 private:
  // The starter's loop: readers started until `ahead` are kept (or `total` reached).
  void Start();

  const std::string program_;
  const ReaderProcess::Limits limits_;
  const std::size_t ahead_;
  std::mutex mutex_;
  std::condition_variable started_;
  std::size_t left_;      // readers it may still start ahead
  bool starting_ = false;  // starter_ is at work
  std::vector<ReaderProcess> ready_;
  std::thread starter_;
};

}  // namespace spreadsheet
