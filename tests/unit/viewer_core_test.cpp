#include "viewer_core.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "node_kinds.h"
#include "pe_writer.h"
#include "reading_budget.h"
#include "temp_files.h"
#include "tree_output.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

using namespace testing;  // the PE writer and the viewer's test shell

const QString kNotPe = "Invalid file format (not a Portable Executable file).";
const QString kTreeCut = "The file repeats its tables over and over: only part of it is shown.";
const std::vector<QString> kNoStatus(kStatusPanelCount);

// Restores the working directory, which opening files changes.
class ViewerCoreTest : public ::testing::Test {
 protected:
  ViewerCoreTest() : startDirectory_(std::filesystem::current_path()) {}
  ~ViewerCoreTest() override { std::filesystem::current_path(startDirectory_); }

  std::string Write(const std::string& name, const BuiltImage& image) { return dir_.Write(name, image.bytes); }
  std::string Write(const std::string& name, const std::string& bytes) {
    return dir_.Write(name, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  }
  // Shows `image` alone and returns its tree.
  std::string Show(const BuiltImage& image) {
    viewer_.core.ClearAll();
    viewer_.shell.errors.clear();
    viewer_.core.ProcessFile(nullptr, Write("a.dll", image));
    return TreeAsText(viewer_.core.Items(), {});
  }
  const TTreeNode* Root() { return viewer_.core.Items().TopItem(0); }

  TempDir dir_;
  TestViewer viewer_;

 private:
  std::filesystem::path startDirectory_;
};

TEST_F(ViewerCoreTest, AFileShowsStatsExportsAndLibrariesInTheirFixedOrderAndFormats) {
  const struct {
    BuiltImage image;
    std::string tree;
  } cases[] = {
      {PeWriter(Layout::Pe32)
           .ImageBase(0x400000)
           .SizeOfCode(1536)
           .SizeOfInitializedData(1000)
           .SizeOfUninitializedData(24)
           .Export("Zeta", 7)
           .Export("alpha", 0)
           .Import("zlib.dll", {ByName("inflate"), ByName("Deflate")})
           .Import("KERNEL32.dll", {ByName("ExitProcess"), ByOrdinal(17), ByName("CreateFileA"), ByOrdinal(3)})
           .Import("empty.dll", {ByName("")})
           .Import("advapi32.dll", {ByOrdinal(65535)})
           .Version(FixedFileInfo{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004, .productVersionMS = 0xFFFF0000,
                                  .productVersionLS = 0x0000FFFF, .fileFlags = 0x21, .fileType = 2})
           .Build(),
       "├── Stats\n"
       "│   ├── Image Base Addr: 0x00400000\n"
       "│   ├── Code:  2 Kb (1536 bytes)\n"
       "│   ├── Data:  1 Kb (1024 bytes)\n"
       "│   ├── Version: 1.2.3.4\n"
       "│   ├── Product Version: 65535.0.0.65535\n"
       "│   ├── Flags: SpecialBuild Debug\n"
       "│   └── Type: Dynamic Link Library\n"
       "├── Exported APIs\n"
       "│   ├── Zeta (7)\n"
       "│   └── alpha (0)\n"
       "├── advapi32.dll\n"
       "│   └──  65535 (ordinal)\n"
       "├── KERNEL32.dll\n"
       "│   ├──      3 (ordinal)\n"
       "│   ├──     17 (ordinal)\n"
       "│   ├── CreateFileA\n"
       "│   └── ExitProcess\n"
       "├── zlib.dll\n"
       "│   ├── Deflate\n"
       "│   └── inflate\n"
       "└── empty.dll\n"},
      // One branch per library name, with the union of its descriptors' functions; exports by
      // ordinal only give no export branch.
      {PeWriter(Layout::Pe32Plus)
           .ImageBase(0x180000000ull)
           .SizeOfCode(512)
           .SizeOfInitializedData(0)
           .UnnamedExports(5)
           .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(42)})
           .Import("USER32.dll", {ByName("MessageBoxA")})
           .Import("KERNEL32.dll", {ByName("GetTickCount"), ByName("Sleep")})
           .Import("kernel32.dll", {ByName("Beep")})
           .Build(),
       "├── Stats\n"
       "│   ├── Image Base Addr: 0x0000000180000000\n"
       "│   ├── Code:  1 Kb (512 bytes)\n"
       "│   └── Data:  0 Kb (0 bytes)\n"
       "├── KERNEL32.dll\n"
       "│   ├──     42 (ordinal)\n"
       "│   ├── GetTickCount\n"
       "│   └── Sleep\n"
       "├── kernel32.dll\n"
       "│   └── Beep\n"
       "└── USER32.dll\n"
       "    └── MessageBoxA\n"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Show(c.image), dir_.Path() + "/a.dll\n" + c.tree);
    EXPECT_TRUE(viewer_.shell.errors.empty());
  }
  // Nodes carry the icon of their kind, and only the root is expanded.
  Show(cases[0].image);
  const TTreeNode* root = Root();
  const std::pair<const TTreeNode*, int> icons[] = {
      {root, kIconFile},          {root->Item(0), kIconStats},          {root->Item(0)->Item(0), kIconStatsValue},
      {root->Item(0)->Item(3), kIconVersionValue}, {root->Item(1), kIconExports}, {root->Item(1)->Item(0), kIconExport},
      {root->Item(2), kIconLibrary}, {root->Item(2)->Item(0), kIconImport}};
  for (const auto& [node, icon] : icons) {
    EXPECT_EQ(node->ImageIndex(), icon) << node->Text().toStdString();
    EXPECT_EQ(node->SelectedIndex(), icon);
    EXPECT_EQ(node->Expanded(), node == root);
  }
}

