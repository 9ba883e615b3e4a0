#include "startup_arguments.h"

#include <string_view>

#include "command_line.h"
#include "corvane_version.h"

namespace corvane {
namespace {

// help2man turns this into the manual page, so the sections it knows stand
// as it expects them.
constexpr const char* kHelp =
    "Usage: corvane [QT-OPTION]... [FILE]... [-- FILE...]\n"
    "  or:  corvane --help | --version\n"
    "Shows what Windows programs and libraries (Portable Executable files:\n"
    "programs, DLLs, drivers, controls) import and export, one tree per FILE,\n"
    "the file named last on top. Files are only read, never run.\n"
    "\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "  --          end the options: every argument after it is a file name,\n"
    "              also one that starts with a hyphen\n"
    "\n"
    "Qt's own options, such as -style NAME or -platform NAME, are taken from the\n"
    "arguments before --; every other argument is a file name.\n";

}  // namespace

StartupArguments::StartupArguments(int argc, char** argv) {
  // The program's own name is Qt's first argument, never an option.
  if (argc > 0) qtArguments_.push_back(argv[0]);
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (optionsEnded) {
      files_.push_back(argv[i]);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (!answer_ && argument == "--help") answer_ = kHelp;
    if (!answer_ && argument == "--version") answer_ = std::string("corvane ") + kVersionText + "\n";
    qtArguments_.push_back(argv[i]);
  }
  qtArgc_ = static_cast<int>(qtArguments_.size());
  qtArguments_.push_back(nullptr);
}

void StartupArguments::SetCommandLine() const {
  std::vector<const char*> arguments(qtArguments_.begin(), qtArguments_.begin() + qtArgc_);
  arguments.insert(arguments.end(), files_.begin(), files_.end());
  SetCommandLineFromArguments(static_cast<int>(arguments.size()), arguments.data());
}

}  // namespace corvane
