#include "command_line.h"

#include <algorithm>

namespace corvane {
namespace {

struct StoredCommandLine {
  std::string line;
  std::vector<std::string> arguments;
};

StoredCommandLine& Stored() {
  static StoredCommandLine stored;
  return stored;
}

bool NeedsQuotes(const std::string& item) {
  return std::any_of(item.begin(), item.end(),
                     [](char c) { return c == ',' || static_cast<unsigned char>(c) <= ' '; });
}

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string item = argv[i];
    if (i > 0) line += ' ';
    line += NeedsQuotes(item) ? '"' + item + '"' : item;
  }
  return line;
}

}  // namespace

void SetCommandLineFromArguments(int argc, const char* const* argv) {
  Stored().line = JoinCommandLine(argc, argv);
  Stored().arguments.assign(argv, argv + argc);
}

const char* GetCommandLineA() { return Stored().line.c_str(); }

bool CommandLineCarriesArguments() {
  const std::vector<std::string>& arguments = Stored().arguments;
  return (arguments.empty() || !arguments.front().empty()) &&
         std::none_of(arguments.begin(), arguments.end(),
                      [](const std::string& argument) { return argument.find('"') != std::string::npos; });
}

const std::vector<std::string>& CommandLineArguments() { return Stored().arguments; }

}  // namespace corvane