TEST_F(ViewerCoreTest, VersionEntriesFollowTheFlagsAndTypeTables) {
  const struct {
    FixedFileInfo info;
    std::string entries;
  } cases[] = {
      {{.fileFlagsMask = 0x01, .fileFlags = 0x21, .fileType = 1}, "Flags: Debug\nType: Application\n"},
      {{.fileFlagsMask = 0x3F, .fileFlags = 0x3F, .fileType = 0},
       "Flags: SpecialBuild PrivateBuild PreRelease Patched InfoInferred Debug\nType: Unknown\n"},
      {{.fileFlagsMask = 0xFF, .fileFlags = 0x40, .fileType = 7}, "Flags:\nType: Static Link Library\n"},
      {{.fileFlagsMask = 0x00, .fileFlags = 0x3F, .fileType = 6}, ""},
      {{.fileFlags = 0, .fileType = 8}, ""},
  };
  for (const auto& c : cases) {
    Show(PeWriter(Layout::Pe32).Version(c.info).Build());
    const TTreeNode* stats = Root()->Item(0);
    std::string entries;
    for (int i = 5; i < stats->Count(); ++i) entries += stats->Item(i)->Text().toStdString() + "\n";
    EXPECT_EQ(entries, c.entries);
  }
}

TEST_F(ViewerCoreTest, TheWindowIsDisabledAndPumpedOncePerFunctionWhileAFileIsBuilt) {
  Show(PeWriter(Layout::Pe32).Export("a", 0).Export("b", 1).Import("x.dll", {ByName("f"), ByName("f"), ByOrdinal(3)}).Build());
  // Once per function, a duplicate too, then once per module checked: the
  // file and x.dll.
  EXPECT_EQ(viewer_.shell.pumps, 7);
  EXPECT_EQ(viewer_.shell.pumpsWhileDisabled, 7);
  EXPECT_TRUE(viewer_.shell.enabled);
  EXPECT_EQ(viewer_.shell.focused, 1);

  viewer_.shell.onPump = [] { throw std::runtime_error("pump failed"); };
  EXPECT_THROW(Show(PeWriter(Layout::Pe32).Export("a", 0).Build()), std::runtime_error);
  EXPECT_TRUE(viewer_.shell.enabled) << "a build that fails midway still gives the window back";
  EXPECT_EQ(viewer_.shell.cursorDepth, 0);
  EXPECT_FALSE(viewer_.core.Items().Updating());
  EXPECT_FALSE(viewer_.core.Busy());
}

TEST_F(ViewerCoreTest, EachFailureGivesItsOwnMessageAndNoNode) {
  const BuiltImage valid = PeWriter(Layout::Pe32).Build();
  std::string notPe(valid.bytes.begin(), valid.bytes.end());
  notPe[valid.ntHeaders + 2] = 'X';  // "PE" followed by non-zero bytes
  const std::string fifo = dir_.Path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  const struct {
    std::string path;
    QString message;
  } cases[] = {
      {dir_.Path() + "/missing.exe", "File not found."},
      {dir_.Path(), "File not found."},
      {fifo, "File not found."},
      {"", "File not found."},
      {Write("empty.exe", std::string()), "Unable to map file into memory."},
      {Write("dos.exe", std::string("MZ") + std::string(0x3E, '\0')), kNotPe},
      {Write("short.exe", "MZ"), kNotPe},
      {Write("notpe.exe", notPe), kNotPe},
  };
  for (const auto& c : cases) {
    viewer_.shell.errors.clear();
    viewer_.core.ProcessFile(nullptr, c.path);
    ASSERT_EQ(viewer_.shell.errors.size(), 1u) << c.path;
    EXPECT_EQ(viewer_.shell.errors[0].text, c.message) << c.path;
    EXPECT_EQ(viewer_.shell.errors[0].style, kErrorBoxStyle);
    EXPECT_EQ(viewer_.shell.errors[0].file, c.path);
    EXPECT_EQ(viewer_.core.Items().GetCount(), 0);
  }
}

