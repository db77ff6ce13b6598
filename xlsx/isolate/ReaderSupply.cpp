#include "xlsx/isolate/ReaderSupply.h"

#include <system_error>
#include <utility>

namespace spreadsheet {

ReaderSupply::ReaderSupply(std::string program, const ReaderProcess::Limits& limits, std::size_t ahead,
                           std::size_t total)
    : program_(std::move(program)), limits_(limits), ahead_(ahead), left_(total) {
  Refill();
}

ReaderSupply::~ReaderSupply() {
  if (starter_.joinable()) starter_.join();
}

ReaderProcess ReaderSupply::Take() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // A reader being started is as far along as one started now would be.
    started_.wait(lock, [&] { return !ready_.empty() || !starting_; });
    if (!ready_.empty()) {
      ReaderProcess reader = std::move(ready_.front());
      ready_.erase(ready_.begin());
      return reader;
    }
  }
  return ReaderProcess(program_, limits_);
}

void ReaderSupply::Refill() {
  if (program_.empty()) return;
  std::thread finished;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    // A starter at work looks again after each reader it starts.
    if (starting_ || ready_.size() >= ahead_ || left_ == 0) return;
    finished = std::move(starter_);  // had ended its loop (starting_ was false)
    try {
      starter_ = std::thread(&ReaderSupply::Start, this);
      starting_ = true;
    } catch (const std::system_error&) {
      // No thread to be had: each read then starts its own reader.
    }
  }
  if (finished.joinable()) finished.join();
}

void ReaderSupply::Start() {
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (ready_.size() >= ahead_ || left_ == 0) {
        starting_ = false;
        started_.notify_all();
        return;
      }
      --left_;
    }
    ReaderProcess reader(program_, limits_);
    const std::lock_guard<std::mutex> lock(mutex_);
    ready_.push_back(std::move(reader));
    started_.notify_all();
  }
}

}  // namespace spreadsheet
