#pragma once

// The program's arguments as start-up takes them apart. "--" ends the
// options: the arguments after it are file names that QApplication never
// sees, since Qt ignores "--" and would still take "-style x.dll" after it
// as its own option. "--help" and "--version" before it are answered before
// QApplication exists, so that they need no display.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

class StartupArguments {
 public:
  StartupArguments(int argc, char** argv);
  StartupArguments(const StartupArguments&) = delete;
  StartupArguments& operator=(const StartupArguments&) = delete;

  // The help or the version text when one was asked for: the program then
  // prints it and ends without a window.
  const std::optional<std::string>& Answer() const { return answer_; }

  // For QApplication, which keeps the reference and takes its own options
  // out: the program's path and the arguments before "--".
  int& QtArgc() { return qtArgc_; }
  char** QtArgv() { return qtArguments_.data(); }

  // Sets the process's command line to what QApplication left, followed by
  // the arguments after "--".
  void SetCommandLine() const;

 private:
  std::vector<char*> qtArguments_;  // ends with a null pointer, as argv does
  int qtArgc_ = 0;
  std::vector<const char*> files_;
  std::optional<std::string> answer_;
};

}  // namespace corvane
