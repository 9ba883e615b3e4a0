#include "viewer_core.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "node_kinds.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "tree_output.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

using testing::BuiltImage;
using testing::ByName;
using testing::ByOrdinal;
using testing::FixedFileInfo;
using testing::Layout;
using testing::PeWriter;
using testing::TempDir;
using testing::TestViewer;

std::string Tree(const ViewerCore& core) { return TreeAsText(core.Items(), {}); }

// Restores the working directory, which opening files changes.
class ViewerCoreTest : public ::testing::Test {
 protected:
  ViewerCoreTest() : startDirectory_(std::filesystem::current_path()) {}
  ~ViewerCoreTest() override { std::filesystem::current_path(startDirectory_); }

  std::string Write(const std::string& name, const BuiltImage& image) { return dir_.Write(name, image.bytes); }
  std::string Write(const std::string& name, const std::string& bytes) {
    return dir_.Write(name, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  }

  TempDir dir_;
  TestViewer viewer_;

 private:
  std::filesystem::path startDirectory_;
};

TEST_F(ViewerCoreTest, AFileShowsStatsExportsAndLibrariesInTheirFixedOrder) {
  const std::string path = Write(
      "app.dll", PeWriter(Layout::Pe32)
                     .ImageBase(0x400000)
                     .SizeOfCode(1536)
                     .SizeOfInitializedData(1000)
                     .SizeOfUninitializedData(24)
                     .Export("Zeta", 7)
                     .Export("alpha", 0)
                     .Import("zlib.dll", {ByName("inflate"), ByName("Deflate")})
                     .Import("KERNEL32.dll",
                             {ByName("ExitProcess"), ByOrdinal(17), ByName("CreateFileA"), ByOrdinal(3)})
                     .Import("empty.dll", {ByName("")})
                     .Import("advapi32.dll", {ByOrdinal(65535)})
                     .Version(FixedFileInfo{.fileVersionMS = 0x10002,
                                            .fileVersionLS = 0x30004,
                                            .productVersionMS = 0xFFFF0000,
                                            .productVersionLS = 0x0000FFFF,
                                            .fileFlags = 0x21,
                                            .fileType = 2})
                     .Build());

  viewer_.core.ProcessFile(nullptr, path);

  EXPECT_EQ(Tree(viewer_.core), path + "\n" +
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
                                    "└── empty.dll\n");
  EXPECT_TRUE(viewer_.shell.errors.empty());
}

TEST_F(ViewerCoreTest, NodesCarryTheIconOfTheirKindAndOnlyTheRootIsExpanded) {
  const std::string path = Write("a.dll", PeWriter(Layout::Pe32)
                                              .Export("f", 0)
                                              .Import("lib.dll", {ByName("g")})
                                              .Version(FixedFileInfo{.fileType = 1})
                                              .Build());
  viewer_.core.ProcessFile(nullptr, path);

  const TTreeNode* root = viewer_.core.Items().TopItem(0);
  const TTreeNode* stats = root->Item(0);
  const TTreeNode* exports = root->Item(1);
  const TTreeNode* library = root->Item(2);
  EXPECT_EQ(root->ImageIndex(), kIconFile);
  EXPECT_EQ(stats->ImageIndex(), kIconStats);
  EXPECT_EQ(stats->Item(0)->ImageIndex(), kIconStatsValue);
  EXPECT_EQ(stats->Item(3)->ImageIndex(), kIconVersionValue);
  EXPECT_EQ(exports->ImageIndex(), kIconExports);
  EXPECT_EQ(exports->Item(0)->ImageIndex(), kIconExport);
  EXPECT_EQ(library->ImageIndex(), kIconLibrary);
  EXPECT_EQ(library->Item(0)->ImageIndex(), kIconImport);
  EXPECT_EQ(library->Item(0)->SelectedIndex(), kIconImport);
  EXPECT_EQ(library->Item(0)->StateIndex(), kIconImport);
  EXPECT_TRUE(root->Expanded());
  EXPECT_FALSE(stats->Expanded());
  EXPECT_FALSE(exports->Expanded());
  EXPECT_FALSE(library->Expanded());
}

TEST_F(ViewerCoreTest, AFileWithoutExportsOrImportsShowsOnlyStats) {
  const std::string path = Write("bare.exe", testing::MinimalPe(Layout::Pe32));
  viewer_.core.ProcessFile(nullptr, path);
  const TTreeNode* root = viewer_.core.Items().TopItem(0);
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Item(0)->Text(), "Stats");
  EXPECT_EQ(root->Item(0)->Count(), 3) << "no version resource, so no version entries";
}

