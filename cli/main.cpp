#include <iostream>
#include <string>
#include <vector>

#include "cli/FieldBookCommand.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return cli::FieldBookCommand::Run(args, std::cout, std::cerr);
}
