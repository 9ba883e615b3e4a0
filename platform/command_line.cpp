#include "command_line.h"

namespace corvane {
namespace {

std::string& StoredCommandLine() {
  static std::string line;
  return line;
}

}  // namespace

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string item = argv[i];
    if (i > 0) line += ' ';
    if (item.find_first_of(" ,") == std::string::npos) {
      line += item;
    } else {
      line += '"' + item + '"';
    }
  }
  return line;
}

void SetCommandLineFromArguments(int argc, const char* const* argv) { StoredCommandLine() = JoinCommandLine(argc, argv); }

const char* GetCommandLineA() { return StoredCommandLine().c_str(); }

}  // namespace corvane