TEST_F(ViewerCoreTest, ExportsByOrdinalOnlyGiveNoExportBranch) {
  const std::string path = Write("ordinals.dll", PeWriter(Layout::Pe32).UnnamedExports(5).Build());
  viewer_.core.ProcessFile(nullptr, path);
  const TTreeNode* root = viewer_.core.Items().TopItem(0);
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Item(0)->Text(), "Stats");
}

TEST_F(ViewerCoreTest, ALibraryNamedByTwoDescriptorsShowsOnceWithTheUnionOfTheirFunctions) {
  const std::string path = Write("split.exe", PeWriter(Layout::Pe32)
                                                  .SizeOfCode(512)
                                                  .SizeOfInitializedData(0)
                                                  .Import("KERNEL32.dll", {ByName("Sleep"), ByName("ExitProcess")})
                                                  .Import("USER32.dll", {ByName("MessageBoxA")})
                                                  .Import("KERNEL32.dll", {ByName("GetTickCount"), ByName("Sleep")})
                                                  .Import("kernel32.dll", {ByName("Beep")})
                                                  .Build());
  viewer_.core.ProcessFile(nullptr, path);
  EXPECT_EQ(Tree(viewer_.core), path + "\n" +
                                    "├── Stats\n"
                                    "│   ├── Image Base Addr: 0x00400000\n"
                                    "│   ├── Code:  1 Kb (512 bytes)\n"
                                    "│   └── Data:  0 Kb (0 bytes)\n"
                                    "├── KERNEL32.dll\n"
                                    "│   ├── ExitProcess\n"
                                    "│   ├── GetTickCount\n"
                                    "│   └── Sleep\n"
                                    "├── kernel32.dll\n"
                                    "│   └── Beep\n"
                                    "└── USER32.dll\n"
                                    "    └── MessageBoxA\n");
}

TEST_F(ViewerCoreTest, PumpsOncePerExportAndImportedFunctionWithTheWindowDisabled) {
  const std::string path = Write("pump.dll", PeWriter(Layout::Pe32)
                                                 .Export("a", 0)
                                                 .Export("b", 1)
                                                 .Import("x.dll", {ByName("f"), ByName("f"), ByOrdinal(3)})
                                                 .Build());
  viewer_.core.ProcessFile(nullptr, path);
  EXPECT_EQ(viewer_.shell.pumps, 5) << "a duplicate function is pumped for too";
  EXPECT_EQ(viewer_.shell.pumpsWhileDisabled, 5);
  EXPECT_TRUE(viewer_.shell.enabled);
  EXPECT_EQ(viewer_.shell.cursorDepth, 0);
  EXPECT_EQ(viewer_.shell.focused, 1);
  EXPECT_FALSE(viewer_.core.Items().Updating());
}

TEST_F(ViewerCoreTest, ABuildThatFailsMidwayStillEnablesTheWindowAndRestoresTheCursor) {
  const std::string path = Write("throw.dll", PeWriter(Layout::Pe32).Export("a", 0).Build());
  viewer_.shell.onPump = [] { throw std::runtime_error("pump failed"); };
  EXPECT_THROW(viewer_.core.ProcessFile(nullptr, path), std::runtime_error);
  EXPECT_TRUE(viewer_.shell.enabled);
  EXPECT_EQ(viewer_.shell.cursorDepth, 0);
  EXPECT_FALSE(viewer_.core.Items().Updating());
  EXPECT_FALSE(viewer_.core.Busy());
}

