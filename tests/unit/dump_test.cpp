// corvane-dump as a user runs it: arguments, exit status, and what it prints
// for the bundled sample.

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dump_run.h"
#include "pe_writer.h"
#include "temp_files.h"

namespace {

using corvane::testing::Dump;
using corvane::testing::DumpRun;
using corvane::testing::Quoted;

TEST(Dump, ArgumentsGiveTheirExitStatusAndOutput) {
  const std::string exe = CORVANE_SAMPLE_EXE, dll = CORVANE_SAMPLE_DLL;
  const struct {
    std::string arguments;
    bool withErrors;
    int status;
    std::string start;
    std::vector<std::string> contains;
  } cases[] = {
      {Quoted(exe), false, 0, exe + "\n├── Stats\n│   ├── Image Base Addr: 0x00400000\n",
       {"├── greeter.dll\n│   ├──      3 (ordinal)\n│   ├── GreetCount\n", "│   ├── Version: 1.0.3.12\n",
        "\nCode: "}},  // the status panels follow the tree
      {"--json " + Quoted(dll) + " /nonexistent/file.dll", false, 1, "{\"tree\":[{\"text\":\"" + dll + "\",\"icon\":0,",
       {"{\"text\":\"Exported APIs\",\"icon\":3,\"children\":[{\"text\":\"GreetCount (3)\",\"icon\":4,",
        "\"errors\":[{\"file\":\"/nonexistent/file.dll\",\"message\":\"File not found.\"}]}", "\"status\":[\"Code: "}},
      {"/nonexistent/a.dll", true, 1, "corvane-dump: /nonexistent/a.dll: File not found.\n", {}},
      {"-- --json", true, 1, "corvane-dump: --json: File not found.\n", {}},  // a name after the separator
      {"", false, 2, "", {}},
      {"--frobnicate x.dll", false, 2, "", {}},
      {"--explain x.dll", false, 2, "", {}},  // --explain needs --from
      {"--ship " + Quoted(exe), false, 2, "", {}},  // --ship lists what --modules finds
      {"--modules --ship --json " + Quoted(exe), false, 2, "", {}},
      {"--help", false, 0, "Usage: corvane-dump", {"xargs -d '\\n' cp -t dist/ < list\n"}},
      {"--version", false, 0, "corvane-dump 1.4.0.0\n", {}},
  };
  for (const auto& c : cases) {
    const DumpRun run = Dump(c.arguments, c.withErrors);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_EQ(run.out.substr(0, c.start.size()), c.start) << c.arguments;
    for (const std::string& part : c.contains) EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
  }
}

// Against Wine's amd64 folder: the UCRT-linked x86-64 sample's C runtime
// comes through API sets; the i686 sample's KERNEL32.dll is not there.
TEST(Dump, ShowsApiSetHostsPassedOverFilesAndHowALibraryIsFound) {
  const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  if (!std::filesystem::exists(wine + "ucrtbase.dll")) GTEST_SKIP() << "Wine's PE libraries (libwine) are not installed";
  const std::string system = "CORVANE_SYSTEM_PATH=" + wine + " ";
  const DumpRun depth = Dump("--depth 1 " + Quoted(CORVANE_SAMPLE_UCRT_EXE), false, system);
  for (const std::string& library : {"api-ms-win-crt-runtime-l1-1-0.dll (" + wine + "ucrtbase.dll)\n",
                                     "KERNEL32.dll (" + wine + ")\n│   ├── Stats\n"}) {
    EXPECT_NE(depth.out.find("── " + library), std::string::npos) << library << depth.out;
  }
  const DumpRun passedOver = Dump("--depth 1 " + Quoted(CORVANE_SAMPLE_EXE), true, system);
  EXPECT_NE(passedOver.out.find("corvane-dump: KERNEL32.dll: File not found\ncorvane-dump: KERNEL32.dll: passed over " +
                                wine + "kernel32.dll: another machine (x86-64)\n"),
            std::string::npos)
      << passedOver.out;

  const DumpRun modules = Dump("--modules " + Quoted(CORVANE_SAMPLE_UCRT_EXE), false, system);
  EXPECT_EQ(modules.status, 0) << modules.out;
  EXPECT_NE(modules.out.find("\tapi-ms-win-crt-runtime-l1-1-0.dll => " + wine + "ucrtbase.dll (API set)\n"),
            std::string::npos);

  const DumpRun found =
      Dump("--explain api-ms-win-crt-stdio-l1-1-0.dll --from " + Quoted(CORVANE_SAMPLE_UCRT_EXE), false, system);
  EXPECT_EQ(found.status, 0);
  EXPECT_NE(found.out.find("\nAPI set: api-ms-win-crt-stdio-l1-1-0.dll is hosted by ucrtbase.dll (" + wine +
                           "apisetschema.dll)\n"),
            std::string::npos)
      << found.out;
  EXPECT_NE(found.out.find("/sample-x86_64/ucrtbase.dll: no such file\n"), std::string::npos);
  EXPECT_NE(found.out.find("\n  " + wine + "ucrtbase.dll: found\nFound: " + wine + "ucrtbase.dll\n"), std::string::npos);
  const DumpRun notFound = Dump("--explain KERNEL32.dll --from " + Quoted(CORVANE_SAMPLE_EXE), false, system);
  EXPECT_EQ(notFound.status, 3);
  EXPECT_EQ(notFound.out.substr(notFound.out.size() - 10), "Not found\n");
}

// What the C++ sample must ship with, as a user runs it: Wine's folder
// stands in for the system's.
TEST(Dump, TheCppSampleNeedsItsLibraryAndTheCompilersRuntime) {
  const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/", exe = CORVANE_SAMPLE_CPP_EXE;
  if (!std::filesystem::exists(wine + "kernel32.dll")) GTEST_SKIP() << "Wine's PE libraries are not installed";
  if (exe.empty()) GTEST_SKIP() << "the C++ sample was not built";
  const auto Ship = [&](const std::string& arguments) {
    return Dump("--modules --ship " + arguments, true, "CORVANE_SYSTEM_PATH=" + wine + " ");
  };
  const std::string lib = std::filesystem::path(exe).parent_path().string() + "/lib";
  const DumpRun alone = Ship(Quoted(exe));
  EXPECT_EQ(alone.status, 3);
  EXPECT_EQ(alone.out, "corvane-dump: " + exe + ": libgcc_s_seh-1.dll: not found (needed by tally.exe)\n" +
                           "corvane-dump: " + exe + ": libstdc++-6.dll: not found (needed by tally.exe)\n" +
                           "corvane-dump: " + exe + ": wordcount.dll: not found (needed by tally.exe)\n");

  std::string paths = "--path " + Quoted(lib);
  std::map<std::string, std::string> runtime;
  for (const QString& joined : QString(CORVANE_SAMPLE_CPP_RUNTIME).split(':')) {
    const std::string folder = joined.toStdString();
    paths += " --path " + Quoted(folder);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) runtime[entry.path().filename()] = folder;
  }
  const DumpRun found = Ship(paths + " " + Quoted(exe));
  EXPECT_EQ(found.status, 0) << found.out;
  EXPECT_EQ(found.out, runtime["libgcc_s_seh-1.dll"] + "/libgcc_s_seh-1.dll\n" + runtime["libstdc++-6.dll"] +
                           "/libstdc++-6.dll\n" + lib + "/wordcount.dll\n" + runtime["libwinpthread-1.dll"] +
                           "/libwinpthread-1.dll\n");
}

