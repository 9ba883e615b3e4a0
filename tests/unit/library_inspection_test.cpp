// Finding an imported library's file and building its subtree under the
// library's node.

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>

#include "api_set_schema.h"
#include "dump_run.h"
#include "library_search.h"
#include "module_family.h"
#include "node_kinds.h"
#include "pe_layout.h"
#include "pe_writer.h"
#include "ship_list.h"
#include "temp_files.h"
#include "tree_output.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::ByName;
using testing::ByOrdinal;
using testing::Dump;
using testing::Quoted;
using testing::ScopedEnvironment;
using testing::SchemaSection;
using testing::Put32;
using testing::kSchemaCount;
using testing::kSchemaEntries;
using testing::kSchemaEntryOffset;
using testing::kSchemaEntrySize;
using testing::Layout;
using testing::PeWriter;
using testing::TempDir;
using testing::TestViewer;

class LibrarySearchTest : public ::testing::Test {
 protected:
  std::string Place(const std::string& relative) { return dir_.Write(relative, PeWriter(Layout::Pe32).Build().bytes); }
  std::string Folder(const std::string& relative) {
    fs::create_directories(dir_.Path() + "/" + relative);
    return dir_.Path() + "/" + relative;
  }
  std::optional<std::string> FindLibrary(const std::string& name, const std::string& fileFolder,
                                         const std::vector<std::string>& folders) {
    SearchPlaces places{fileFolder, {}, {}};
    for (const std::string& folder : folders) places.folders.push_back({folder});
    return search_.Find(name, {"app.exe", kI386, false}, places).found;
  }
  ~LibrarySearchTest() override { fs::current_path(startDirectory_); }
  static constexpr std::uint16_t kI386 = 0x14C;
  fs::path startDirectory_ = fs::current_path();
  TempDir dir_;
  LibrarySearch search_;
};

