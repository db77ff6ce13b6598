#include "cli/BatchCommand.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

namespace cli {

namespace fs = std::filesystem;

namespace {

// Absolute and without "..", symbolic links resolved as far as the path exists.
fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::absolute(path).lexically_normal() : resolved;
}

const char* VerdictText(BatchCommand::Verdict verdict) {
  switch (verdict) {
    case BatchCommand::Verdict::Passed:
      return "合格";
    case BatchCommand::Verdict::OutOfTolerance:
      return "超限";
    case BatchCommand::Verdict::Failed:
      break;
  }
  return "失败";
}

}  // namespace

std::string BatchCommand::Plan(const std::vector<std::string>& inputs, const std::string& outputDir,
                               std::vector<std::string>& outputs) {
  outputs.clear();
  const fs::path folder = Resolved(outputDir);
  std::set<fs::path> names;
  for (const std::string& input : inputs) {
    const fs::path name = fs::path(input).filename();
    if (name.empty() || name == "." || name == "..") return "输入“" + input + "”不是文件名";
    if (Resolved(input).parent_path() == folder) {
      return "输出文件夹“" + outputDir + "”就是输入文件“" + input + "”所在的文件夹，会覆盖输入文件";
    }
    if (!names.insert(name).second) {
      return "有两个输入文件都名为“" + name.string() + "”，在输出文件夹中会互相覆盖";
    }
    outputs.push_back((fs::path(outputDir) / name).string());
  }
  return {};
}

int BatchCommand::Run(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs, unsigned jobs,
                      const FileJob& job, std::ostream& out, std::ostream& err) {
  const std::size_t count = inputs.size();
  std::vector<std::optional<FileResult>> results(count);
  std::mutex mutex;
  std::condition_variable done;
  std::atomic<std::size_t> next{0};

  auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      FileResult result;
      try {
        result = job(inputs[i], outputs[i]);
      } catch (const std::exception& e) {
        result = {Verdict::Failed, e.what(), {}};
      } catch (...) {
        result = {Verdict::Failed, "未知错误", {}};
      }
      {
        const std::lock_guard<std::mutex> lock(mutex);
        results[i] = std::move(result);
      }
      done.notify_one();
    }
  };
  std::vector<std::thread> workers;
  const std::size_t threads = std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(count, 1));
  for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);

  int passed = 0, outOfTolerance = 0, failed = 0;
  for (std::size_t i = 0; i < count; ++i) {
    FileResult result;
    {
      std::unique_lock<std::mutex> lock(mutex);
      done.wait(lock, [&] { return results[i].has_value(); });
      result = std::move(*results[i]);
    }
    if (result.verdict == Verdict::Passed) {
      ++passed;
    } else if (result.verdict == Verdict::OutOfTolerance) {
      ++outOfTolerance;
    } else {
      ++failed;
    }
    out << inputs[i];
    if (result.verdict != Verdict::Failed) out << " → " << outputs[i];
    out << "：" << VerdictText(result.verdict) << "，" << result.text << "\n" << std::flush;
    for (const std::string& note : result.notes) err << inputs[i] << "：" << note << "\n";
  }
  for (std::thread& worker : workers) worker.join();

  out << "共 " << count << " 个文件：合格 " << passed << " 个，超限 " << outOfTolerance << " 个，失败 " << failed << " 个\n";
  return failed > 0 ? 1 : outOfTolerance > 0 ? 3 : 0;
}

}  // namespace cli
