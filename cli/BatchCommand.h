#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// levelbook-cli with several inputs and -d OUTDIR: each input's book goes to OUTDIR/<its file
// name>, the files are worked on by `jobs` threads at once, and a failure never stops the others.
class BatchCommand {
 public:
  enum class Verdict { Passed, OutOfTolerance, Failed };
  // What became of one file; `text` is one line (the summary or why it failed).
  struct FileResult {
    Verdict verdict = Verdict::Failed;
    std::string text;
    std::vector<std::string> notes;  // for the error stream, after the file's line
  };
  // Generates one book; runs on a worker thread, so it must share no mutable state. An exception
  // it throws counts as that file's failure.
  using FileJob = std::function<FileResult(const std::string& input, const std::string& output)>;

  // The output of each input, in order. Returns why the plan is refused (OUTDIR is an input's own
  // folder, which would overwrite it; two inputs share a file name, one book would overwrite the
  // other), or an empty string.
  static std::string Plan(const std::vector<std::string>& inputs, const std::string& outputDir,
                          std::vector<std::string>& outputs);

  // Runs `job` on every input/output pair with up to `jobs` (≥ 1) threads; prints one line per
  // file to `out` (its notes to `err`) in input order as soon as it and those before it are done,
  // then the total. Returns the exit status: 1 if any file failed, else 3 if any book is 超限, else 0.
  static int Run(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs, unsigned jobs,
                 const FileJob& job, std::ostream& out, std::ostream& err);
};

}  // namespace cli