TEST_F(LibrarySearchTest, TheFileFolderComesFirstThenTheFirstReadableRegularFileInTheFoldersInOrder) {
  const std::string inOpen = Place("open/lib.dll"), inFirst = Place("first/lib.dll"), other = Place("second/OTHER.dll");
  Place("second/lib.dll");
  Place("lib.dll");
  Place("secret/inner.dll");
  Folder("dir/lib.dll");  // a directory of that name
  fs::create_symlink(dir_.Path() + "/nowhere.dll", Folder("dangling") + "/lib.dll");
  const std::string open = dir_.Path() + "/open/";
  const std::vector<std::string> folders = {Folder("empty"), Folder("dir"), Folder("dangling"), Folder("first"),
                                            Folder("second"), dir_.Path()};
  EXPECT_EQ(FindLibrary("lib.dll", "", folders), inFirst) << "an empty file folder is skipped";
  const struct {
    std::string name;
    std::optional<std::string> found;
  } cases[] = {
      {"lib.dll", inOpen},
      {"other.dll", other},  // names match without regard to case and give the file's own name
      {"missing.dll", std::nullopt},
      // A name that is not a plain file name never leads anywhere else on disk.
      {"../lib.dll", std::nullopt},
      {"secret\\inner.dll", std::nullopt},
      {inFirst, std::nullopt},
      {std::string("lib.dll\0x", 9), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FindLibrary(c.name, open, folders), c.found) << c.name;
}

TEST_F(LibrarySearchTest, TheLoaderLooksInTheCurrentDirectoryThenTheSystemFoldersThenPath) {
  const ScopedEnvironment system("CORVANE_SYSTEM_PATH", Folder("system") + "::" + Folder("system2"));
  const ScopedEnvironment path("PATH", Folder("path1") + ":" + Folder("path2"));
  fs::current_path(Folder("current"));
  search_.SetExtraFolders({Folder("option")});
  std::vector<std::pair<std::string, std::string_view>> folders;
  for (const SearchFolder& folder : search_.LoaderSearchPlaces("", false).folders) {
    folders.emplace_back(folder.path, FoundInName(folder.step));
  }
  const std::string at = dir_.Path();
  EXPECT_EQ(folders, (std::vector<std::pair<std::string, std::string_view>>{
                         {at + "/option", "path option"},
                         {fs::read_symlink("/proc/self/exe").parent_path().string(), "program folder"},
                         {at + "/current", "current directory"},
                         {at + "/system", "system"},
                         {at + "/system2", "system"},
                         {at + "/path1", "PATH"},
                         {at + "/path2", "PATH"}}));
}

TEST_F(LibrarySearchTest, AFolderIsReadAgainOnceItChanges) {
  const std::string folder = Folder("sys");
  fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_EQ(FindLibrary("late.dll", "", {folder}), std::nullopt);
  const std::string late = Place("sys/LATE.dll");
  EXPECT_EQ(FindLibrary("late.dll", "", {folder}), late) << "copied in after the folder was first read";
}

// An .apiset section as schema version 6 lays it out: the namespace header,
// the entry records, the value records, then the UTF-16 names. Each entry
// is given as its name followed by alias and host pairs.
ByteView View(const std::vector<std::uint8_t>& bytes) {
  return ByteView(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
}

TEST(ApiSetSchemaTest, TheNameUpToItsLastHyphenPicksTheEntryAndTheImporterItsValue) {
  const std::vector<std::uint8_t> section =
      SchemaSection({{"api-ms-win-crt-runtime-l1-1-0", "", "ucrtbase.dll"},
                     {"API-MS-Win-Core-Synch-L1-2-0", "", "kernelbase.dll", "Kernel32.dll", "kernel32.dll"},
                     {"api-ms-win-empty-l1-1-0"},
                     {"ext-ms-win-nohost-l1-1-0", "", ""}});
  const auto schema = ApiSetSchema::FromImage(View(PeWriter(Layout::Pe32Plus).DataSection(".apiset", section).Build().bytes));
  ASSERT_TRUE(schema);
  const char* const kCases[][3] = {
      // name, importer, host
      {"api-ms-win-crt-runtime-l1-1-0.dll", "app.exe", "ucrtbase.dll"},
      {"API-MS-WIN-CRT-RUNTIME-L1-1-9.DLL", "app.exe", "ucrtbase.dll"},
      {"api-ms-win-crt-runtime-l1-2-0.dll", "app.exe", ""},
      {"api-ms-win-core-synch-l1-2-1.dll", "app.exe", "kernelbase.dll"},
      {"api-ms-win-core-synch-l1-2-1.dll", "KERNEL32.DLL", "kernel32.dll"},
      {"api-ms-win-empty-l1-1-0.dll", "app.exe", ""},
      {"ext-ms-win-nohost-l1-1-0.dll", "app.exe", ""},
      {"api-ms-win-unknown-l1-1-0.dll", "app.exe", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(schema->HostOf(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

TEST(ApiSetSchemaTest, AHostileSectionIsReadOnlyAsFarAsItHolds) {
  const auto good = SchemaSection({{"api-a-l1-1-0", "", "a.dll"}, {"api-b-l1-1-0", "", "b.dll"}});
  const std::size_t nameLength = kSchemaEntries + 8;
  const std::size_t valueOffset = kSchemaEntries + 16;
  const std::size_t valueCount = kSchemaEntries + 20;
  const struct { std::size_t field; std::uint32_t value; const char* hosts; } kCases[] = {
      {kSchemaCount, 0xFFFFFFFF, "a.dll b.dll"}, {kSchemaEntryOffset, 0xFFFFFFF0, " "},
      {nameLength, 0xFFFFFFFF, " b.dll"},        {valueOffset, 0xFFFFFFF0, " b.dll"},
      {valueCount, 0xFFFFFFFF, "a.dll b.dll"},
  };
  for (const auto& c : kCases) {
    std::vector<std::uint8_t> section = good;
    Put32(section, c.field, c.value);
    const auto schema = ApiSetSchema::FromSection(View(section));
    ASSERT_TRUE(schema) << c.field;
    EXPECT_EQ(std::string(schema->HostOf("api-a-l1-1-0.dll", "")) + " " + std::string(schema->HostOf("api-b-l1-1-0.dll", "")),
              c.hosts) << c.field << " = " << c.value;
  }
  std::vector<std::uint8_t> version5 = good;
  Put32(version5, 0, 5);
  EXPECT_FALSE(ApiSetSchema::FromSection(View(version5))) << "only version 6 is read";

  // A thousand entry records naming the same 8 KB are read only as far as
  // about twice the section's size.
  std::vector<std::uint8_t> repeated = SchemaSection({{"api-" + std::string(4000, 'r') + "-l1"}});
  const std::vector<std::uint8_t> record(repeated.begin() + kSchemaEntries, repeated.begin() + kSchemaEntries + kSchemaEntrySize);
  Put32(repeated, kSchemaEntryOffset, repeated.size());
  Put32(repeated, kSchemaCount, 1000);
  for (int i = 0; i < 1000; ++i) repeated.insert(repeated.end(), record.begin(), record.end());
  EXPECT_LT(ApiSetSchema::FromSection(View(repeated))->EntryCount(), 20u);
}

// Inspection through the viewer, with the library files in a folder of
// their own standing in for the system folders.
class InspectionTest : public LibrarySearchTest {
 protected:
  InspectionTest() : system_("CORVANE_SYSTEM_PATH", Folder("system")), path_("PATH", std::nullopt) {}

  QString Write(const std::string& name, const testing::BuiltImage& image) {
    return QString::fromStdString(dir_.Write(name, image.bytes));
  }
  static TTreeNode* Child(TTreeNode* parent, const QString& text) {
    for (TTreeNode* child = parent->getFirstChild(); child != nullptr; child = parent->GetNextChild(child)) {
      if (child->Text() == text) return child;
    }
    return nullptr;
  }
  static QStringList Texts(const TTreeNode* parent) {
    QStringList texts;
    for (int i = 0; i < parent->Count(); ++i) texts << parent->Item(i)->Text();
    return texts;
  }
  std::string File(const std::string& relative) { return Quoted(dir_.Path() + "/" + relative); }
  QString Found(const std::string& name, const std::string& folder) {
    return QString::fromStdString(name + " (" + dir_.Path() + "/" + folder + "/)");
  }

  TestViewer viewer_;

 private:
  ScopedEnvironment system_;
  ScopedEnvironment path_;
};

TEST_F(InspectionTest, BuildsTheLibrarysSubtreeUnderEachNodeOnceAndAppendsItsFolder) {
  const auto importer = PeWriter(Layout::Pe32).SizeOfCode(1024).Import("LIB.dll", {ByName("Zap"), ByName("apply")});
  viewer_.core.OpenList({Write("app/app.exe", importer.Build()), Write("two.exe", importer.Build())});
  Write("system/lib.dll", PeWriter(Layout::Pe32).SizeOfCode(2048).Export("Zap", 0).Import("dep.dll", {ByName("h")}).Build());
  Write("system/dep.dll", PeWriter(Layout::Pe32).Build());
  Write("app/dep.dll", PeWriter(Layout::Pe32).Build());
  TTreeNode* library = Child(viewer_.core.Items().TopItem(0), "LIB.dll");
  TTreeNode* second = Child(viewer_.core.Items().TopItem(1), "LIB.dll");
  ASSERT_NE(library, nullptr);

  viewer_.core.PopupInspectClick(library);

  EXPECT_EQ(library->Text(), Found("LIB.dll", "system"));
  EXPECT_EQ(library->ImageIndex(), kIconInspectedLibrary);
  EXPECT_TRUE(library->Expanded());
  EXPECT_EQ(Texts(library), QStringList({"Stats", "Exported APIs", "dep.dll", "apply", "Zap"}))
      << "its own branches first, then the functions imported from it";
  EXPECT_EQ(viewer_.shell.status[0], "Code: 4 Kb");
  viewer_.core.PopupInspectClick(library);
  EXPECT_EQ(viewer_.core.CodeTotal(), 4096u) << "an inspected library is not inspected again";

  viewer_.core.PopupInspectClick(second);
  EXPECT_EQ(Texts(second), Texts(library));
  EXPECT_NE(second->getFirstChild(), library->getFirstChild()) << "each file has its own subtree";
  EXPECT_EQ(viewer_.core.CodeTotal(), 6144u) << "each inspection adds its sizes";
  TTreeNode* dep = Child(library, "dep.dll");
  viewer_.core.PopupInspectClick(dep);
  EXPECT_EQ(dep->Text(), Found("dep.dll", "app")) << "the latest open's folder, not the library's above it";
}

TEST_F(InspectionTest, NoOtherNodeAndNoLibraryFoundNowhereOrOnlyAsAFileThatIsNoImageChangesAnything) {
  dir_.Write("system/bad.dll", std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'P', 'E'});
  viewer_.core.OpenList({Write(
      "app.exe", PeWriter(Layout::Pe32).Export("x", 0).Import("gone.dll", {ByName("f")}).Import("bad.dll", {ByName("f")}).Build())});
  TTreeNode* root = viewer_.core.Items().TopItem(0);
  TTreeNode* gone = Child(root, "gone.dll");
  TTreeNode* bad = Child(root, "bad.dll");
  const std::string before = TreeAsText(viewer_.core.Items(), {});
  for (TTreeNode* node : {static_cast<TTreeNode*>(nullptr), root, Child(root, "Exported APIs"), gone, bad}) {
    viewer_.core.PopupInspectClick(node);
  }
  EXPECT_EQ(TreeAsText(viewer_.core.Items(), {}), before) << "nothing changes";
  const auto& errors = viewer_.shell.errors;
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& error : errors) EXPECT_EQ(error.text, "File not found");
  EXPECT_EQ(errors[0].file, "gone.dll");
  EXPECT_EQ(errors[0].style, kErrorBoxStyle);
  for (const TTreeNode* node : {gone, bad}) EXPECT_EQ(node->ImageIndex(), kIconLibrary);
}

// Wine's prefix holds the libraries for 32-bit images in syswow64 and those
// for 64-bit ones in system32, each searched first for its own images; here
// both ways round. A file that is no image comes first, in the importer's folder.
TEST_F(InspectionTest, OnlyALibraryOfTheImportersMachineIsTakenWhereverItIs) {
  const ScopedEnvironment system("CORVANE_SYSTEM_PATH", std::nullopt);
  dir_.Write("app/LIB.DLL", std::vector<std::uint8_t>{'M', 'Z'});
  for (const bool swapped : {false, true}) {
    const std::string windows = std::string(swapped ? "swapped" : "prefix") + "/drive_c/windows/";
    const ScopedEnvironment prefix("WINEPREFIX", dir_.Path() + "/" + (swapped ? "swapped" : "prefix"));
    Write(windows + "syswow64/lib.dll", PeWriter(swapped ? Layout::Pe32Plus : Layout::Pe32).Build());
    Write(windows + "system32/lib.dll", PeWriter(swapped ? Layout::Pe32 : Layout::Pe32Plus).Build());
    for (const Layout layout : {Layout::Pe32, Layout::Pe32Plus}) {
      viewer_.core.OpenList({Write("app/app.exe", PeWriter(layout).Import("LIB.dll", {ByName("f")}).Build())});
      TTreeNode* library = Child(viewer_.core.Items().TopItem(0), "LIB.dll");
      viewer_.core.PopupInspectClick(library);
      const bool wow64 = (layout == Layout::Pe32) != swapped;
      EXPECT_EQ(library->Text(), Found("LIB.dll", windows + (wow64 ? "syswow64" : "system32"))) << windows;
    }
  }
}

// A program and its libraries, each import failing in its own way, checked
// through corvane-dump.
class ModulesTest : public InspectionTest {
 protected:
  ModulesTest() { testing::WriteModuleFamily(dir_); }
};

TEST_F(ModulesTest, EveryModuleOnceThenEachImportThatWouldNotBind) {
  const std::string app = dir_.Path() + "/app/", system = dir_.Path() + "/system/";
  EXPECT_EQ(Dump("--modules " + File("app/app.exe")).out,
            "\ta.dll => " + app + "a.dll\n"
            "\tapi-ms-win-test-l1-1-0.dll => " + system + "host.dll (API set)\n"
            "\thost.dll => " + system + "host.dll\n"
            "\tfwd.dll => " + app + "fwd.dll\n"
            "\tb.dll => " + app + "b.dll\n"
            "\tgone.dll => not found (needed by fwd.dll)\n"
            "\tlate.dll => not found (delay-loaded, needed by app.exe)\n"
            "\tmissing.dll => not found (needed by b.dll)\n"
            "\tNope from a.dll => not exported (needed by app.exe)\n"
            "\t#7 from a.dll => not exported (needed by app.exe)\n"
            "\tF2 from fwd.dll => forwarded in a cycle through fwd.F2 (needed by app.exe)\n"
            "\tF3 from fwd.dll => forwarded to b.Gone, which is not exported (needed by app.exe)\n"
            "\tF4 from fwd.dll => forwarded to gone.F, whose library is not found (needed by app.exe)\n"
            "\tNotInB from b.dll => not exported (needed by app.exe, delay-loaded)\n");
  EXPECT_EQ(Dump("--modules " + File("app/cyc.dll")).out,
            "\tcyb.dll => " + app + "cyb.dll\n\tGone from cyc.dll => not exported (needed by cyb.dll)\n");
  const std::string json = Dump("--modules --json " + File("app/app.exe")).out;
  for (const std::string& part :
       {"{\"name\":\"api-ms-win-test-l1-1-0.dll\",\"path\":\"" + system + "host.dll\",\"foundIn\":\"API set\",\"machine\":\"x86-64\",\"apiSet\":true",
        "{\"name\":\"b.dll\",\"path\":\"" + app + "b.dll\",\"foundIn\":\"file folder\",\"machine\":\"x86-64\",\"apiSet\":false,\"delayLoaded\":false,"
        "\"neededBy\":[\"fwd.dll\",\"app.exe\",\"a.dll\"]}",
        std::string("{\"name\":\"late.dll\",\"path\":null,\"foundIn\":null,\"machine\":null,\"apiSet\":false,\"delayLoaded\":true,\"neededBy\":[\"app.exe\"]}"),
        std::string("\"warnings\":[{\"module\":\"app.exe\",\"library\":\"late.dll\",\"function\":null,\"reason\":\"not found\"},"
                    "{\"module\":\"app.exe\",\"library\":\"b.dll\",\"function\":\"NotInB\",\"reason\":\"not exported\"}]}]}\n")}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
  QJsonParseError error;
  EXPECT_FALSE(QJsonDocument::fromJson(QByteArray::fromStdString(json), &error).isNull()) << error.errorString().toStdString();
}

TEST_F(ModulesTest, TheExitStatusSaysWhetherEveryFileWasReadAndLoads) {
  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {File("app/app.exe"), 3},
      {File("app/late-only.exe"), 0},  // only a delay-loaded library is missing
      {File("app/late-only.exe") + " " + File("app/none.exe"), 1},
      {File("other/ships.exe"), 3},
      {"--path " + File("libs") + " " + File("other/ships.exe"), 0},
      {"--depth 1 " + File("app/a.dll"), 2},
  };
  for (const auto& c : cases) EXPECT_EQ(Dump("--modules " + c.arguments).status, c.status) << c.arguments;
}

TEST(WineMarkTest, OnlyTheDosStubCountsAndOnlyAsFarAsTheFileGoes) {
  const struct {
    std::size_t size;
    std::uint32_t newHeader;  // e_lfanew: where the stub ends
    std::size_t markAt;
    std::string mark;
    bool marked;
  } cases[] = {
      {0x100, 0x80, 0x40, "Wine builtin DLL", true},
      {0x100, 0x80, 0x50, "Wine placeholder DLL", true},
      {0x100, 0x80, 0x40, "Wine native DLL", false},
      {0x100, 0x80, 0x80, "Wine builtin DLL", false},  // in the PE header, past the stub
      {0x100, 0x40, 0x40, "Wine builtin DLL", false},  // no stub at all
      {0x100, 0x4C, 0x40, "Wine builtin DLL", false},  // the stub ends inside the mark
      {0x50, 0x80, 0x40, "Wine builtin", false},       // the file ends inside the stub
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> bytes(0x100);
    Put32(bytes, pe::kDosNewHeaderOffset, c.newHeader);
    std::copy(c.mark.begin(), c.mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.markAt));
    bytes.resize(c.size);
    EXPECT_EQ(IsMarkedAsWines(View(bytes)), c.marked) << c.mark << " at " << c.markAt;
  }
}

// One library in each place the loader looks, beside libraries that a
// program's folder must not carry, checked by a copy of corvane-dump whose
// own folder is one of the places.
class ShipTest : public InspectionTest {
 protected:
  ShipTest() {
    const auto x64 = [] { return PeWriter(Layout::Pe32Plus); };
    Write("system/apisetschema.dll",
          x64().DataSection(".apiset", SchemaSection({{"api-ms-win-test-l1-1-0", "", "host.dll"}})).Build());
    auto app = x64();
    for (const char* library : {"infile.dll", "option.dll", "beside.dll", "here.dll", "sys.dll", "onpath.dll",
                                "api-ms-win-test-l1-1-0.dll", "builtin.dll", "placeholder.dll"}) {
      app.Import(library, {ByName("F")});
    }
    Write("app/app.exe", app.Build());
    Write("app/other.exe", x64().Import("infile.dll", {ByName("F")}).Import("option.dll", {ByName("F")}).Build());
    const auto library = [&] { return x64().Export("F", 0).Build(); };
    for (const char* place : {"app/infile.dll", "opt/option.dll", "prog/beside.dll", "cwd/here.dll",
                              "system/sys.dll", "onpath/onpath.dll", "app/host.dll"}) {
      Write(place, library());
    }
    for (const std::string mark : {"Wine builtin DLL", "Wine placeholder DLL"}) {
      testing::BuiltImage marked = library();
      std::copy(mark.begin(), mark.end(), marked.bytes.begin() + 0x40);  // the DOS stub
      Write(mark == "Wine builtin DLL" ? "app/builtin.dll" : "app/placeholder.dll", marked);
    }
    fs::copy_file(CORVANE_DUMP, dir_.Path() + "/prog/corvane-dump");
  }
  testing::DumpRun Run(const std::string& arguments) {
    const std::string at = dir_.Path();
    return Dump(arguments, false, "cd " + Quoted(at + "/cwd") + " && PATH=" + Quoted(at + "/onpath") + " ",
                at + "/prog/corvane-dump");
  }
};

TEST_F(ShipTest, ListsWhatWasFoundOutsideTheSystemOnceButNoApiSetHostWinesOwnOrFileChecked) {
  const std::string at = dir_.Path();
  const std::string outside = at + "/app/infile.dll\n" + at + "/opt/option.dll\n" + at + "/prog/beside.dll\n" + at +
                              "/cwd/here.dll\n" + at + "/onpath/onpath.dll\n";
  const struct {
    std::string arguments;
    std::string out;
  } cases[] = {
      {File("app/app.exe") + " " + File("app/other.exe"), outside},
      {File("app/other.exe") + " " + File("app/app.exe"), outside},
      {File("app/app.exe") + " " + File("app/infile.dll"), outside.substr(outside.find('\n') + 1)},
  };
  for (const auto& c : cases) {
    const testing::DumpRun run = Run("--modules --ship --path " + File("opt") + " " + c.arguments);
    EXPECT_EQ(run.status, 0) << c.arguments;
    EXPECT_EQ(run.out, c.out) << c.arguments;
  }
}

}  // namespace
}  // namespace corvane