TEST_F(ViewerCoreTest, EachFailureGivesItsOwnMessageAndNoNode) {
  const BuiltImage valid = PeWriter(Layout::Pe32).Build();
  std::string notPe(valid.bytes.begin(), valid.bytes.end());
  notPe[valid.ntHeaders + 2] = 'X';  // "PE" followed by non-zero bytes
  std::string ne(valid.bytes.begin(), valid.bytes.end());
  ne.replace(valid.ntHeaders, 4, std::string("NE\x05\x00", 4));
  std::string le(valid.bytes.begin(), valid.bytes.end());
  le.replace(valid.ntHeaders, 2, "LE");
  const std::string fifo = dir_.Path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = dir_.Path() + "/socket";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const std::string dangling = dir_.Path() + "/dangling";
  ASSERT_EQ(::symlink("/no/such/target", dangling.c_str()), 0);

  const struct {
    std::string path;
    const char* message;
  } cases[] = {
      {dir_.Path() + "/missing.exe", "File not found."},
      {dir_.Path(), "File not found."},
      {fifo, "File not found."},
      {socketPath, "File not found."},
      {dangling, "File not found."},
      {"/dev/zero", "File not found."},
      {"", "File not found."},
      {Write("empty.exe", std::string()), "Unable to map file into memory."},
      {Write("dos.exe", std::string("MZ") + std::string(0x3E, '\0')), kMessageNotPe},
      {Write("short.exe", "MZ"), kMessageNotPe},
      {Write("text.txt", "hello"), kMessageNotPe},
      {Write("notpe.exe", notPe), kMessageNotPe},
      {Write("ne.exe", ne), kMessageNotPe},
      {Write("le.vxd", le), kMessageNotPe},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    viewer_.shell.errors.clear();
    viewer_.core.ProcessFile(nullptr, c.path);
    ASSERT_EQ(viewer_.shell.errors.size(), 1u);
    EXPECT_EQ(viewer_.shell.errors[0].text, QString::fromLatin1(c.message));
    EXPECT_EQ(viewer_.shell.errors[0].style, kErrorBoxStyle);
    EXPECT_EQ(viewer_.shell.errors[0].file, c.path);
    EXPECT_EQ(viewer_.core.Items().GetCount(), 0);
  }
  ::close(listener);
  EXPECT_EQ(viewer_.core.CodeTotal(), 0u);
}

TEST_F(ViewerCoreTest, AFileIsReleasedBeforeItsErrorBoxShows) {
  const std::string path = Write("text.txt", "not an image at all");
  bool fileStillOpen = false;
  viewer_.shell.onError = [&] {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      if (std::filesystem::read_symlink(entry.path(), error) == path) fileStillOpen = true;
    }
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
      if (line.find(path) != std::string::npos) fileStillOpen = true;
    }
  };
  viewer_.core.ProcessFile(nullptr, path);
  ASSERT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_FALSE(fileStillOpen);
}

TEST_F(ViewerCoreTest, OpenListShowsTheNewestFileFirstAndReplacesWhatWasShown) {
  const BuiltImage image = PeWriter(Layout::Pe32).SizeOfCode(1000).Build();
  const QString a = QString::fromStdString(Write("a.exe", image));
  const QString b = QString::fromStdString(Write("b.exe", image));
  const QString c = QString::fromStdString(Write("c.exe", image));

  viewer_.core.OpenList({a});
  viewer_.core.OpenList({a, b, c, a});

  const TTreeNodes& items = viewer_.core.Items();
  ASSERT_EQ(items.TopCount(), 4);
  EXPECT_EQ(items.TopItem(0)->Text(), a);
  EXPECT_EQ(items.TopItem(1)->Text(), c);
  EXPECT_EQ(items.TopItem(2)->Text(), b);
  EXPECT_EQ(items.TopItem(3)->Text(), a);
  EXPECT_EQ(viewer_.core.CodeTotal(), 4000u) << "a file named twice counts twice";
  EXPECT_EQ(viewer_.shell.status[0], "Code: 4 Kb");
  EXPECT_EQ(viewer_.shell.cursorDepth, 0);
}