TEST_F(ViewerCoreTest, StatusPanelsShowTotalsEachRoundedFromItsOwnSumOnceThereIsCode) {
  const struct {
    std::uint32_t code, data;
    std::vector<QString> status;
  } cases[] = {
      {0, 2048, kNoStatus},  // data without code shows nothing
      {512, 2048, {"Code: 1 Kb", "Data: 2 Kb", "Total: 3 Kb", ""}},
      {512, 512, {"Code: 1 Kb", "Data: 1 Kb", "Total: 1 Kb", ""}},
  };
  for (const auto& c : cases) {
    Show(PeWriter(Layout::Pe32).SizeOfCode(c.code).SizeOfInitializedData(c.data).Build());
    EXPECT_EQ(viewer_.shell.status, c.status) << c.code << " " << c.data;
  }
  // Opening a list replaces what was shown; a file named twice counts twice.
  const QString file = QString::fromStdString(Write("a.exe", PeWriter(Layout::Pe32).SizeOfCode(1000).Build()));
  viewer_.core.OpenList({file, file});
  EXPECT_EQ(viewer_.shell.status[0], "Code: 2 Kb");
  viewer_.core.OpenList({});
  EXPECT_EQ(viewer_.core.Items().GetCount(), 0);
  EXPECT_EQ(viewer_.shell.status, kNoStatus);
}

// Hostile files whose tables point back at themselves: each would make a
// tree far larger than the file, so the build stops within a budget.
TEST_F(ViewerCoreTest, FilesWhoseTablesPointBackAtThemselvesAreShownOnlyInPart) {
  // Four hundred libraries, each pointed at the first one's table of four
  // hundred functions: 160,000 functions from a file of a few kilobytes.
  constexpr int kLibraries = 400;
  std::vector<testing::ImportEntry> functions;
  for (int i = 0; i < kLibraries; ++i) functions.push_back(ByName(testing::Numbered("F", i)));
  PeWriter sharing(Layout::Pe32);
  sharing.Import("lib0.dll", functions);
  for (int i = 1; i < kLibraries; ++i) sharing.Import(testing::Numbered("lib", i) + ".dll", {ByName("x")});
  BuiltImage shared = sharing.Build();
  const std::uint32_t sharedTable = shared.Read<std::uint32_t>(shared.imports[0].descriptor);
  for (std::size_t i = 1; i < kLibraries; ++i) {
    shared.Patch32(shared.imports[i].descriptor, sharedTable);       // OriginalFirstThunk
    shared.Patch32(shared.imports[i].descriptor + 16, sharedTable);  // FirstThunk
  }
  Show(shared);
  ASSERT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_EQ(viewer_.shell.errors[0].text, kTreeCut);
  EXPECT_GT(viewer_.core.Items().GetCount(), 1000) << "what was read before the stop is shown";
  EXPECT_LE(static_cast<std::size_t>(viewer_.core.Items().GetCount()), EntriesAllowed(shared.bytes.size()) + 16);

  // Ten thousand exports named by one name of four megabytes: forty
  // gigabytes of text from a file of four megabytes.
  PeWriter exporting(Layout::Pe32);
  for (int i = 0; i < 10000; ++i) exporting.Export(testing::Numbered("E", i), static_cast<std::uint16_t>(i));
  exporting.Export(std::string(std::size_t{4} << 20, 'A'), 0);
  BuiltImage exports = exporting.Build();
  const std::size_t names = exports.exportNamePointers.value();
  const std::uint32_t longExport = exports.Read<std::uint32_t>(names + 4 * 10000);
  for (std::size_t i = 0; i < 10000; ++i) exports.Patch32(names + 4 * i, longExport);
  Show(exports);
  ASSERT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_EQ(viewer_.shell.errors[0].text, kTreeCut);
  const std::size_t textAllowed = TextAllowed(exports.bytes.size());
  EXPECT_LE(static_cast<std::size_t>(Root()->Item(1)->Count()), textAllowed / (std::size_t{4} << 20));

  // Twenty thousand thunks, or five thousand descriptors, all naming one
  // name of a megabyte: twenty gigabytes to read for one node each.
  const std::string longName(std::size_t{1} << 20, 'A');
  std::vector<testing::ImportEntry> thunks{ByName(longName)};
  thunks.resize(20000, testing::RawThunk(1));
  BuiltImage repeats = PeWriter(Layout::Pe32).Import("a.dll", thunks).Build();
  const std::size_t table = *repeats.imports[0].originalFirstThunk;
  for (std::size_t i = 1; i < thunks.size(); ++i) repeats.Patch32(table + 4 * i, repeats.Read<std::uint32_t>(table));

  PeWriter manyLibraries(Layout::Pe32);
  manyLibraries.Import(longName, {ByName("f")});
  for (int i = 1; i < 5000; ++i) manyLibraries.Import("x.dll", {ByName("f")});
  BuiltImage libraries = manyLibraries.Build();
  const std::uint32_t longLibrary = libraries.Read<std::uint32_t>(libraries.imports[0].descriptor + 12);
  for (std::size_t d = 1; d < libraries.imports.size(); ++d) libraries.Patch32(libraries.imports[d].descriptor + 12, longLibrary);

  for (const auto& [image, libraryName] : {std::pair{&repeats, 5}, std::pair{&libraries, 1 << 20}}) {
    Show(*image);
    ASSERT_EQ(viewer_.shell.errors.size(), 1u);
    EXPECT_EQ(viewer_.shell.errors[0].text, kTreeCut);
    ASSERT_EQ(Root()->Count(), 2) << "Stats and the one library";
    EXPECT_EQ(Root()->Item(1)->Text().size(), libraryName);
    EXPECT_EQ(Root()->Item(1)->Count(), 1) << "the one function, once";
  }
}

