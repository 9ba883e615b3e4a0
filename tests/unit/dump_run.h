#pragma once

// Runs corvane-dump as a user would, through the shell.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace corvane::testing {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

struct DumpRun {
  int status;
  std::string out;
};

// Runs the dump (or a copy of it at `program`) with `arguments` (already
// shell-quoted), standard error merged into the output when `withErrors`,
// `environment` set before.
inline DumpRun Dump(const std::string& arguments, bool withErrors = false, const std::string& environment = "",
                    const std::string& program = CORVANE_DUMP) {
  std::string command = environment + Quoted(program);
  command += ' ';
  command += arguments;
  command += withErrors ? " 2>&1" : " 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, {}};
  std::string out;
  std::array<char, 4096> buffer;
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace corvane::testing