TEST_F(ViewerCoreTest, OpenListMakesTheFirstFilesFolderCurrentEvenWhenItFails) {
  std::filesystem::create_directory(dir_.Path() + "/first");
  const std::string good = Write("second/good.exe", PeWriter(Layout::Pe32).Build());

  viewer_.core.OpenList({QString::fromStdString(dir_.Path() + "/first/missing.exe"), QString::fromStdString(good)});

  EXPECT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_EQ(viewer_.core.Items().TopCount(), 1);
  EXPECT_EQ(viewer_.core.FileFolder(), dir_.Path() + "/first/");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.Path() + "/first"));
}

TEST_F(ViewerCoreTest, SetFileFolderKeepsTheFinalSeparatorAndIgnoresAFailingChange) {
  const std::filesystem::path before = std::filesystem::current_path();
  viewer_.core.SetFileFolder("app.exe");
  EXPECT_EQ(viewer_.core.FileFolder(), "");
  EXPECT_EQ(std::filesystem::current_path(), before);

  viewer_.core.SetFileFolder("/no/such/folder/app.exe");
  EXPECT_EQ(viewer_.core.FileFolder(), "/no/such/folder/");
  EXPECT_EQ(std::filesystem::current_path(), before);

  viewer_.core.SetFileFolder(dir_.Path() + "/app.exe");
  EXPECT_EQ(viewer_.core.FileFolder(), dir_.Path() + "/");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.Path()));
}

TEST_F(ViewerCoreTest, OpeningAnEmptyListClearsTheTreeAndTotals) {
  viewer_.core.OpenList({QString::fromStdString(Write("a.exe", PeWriter(Layout::Pe32).SizeOfCode(4096).Build()))});
  int deletions = 0;
  viewer_.core.Items().OnDeletion = [&](TTreeNode*) { ++deletions; };

  viewer_.core.OpenList({});

  EXPECT_EQ(deletions, 5) << "the root, Stats and its three entries";
  EXPECT_EQ(viewer_.core.Items().GetCount(), 0);
  EXPECT_EQ(viewer_.core.CodeTotal(), 0u);
  EXPECT_EQ(viewer_.shell.status, std::vector<QString>(kStatusPanelCount));
}

TEST_F(ViewerCoreTest, AFileWhoseDescriptorsShareOneTableIsShownOnlyInPart) {
  // Four hundred libraries, each pointed at the first one's table of four
  // hundred functions: 160,000 functions from a file of a few kilobytes.
  constexpr int kLibraries = 400;
  std::vector<testing::ImportEntry> functions;
  for (int i = 0; i < kLibraries; ++i) functions.push_back(ByName(testing::Numbered("F", i)));
  PeWriter writer(Layout::Pe32);
  writer.Import("lib0.dll", functions);
  for (int i = 1; i < kLibraries; ++i) writer.Import(testing::Numbered("lib", i) + ".dll", {ByName("x")});
  BuiltImage image = writer.Build();
  const std::uint32_t sharedTable = image.Read<std::uint32_t>(image.imports[0].descriptor);
  for (int i = 1; i < kLibraries; ++i) {
    image.Patch32(image.imports[static_cast<std::size_t>(i)].descriptor, sharedTable);       // OriginalFirstThunk
    image.Patch32(image.imports[static_cast<std::size_t>(i)].descriptor + 16, sharedTable);  // FirstThunk
  }

  viewer_.core.ProcessFile(nullptr, Write("bomb.dll", image));

  ASSERT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_EQ(viewer_.shell.errors[0].text, kMessageTreeCut);
  const auto budget = image.bytes.size() / 2 + 65536;
  EXPECT_GT(viewer_.core.Items().GetCount(), 1000) << "what was read before the stop is shown";
  EXPECT_LE(static_cast<std::size_t>(viewer_.core.Items().GetCount()), budget + 16);
  EXPECT_TRUE(viewer_.shell.enabled);
}

