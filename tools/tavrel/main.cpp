// tavrel: see cli.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/tavrel/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return tavrel::cli::RunTavrel(args, std::cin, std::cout, std::cerr);
}
