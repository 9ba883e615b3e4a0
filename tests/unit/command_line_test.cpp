#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

#include "Commandline.h"
#include "command_line.h"

namespace corvane {
namespace {

QStringList Parse(const char* line) {
  QStringList files{"left over"};
  ParseCommandLine(&files, line);
  return files;
}

TEST(ParseCommandLine, SplitsAtSpacesAndCommasOutsideQuotes) {
  const struct {
    const char* line;
    QStringList items;
  } cases[] = {
      {"prog.exe", {"prog.exe"}},
      {R"("C:\Program Files\Tool\prog.exe" a.dll "C:\My Files\b.exe")",
       {R"(C:\Program Files\Tool\prog.exe)", "a.dll", R"(C:\My Files\b.exe)"}},
      {"prog.exe a.dll,b.dll", {"prog.exe", "a.dll", "b.dll"}},
      {R"(prog.exe "x,y.dll")", {"prog.exe", "x,y.dll"}},
      {R"(prog.exe "")", {"prog.exe"}},
      {R"(prog.exe "C:\a b\c.dll)", {"prog.exe", R"(C:\a b\c.dll)"}},
      {"prog.exe a.dll  ,  ,b.dll ", {"prog.exe", "a.dll", "b.dll"}},
      {"prog.exe a.dll\tb.dll", {"prog.exe", "a.dll\tb.dll"}},
      {" \t\x01prog.exe x", {"prog.exe", "x"}},
      {"", {}},
      {"prog.exe a.dll a.dll", {"prog.exe", "a.dll", "a.dll"}},
      {R"(prog.exe ab"cd")", {"prog.exe", "cd"}},
      {R"(prog.exe "a b"c)", {"prog.exe", "a b", "c"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.line), c.items) << c.line;
}

TEST(ParseCommandLine, GivesEveryArgumentBackAsOneItemAfterTheLineIsRebuilt) {
  const std::vector<const char*> argv = {"/usr/bin/corvane", "a.dll",  "b c.dll", "x,y.dll",
                                         "",                 "tab\tname", "/dir with space/z.exe"};
  SetCommandLineFromArguments(static_cast<int>(argv.size()), argv.data());
  QStringList files;
  ParseCommandLine(&files);
  EXPECT_EQ(files, QStringList({"/usr/bin/corvane", "a.dll", "b c.dll", "x,y.dll", "tab\tname",
                                "/dir with space/z.exe"}))
      << "an empty argument names no file and is dropped";
  SetCommandLineFromArguments(0, nullptr);
}

}  // namespace
}  // namespace corvane
