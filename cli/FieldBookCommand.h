#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "leveling/LevelingSettings.h"

namespace cli {

class CommandLine;

// levelbook-cli: reads the input workbook, generates the field book as "开始计算" does and saves
// the whole workbook. Exit codes: 0 done, 1 a file that cannot be read or written or input the
// generation rejects, 2 a bad command line or settings, 3 written but the closure exceeds the
// limit. On any failure no output file is written. The summary names the verdict and the seed.
class FieldBookCommand {
 public:
  static constexpr int kOk = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;
  static constexpr int kExceedsLimit = 3;

  // args without the program name; the summary goes to out, every failure to err. `keep`: the
  // workbook of a one-file run and what was made of it are handed there instead of freed (a
  // program about to end need not take them apart).
  static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 std::shared_ptr<void>* keep = nullptr);

  // The settings after the given NAME=VALUE changes, checked by the settings dialog's rules.
  // Returns false with the dialog's message (or one naming an unknown NAME or a bad switch value).
  static bool ApplySettings(const std::vector<std::pair<std::string, std::string>>& changes,
                            gaocheng::LevelingSettings& settings, std::string& message);

 private:
  // After a single book was written: the PDF when asked for; kFailed when it cannot be written.
  static int WritePdf(const CommandLine& line, int status, std::ostream& out, std::ostream& err);
  // The batch form (-d OUTDIR): exit status 1 if any file failed, else 3 if any book is 超限, else 0.
  static int RunBatch(const CommandLine& line, const gaocheng::LevelingSettings& settings, std::ostream& out,
                      std::ostream& err);
};

}  // namespace cli