// A chain a.exe -> b.dll -> c.dll -> d.dll: --depth N inspects exactly the
// first N libraries of it, whatever lies further down.
TEST(Dump, DepthInspectsExactlyThatManyLevelsOfLibraries) {
  using corvane::testing::ByName;
  using corvane::testing::Layout;
  using corvane::testing::PeWriter;
  const corvane::testing::TempDir dir;
  const std::string chain[] = {"a.exe", "b.dll", "c.dll", "d.dll"};
  for (std::size_t i = 0; i < std::size(chain); ++i) {
    PeWriter writer(Layout::Pe32);
    if (i > 0) writer.Export("F", 0);
    if (i + 1 < std::size(chain)) writer.Import(chain[i + 1], {ByName("F")});
    dir.Write(chain[i], writer.Build().bytes);
  }
  for (int depth = 0; depth <= 4; ++depth) {
    const DumpRun run = Dump("--depth " + std::to_string(depth) + " " + Quoted(dir.Path() + "/a.exe"));
    EXPECT_EQ(run.status, 0) << run.out;
    std::vector<std::string> inspected;
    for (std::size_t i = 1; i < std::size(chain); ++i) {
      if (run.out.find(chain[i] + " (" + dir.Path() + "/)\n") != std::string::npos) inspected.push_back(chain[i]);
    }
    const std::vector<std::string> expected(chain + 1, chain + 1 + std::min<std::size_t>(depth, std::size(chain) - 1));
    EXPECT_EQ(inspected, expected) << depth << "\n" << run.out;
  }
}

}  // namespace