TEST_F(ViewerCoreTest, AFileWhoseNamesAllPointAtOneLongNameIsShownOnlyInPart) {
  // Ten thousand exports named by one name of four megabytes: forty
  // gigabytes of text from a file of four megabytes.
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 10000; ++i) writer.Export(testing::Numbered("E", i), static_cast<std::uint16_t>(i));
  writer.Export(std::string(std::size_t{4} << 20, 'A'), 0);
  BuiltImage image = writer.Build();
  const std::size_t names = image.exportNamePointers.value();
  const std::uint32_t longName = image.Read<std::uint32_t>(names + 4 * 10000);
  for (std::size_t i = 0; i < 10000; ++i) image.Patch32(names + 4 * i, longName);

  viewer_.core.ProcessFile(nullptr, Write("names.dll", image));

  ASSERT_EQ(viewer_.shell.errors.size(), 1u);
  EXPECT_EQ(viewer_.shell.errors[0].text, kMessageTreeCut);
  const TTreeNode* exports = viewer_.core.Items().TopItem(0)->Item(1);
  const std::size_t textAllowed = 2 * image.bytes.size() + (std::size_t{16} << 20);
  EXPECT_GE(exports->Count(), 1);
  EXPECT_LE(static_cast<std::size_t>(exports->Count()), textAllowed / (std::size_t{4} << 20));
}

TEST_F(ViewerCoreTest, ImportsNamingOneLongNameOverAndOverAreReadOnlyWhileTheBudgetLasts) {
  // Twenty thousand thunks, or five thousand descriptors, all naming one
  // name of a megabyte: twenty gigabytes to read for one node each.
  const std::string longName(std::size_t{1} << 20, 'A');
  std::vector<testing::ImportEntry> thunks{ByName(longName)};
  thunks.resize(20000, testing::RawThunk(1));
  BuiltImage functions = PeWriter(Layout::Pe32).Import("a.dll", thunks).Build();
  const std::size_t table = *functions.imports[0].originalFirstThunk;
  const std::uint32_t longFunction = functions.Read<std::uint32_t>(table);
  for (std::size_t i = 1; i < thunks.size(); ++i) functions.Patch32(table + 4 * i, longFunction);

  PeWriter manyLibraries(Layout::Pe32);
  manyLibraries.Import(longName, {ByName("f")});
  for (int i = 1; i < 5000; ++i) manyLibraries.Import("x.dll", {ByName("f")});
  BuiltImage libraries = manyLibraries.Build();
  const std::uint32_t longLibrary = libraries.Read<std::uint32_t>(libraries.imports[0].descriptor + 12);
  for (std::size_t d = 1; d < libraries.imports.size(); ++d) libraries.Patch32(libraries.imports[d].descriptor + 12, longLibrary);

  for (const auto& [name, image] : {std::pair{"functions.dll", &functions}, std::pair{"libraries.dll", &libraries}}) {
    viewer_.shell.errors.clear();
    viewer_.core.ClearAll();
    viewer_.core.ProcessFile(nullptr, Write(name, *image));
    ASSERT_EQ(viewer_.shell.errors.size(), 1u) << name;
    EXPECT_EQ(viewer_.shell.errors[0].text, kMessageTreeCut) << name;
    const TTreeNode* root = viewer_.core.Items().TopItem(0);
    ASSERT_EQ(root->Count(), 2) << name << ": Stats and the one library";
    EXPECT_EQ(root->Item(1)->Text().size(), static_cast<qsizetype>(image == &libraries ? longName.size() : 5));
    EXPECT_EQ(root->Item(1)->Count(), 1) << name << ": the one function, once";
  }
}

