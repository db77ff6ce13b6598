#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/FieldBookCommand.h"

int main(int argc, char** argv) {
  // A closed standard output (a batch piped into `head`) is a failed write, not the end of the
  // run: the books are still written, and the exit status tells the summary was lost.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  int status = cli::FieldBookCommand::Run(args, std::cout, std::cerr);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "无法写出结果（标准输出已关闭或磁盘已满）\n";
    if (status == cli::FieldBookCommand::kOk) status = cli::FieldBookCommand::kFailed;
  }
  return status;
}
