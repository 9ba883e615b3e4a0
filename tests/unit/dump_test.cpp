// corvane-dump as a user runs it: arguments, exit status, and what it prints
// for the bundled sample.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

struct DumpRun {
  int status;
  std::string out;
};

// Runs the dump with `arguments` (already shell-quoted), standard error
// merged into the output when `withErrors`.
DumpRun Dump(const std::string& arguments, bool withErrors = false) {
  std::string command = Quoted(CORVANE_DUMP);
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


TEST(Dump, PrintsTheSampleProgramsTreeAndTotals) {
  const DumpRun run = Dump(Quoted(CORVANE_SAMPLE_EXE));
  ASSERT_EQ(run.status, 0);
  const std::string expectedStart = std::string(CORVANE_SAMPLE_EXE) +
                                    "\n"
                                    "├── Stats\n"
                                    "│   ├── Image Base Addr: 0x00400000\n";
  EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(run.out.find("├── greeter.dll\n│   ├──      3 (ordinal)\n│   ├── GreetCount\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("│   ├── Version: 1.0.3.12\n"), std::string::npos);
  EXPECT_NE(run.out.find("\nCode: "), std::string::npos) << "the status panels follow the tree";
}

TEST(Dump, JsonHoldsTheTreeStatusAndErrors) {
  const DumpRun run = Dump("--json " + Quoted(CORVANE_SAMPLE_DLL) + " /nonexistent/file.dll");
  EXPECT_EQ(run.status, 1) << "a file failed";
  EXPECT_EQ(run.out.rfind("{\"tree\":[{\"text\":\"" + std::string(CORVANE_SAMPLE_DLL) + "\",\"icon\":0,", 0), 0u)
      << run.out.substr(0, 200);
  EXPECT_NE(run.out.find("{\"text\":\"Exported APIs\",\"icon\":3,\"children\":[{\"text\":\"GreetCount (3)\",\"icon\":4,"),
            std::string::npos);
  EXPECT_NE(run.out.find("\"errors\":[{\"file\":\"/nonexistent/file.dll\",\"message\":\"File not found.\"}]}"),
            std::string::npos);
  EXPECT_NE(run.out.find("\"status\":[\"Code: "), std::string::npos);
}

TEST(Dump, ReportsErrorsOnStandardErrorAndExitsWithOne) {
  const DumpRun run = Dump("/nonexistent/a.dll", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "corvane-dump: /nonexistent/a.dll: File not found.\n");
}

TEST(Dump, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
  EXPECT_EQ(Dump("").status, 2);
  EXPECT_EQ(Dump("--frobnicate x.dll").status, 2);
  const DumpRun help = Dump("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: corvane-dump", 0), 0u);
  const DumpRun version = Dump("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "corvane-dump 1.4.0.0\n");
}

TEST(Dump, TakesANameThatLooksLikeAnOptionAfterTheSeparator) {
  const DumpRun run = Dump("-- --json", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "corvane-dump: --json: File not found.\n");
}

}  // namespace
