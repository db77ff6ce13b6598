#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/FieldBookCommand.h"
#include "xlsx/isolate/LargePageHeap.h"

#if defined(__SANITIZE_ADDRESS__)
#define LEVELBOOK_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEVELBOOK_LEAK_CHECKED 1
#endif
#endif

int main(int argc, char** argv) {
#ifndef LEVELBOOK_LEAK_CHECKED
  // The longest book's heap stays well inside it.
  spreadsheet::LargePageHeap::Reserve(std::size_t{256} << 20);
#endif
  // A closed standard output (a batch piped into `head`) is a failed write, not the end of the
  // run: the books are still written, and the exit status tells the summary was lost.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::shared_ptr<void> book;
  int status = cli::FieldBookCommand::Run(args, std::cout, std::cerr, &book);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "无法写出结果（标准输出已关闭或磁盘已满）\n";
    if (status == cli::FieldBookCommand::kOk) status = cli::FieldBookCommand::kFailed;
  }
  std::cerr.flush();
#ifndef LEVELBOOK_LEAK_CHECKED
  // Everything is written, synced, renamed and flushed, and no temporary file is left: taking
  // the workbook apart (some 15 ms for a full book) would change nothing the user sees. Under
  // AddressSanitizer the program ends normally, so that its leak check still covers the run.
  std::fflush(nullptr);
  std::_Exit(status);
#endif
  return status;
}