TEST_F(ViewerCoreTest, FunctionsNamedOverAndOverAreShownOnceEachInTheOrderFirstReadAndALargeFileWhole) {
  // Six hundred thousand thunks naming three functions in turn: more than
  // a build holds at once before it drops repeats, twice over.
  std::vector<testing::ImportEntry> thunks{ByName("b"), ByName("B"), ByName("a")};
  thunks.resize(600'000, testing::RawThunk(1));
  BuiltImage image = PeWriter(Layout::Pe32).Import("x.dll", thunks).Build();
  const std::size_t table = *image.imports[0].originalFirstThunk;
  for (std::size_t i = 3; i < thunks.size(); ++i) image.Patch32(table + 4 * i, image.Read<std::uint32_t>(table + 4 * (i % 3)));
  // "b" and "B" order alike, so they keep the order of their first reading.
  const std::string tree = Show(image);
  EXPECT_EQ(tree.substr(tree.find("└── x.dll")), "└── x.dll\n    ├── a\n    ├── b\n    └── B\n");
  EXPECT_TRUE(viewer_.shell.errors.empty());

  // A large well-formed file is shown whole.
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 70000; ++i) writer.Export(testing::Numbered("E", i), static_cast<std::uint16_t>(i));
  Show(writer.Build());
  EXPECT_TRUE(viewer_.shell.errors.empty());
  EXPECT_EQ(Root()->Item(1)->Count(), 70000);
}

// A file's tree shows how its libraries and functions are ordered; its
// sections are made in order, so their groups are checked here.
TEST_F(ViewerCoreTest, InfoTreeCompareOrdersByGroupThenTextWithNoTextFirst) {
  const auto node = [&](const QString& text, int icon = kIconImport, bool withChild = false) {
    TTreeNode* made = viewer_.core.Items().AddChild(nullptr, text);
    SetNodeIcon(made, icon);
    if (withChild) viewer_.core.Items().AddChild(made, "child");
    return made;
  };
  int compare = 99;
  viewer_.core.InfoTreeCompare(node("Stats", kIconStats, true), node("Exported APIs", kIconExports, true), 0, compare);
  EXPECT_EQ(compare, -1) << "the groups decide";
  viewer_.core.InfoTreeCompare(node("b.dll", kIconInspectedLibrary, true), node("a.dll", kIconLibrary, true), 0, compare);
  EXPECT_EQ(compare, 1) << "one group: the texts decide";
  viewer_.core.InfoTreeCompare(node(""), node("\001"), 0, compare);
  EXPECT_EQ(compare, -1) << "the collator alone would call them equal";
}

TEST_F(ViewerCoreTest, OnlyTheContextMenuKeySetsKeyPopupAndNoKeyClearsIt) {
  const std::pair<std::uint16_t, bool> presses[] = {{0x79, false}, {kContextMenuKey, true}, {0x0D, true}};
  for (const auto& [key, popup] : presses) {
    std::uint16_t pressed = key;
    viewer_.core.InfoTreeKeyDown(pressed, 0);
    EXPECT_EQ(viewer_.core.KeyPopup(), popup) << key;
    EXPECT_EQ(pressed, key) << "no key is changed";
  }
}

}  // namespace
}  // namespace corvane