TEST_F(ViewerCoreTest, FunctionsNamedOverAndOverAreShownOnceEachInTheOrderFirstRead) {
  // Six hundred thousand thunks naming three functions in turn: more than
  // a build holds at once before it drops repeats, twice over.
  std::vector<testing::ImportEntry> thunks{ByName("b"), ByName("B"), ByName("a")};
  thunks.resize(600'000, testing::RawThunk(1));
  BuiltImage image = PeWriter(Layout::Pe32).Import("x.dll", thunks).Build();
  const std::size_t table = *image.imports[0].originalFirstThunk;
  const std::uint32_t names[] = {image.Read<std::uint32_t>(table), image.Read<std::uint32_t>(table + 4),
                                 image.Read<std::uint32_t>(table + 8)};
  for (std::size_t i = 3; i < thunks.size(); ++i) image.Patch32(table + 4 * i, names[i % 3]);

  viewer_.core.ProcessFile(nullptr, Write("repeats.dll", image));

  EXPECT_TRUE(viewer_.shell.errors.empty());
  const TTreeNode* library = viewer_.core.Items().TopItem(0)->Item(1);
  ASSERT_EQ(library->Count(), 3);
  // "b" and "B" order alike, so they keep the order of their first reading.
  EXPECT_EQ(library->Item(0)->Text(), "a");
  EXPECT_EQ(library->Item(1)->Text(), "b");
  EXPECT_EQ(library->Item(2)->Text(), "B");
}

TEST_F(ViewerCoreTest, ALargeWellFormedFileIsShownWhole) {
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 70000; ++i) writer.Export(testing::Numbered("E", i), static_cast<std::uint16_t>(i));
  viewer_.core.ProcessFile(nullptr, Write("large.dll", writer.Build()));
  EXPECT_TRUE(viewer_.shell.errors.empty());
  EXPECT_EQ(viewer_.core.Items().TopItem(0)->Item(1)->Count(), 70000);
}

TEST(FormatSize, RoundsToTheNearestKilobyteWithHalvesUp) {
  const struct {
    std::uint32_t bytes;
    const char* text;
  } cases[] = {{0, " 0 Kb (0 bytes)"},       {511, " 0 Kb (511 bytes)"},   {512, " 1 Kb (512 bytes)"},
               {1535, " 1 Kb (1535 bytes)"}, {1536, " 2 Kb (1536 bytes)"},
               {0xFFFFFFFF, " 0 Kb (4294967295 bytes)"}};  // the 32-bit sum wraps
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST_F(ViewerCoreTest, StatusPanelsShowTotalsOnlyOnceThereIsCode) {
  const std::string resourceOnly =
      Write("res.dll", PeWriter(Layout::Pe32).SizeOfCode(0).SizeOfInitializedData(2048).Build());
  viewer_.core.ProcessFile(nullptr, resourceOnly);
  EXPECT_EQ(viewer_.shell.status, std::vector<QString>(kStatusPanelCount)) << "data without code shows nothing";

  const std::string half = Write("half.dll", PeWriter(Layout::Pe32).SizeOfCode(512).SizeOfInitializedData(0).Build());
  viewer_.core.ProcessFile(nullptr, half);
  EXPECT_EQ(viewer_.shell.status, std::vector<QString>({"Code: 1 Kb", "Data: 2 Kb", "Total: 3 Kb", ""}));

  viewer_.core.ClearAll();
  EXPECT_EQ(viewer_.shell.status, std::vector<QString>(kStatusPanelCount));
  EXPECT_EQ(viewer_.core.DataTotal(), 0u);
}

TEST_F(ViewerCoreTest, EachKilobyteFigureIsRoundedFromItsOwnTotal) {
  viewer_.core.ProcessFile(nullptr,
                           Write("h.dll", PeWriter(Layout::Pe32).SizeOfCode(512).SizeOfInitializedData(512).Build()));
  EXPECT_EQ(viewer_.shell.status, std::vector<QString>({"Code: 1 Kb", "Data: 1 Kb", "Total: 1 Kb", ""}));
}

TEST_F(ViewerCoreTest, VersionEntriesFollowTheFlagsAndTypeTables) {
  const struct {
    FixedFileInfo info;
    QStringList entries;
  } cases[] = {
      {{.fileFlagsMask = 0x01, .fileFlags = 0x21, .fileType = 1}, {"Flags: Debug", "Type: Application"}},
      {{.fileFlagsMask = 0x3F, .fileFlags = 0x3F, .fileType = 0},
       {"Flags: SpecialBuild PrivateBuild PreRelease Patched InfoInferred Debug", "Type: Unknown"}},
      {{.fileFlagsMask = 0xFF, .fileFlags = 0x40, .fileType = 7}, {"Flags:", "Type: Static Link Library"}},
      {{.fileFlagsMask = 0x00, .fileFlags = 0x3F, .fileType = 6}, {}},
      {{.fileFlags = 0, .fileType = 8}, {}},
      {{.fileType = 5}, {"Type: Virtual Device Driver"}},
  };
  for (const auto& c : cases) {
    viewer_.core.ClearAll();
    viewer_.core.ProcessFile(nullptr, Write("v.dll", PeWriter(Layout::Pe32).Version(c.info).Build()));
    const TTreeNode* stats = viewer_.core.Items().TopItem(0)->Item(0);
    QStringList entries;
    for (int i = 5; i < stats->Count(); ++i) entries << stats->Item(i)->Text();
    EXPECT_EQ(entries, c.entries);
    EXPECT_EQ(stats->Item(3)->Text(), "Version: 0.0.0.0");
  }
}

TEST_F(ViewerCoreTest, Pe32PlusImagesShowTheirWideImageBaseAndOrdinalImports) {
  const std::string path = Write("wide.dll", PeWriter(Layout::Pe32Plus)
                                                 .ImageBase(0x180000000ull)
                                                 .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(42)})
                                                 .Build());
  viewer_.core.ProcessFile(nullptr, path);
  const TTreeNode* root = viewer_.core.Items().TopItem(0);
  EXPECT_EQ(root->Item(0)->Item(0)->Text(), "Image Base Addr: 0x0000000180000000");
  ASSERT_EQ(root->Item(1)->Count(), 2);
  EXPECT_EQ(root->Item(1)->Item(0)->Text(), "    42 (ordinal)");
  EXPECT_EQ(root->Item(1)->Item(1)->Text(), "Sleep");
}

