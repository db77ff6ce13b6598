#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// The arguments of levelbook-cli: INPUT.xlsx -o OUTPUT.xlsx [--seed N] [--set NAME=VALUE]…
// Options also take the form --output=FILE, --seed=N, --set=NAME=VALUE; "--" ends the options.
// --sample stands for the input: the sample route among the data files.
// The batch form: INPUT.xlsx… -d OUTDIR [-j N] [--seed N] [--set NAME=VALUE]… (also --output-dir,
// --jobs), one output OUTDIR/<input file name> per input.
// --observed reduces the observations of "观测记录" instead of generating (no --seed); with
// --import FILE (single-file form only) they come from a level's file.
class CommandLine {
 public:
  // A malformed command line; the message names the bad argument, in Chinese.
  class Error : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  std::string Input;   // the single-file form
  std::string Output;
  std::string Pdf;  // --pdf: the book also as PDF
  std::vector<std::string> Inputs;  // the batch form (OutputDir given), in the order given
  std::string OutputDir;
  std::optional<unsigned> Jobs;     // ≥ 1
  std::optional<std::uint64_t> Seed;
  std::vector<std::pair<std::string, std::string>> Settings;  // in the order given
  bool Sample = false;  // Input is empty: the caller finds sample.xlsx
  bool Observed = false;
  std::string Import;   // with Observed: the file of observations
  bool Help = false;
  bool Version = false;

  // args without the program name. Throws Error; with --help or --version (whichever comes
  // first) the other arguments are not checked.
  static CommandLine Parse(const std::vector<std::string>& args);
  static std::string HelpText();
};

}  // namespace cli
