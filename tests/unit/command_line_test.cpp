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

TEST(ParseCommandLine, GivesEveryNonEmptyArgumentBackAsOneItem) {
  // The program's own path stays first, so that the window's dropping item 0
  // never drops a file.
  const std::vector<std::vector<const char*>> argvs = {
      {"/usr/bin/corvane", "a.dll", "b c.dll", "x,y.dll", "", "tab\tname", "/dir with space/z.exe"},
      {"/usr/bin/corvane", "a\"b.dll", "c.dll", "\"q d,e\"", "", "gr\xC3\xB6\xC3\x9F" "e.dll"},
      {"", "a.dll", "b.dll"},
      {"\t", "a.dll"},
  };
  for (const auto& argv : argvs) {
    SetCommandLineFromArguments(static_cast<int>(argv.size()), argv.data());
    QStringList files;
    ParseCommandLine(&files);
    QStringList expected{QString::fromUtf8(argv.front())};
    for (std::size_t i = 1; i < argv.size(); ++i)
      if (*argv[i] != '\0') expected.append(QString::fromUtf8(argv[i]));
    EXPECT_EQ(files, expected) << argv[1];
  }
  SetCommandLineFromArguments(0, nullptr);
}

}  // namespace
}  // namespace corvane