TEST_F(ViewerCoreTest, AFileBuiltUnderALibraryNodeGoesBeforeTheFunctionsImportedFromIt) {
  const std::string app = Write("app.exe", PeWriter(Layout::Pe32)
                                               .SizeOfCode(1024)
                                               .Import("lib.dll", {ByName("Zap"), ByName("apply")})
                                               .Build());
  const std::string lib = Write("lib.dll", PeWriter(Layout::Pe32)
                                               .SizeOfCode(2048)
                                               .Export("Zap", 0)
                                               .Import("dep.dll", {ByName("helper")})
                                               .Build());
  viewer_.core.ProcessFile(nullptr, app);
  TTreeNode* library = viewer_.core.Items().TopItem(0)->Item(1);
  ASSERT_EQ(library->Text(), "lib.dll");

  viewer_.core.ProcessFile(library, lib);

  EXPECT_EQ(library->ImageIndex(), kIconInspectedLibrary);
  EXPECT_TRUE(library->Expanded());
  QStringList children;
  for (int i = 0; i < library->Count(); ++i) children << library->Item(i)->Text();
  EXPECT_EQ(children, QStringList({"Stats", "Exported APIs", "dep.dll", "apply", "Zap"}));
  EXPECT_EQ(viewer_.core.Items().TopCount(), 1);
  EXPECT_EQ(viewer_.core.CodeTotal(), 3072u);
  EXPECT_EQ(viewer_.shell.status[0], "Code: 3 Kb");
}

class CompareTest : public ::testing::Test {
 protected:
  TTreeNode* Node(const QString& text, int icon, bool withChild = false) {
    TTreeNode* node = viewer_.core.Items().AddChild(nullptr, text);
    SetNodeIcon(node, icon);
    if (withChild) viewer_.core.Items().AddChild(node, "child");
    return node;
  }
  int Compare(TTreeNode* a, TTreeNode* b) {
    int result = 99;
    viewer_.core.InfoTreeCompare(a, b, 0, result);
    return result;
  }
  TestViewer viewer_;
};

TEST_F(CompareTest, GroupsComeFirstThenTextsWithoutRegardToCase) {
  TTreeNode* stats = Node("Stats", kIconStats, true);
  TTreeNode* exports = Node("Exported APIs", kIconExports, true);
  TTreeNode* library = Node("zlib.dll", kIconLibrary, true);
  TTreeNode* inspected = Node("a.dll", kIconInspectedLibrary, true);
  TTreeNode* childless = Node("a.dll", kIconLibrary);
  TTreeNode* function = Node("Zap", kIconImport, true);

  EXPECT_EQ(Compare(stats, exports), -1);
  EXPECT_EQ(Compare(exports, library), -1);
  EXPECT_EQ(Compare(library, childless), -1) << "a library with functions goes before one without";
  EXPECT_EQ(Compare(childless, library), 1);
  EXPECT_EQ(Compare(inspected, library), -1);
  EXPECT_EQ(Compare(function, childless), 1) << "both ungrouped, so their texts decide";

  EXPECT_EQ(Compare(Node("kernel32.dll", kIconImport), Node("KERNEL32.DLL", kIconImport)), 0);
  EXPECT_EQ(Compare(Node("advapi32.dll", kIconImport), Node("KERNEL32.dll", kIconImport)), -1);
  EXPECT_EQ(Compare(Node("b", kIconImport), Node("A", kIconImport)), 1);
  EXPECT_EQ(Compare(Node("    17 (ordinal)", kIconImport), Node("Abc", kIconImport)), -1);
  EXPECT_EQ(Compare(Node("", kIconImport), Node("", kIconImport)), 0);
  EXPECT_EQ(Compare(Node("", kIconImport), Node(" ", kIconImport)), -1);
  EXPECT_EQ(Compare(Node("a", kIconImport), Node("", kIconImport)), 1);
}

TEST_F(CompareTest, TextsAreOrderedLinguisticallyNotByCodePoint) {
  // Code points would put "Zeta" before "alpha" and "é" after "f".
  EXPECT_EQ(Compare(Node("alpha", kIconImport), Node("Zeta", kIconImport)), -1);
  EXPECT_EQ(Compare(Node(QString::fromUtf8("\xC3\xA9t\xC3\xA9"), kIconImport), Node("fa", kIconImport)), -1);
}

TEST(NodeOrderGroup, DependsOnKindOnlyForNodesWithChildren) {
  TTreeNodes items;
  EXPECT_EQ(NodeOrderGroup(nullptr), 100);
  const int expected[kNodeIconCount] = {0, 2, 2, 1, 100, 100, 0, 1, 2};
  for (int icon = 0; icon < kNodeIconCount; ++icon) {
    TTreeNode* node = items.AddChild(nullptr, "n");
    SetNodeIcon(node, icon);
    EXPECT_EQ(NodeOrderGroup(node), 100) << icon;
    items.AddChild(node, "child");
    EXPECT_EQ(NodeOrderGroup(node), expected[icon]) << icon;
  }
  TTreeNode* unknown = items.AddChild(nullptr, "n");
  SetNodeIcon(unknown, 9);
  items.AddChild(unknown, "child");
  EXPECT_EQ(NodeOrderGroup(unknown), 100);
}

TEST(InfoTreeKeyDown, OnlyTheContextMenuKeySetsKeyPopupAndNoKeyIsChanged) {
  TestViewer viewer;
  std::uint16_t key = 0x79;  // F10
  viewer.core.InfoTreeKeyDown(key, 1);
  EXPECT_FALSE(viewer.core.KeyPopup());
  EXPECT_EQ(key, 0x79);
  key = kContextMenuKey;
  viewer.core.InfoTreeKeyDown(key, 0);
  EXPECT_TRUE(viewer.core.KeyPopup());
  EXPECT_EQ(key, kContextMenuKey);
  key = 0x0D;
  viewer.core.InfoTreeKeyDown(key, 0);
  EXPECT_TRUE(viewer.core.KeyPopup()) << "no key clears it";
}

TEST(InfoTreeDeletion, ReleasesAnAttachedBlock) {
  TestViewer viewer;
  TTreeNode* node = viewer.core.Items().AddChild(nullptr, "n");
  node->SetData(std::make_unique<std::byte[]>(8));
  TTreeNode* seen = nullptr;
  void* dataAtDeletion = reinterpret_cast<void*>(1);
  auto release = viewer.core.Items().OnDeletion;
  viewer.core.Items().OnDeletion = [&](TTreeNode* deleted) {
    release(deleted);
    seen = deleted;
    dataAtDeletion = deleted->Data();
  };
  viewer.core.ClearAll();
  EXPECT_EQ(seen, node);
  EXPECT_EQ(dataAtDeletion, nullptr);
}

}  // namespace
}  // namespace corvane
