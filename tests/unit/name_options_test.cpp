// corvane-dump's --demangle and --name-ordinals as a user runs them, on
// written files: what each decoration scheme reads as, and which ordinals
// get their exporter's name.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_run.h"
#include "hostile_names.h"
#include "pe_writer.h"
#include "temp_files.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::ByOrdinal;
using testing::Dump;
using testing::DumpRun;
using testing::Layout;
using testing::PeWriter;
using testing::Quoted;
using testing::TempDir;

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Each name as exported and as imported, and what it reads as decoded.
const struct {
  const char* what;
  const char* raw;
  const char* shown;
} kNames[] = {
    {"Itanium function", "_ZNKSt7codecvtIcciE6do_outERiPKcS3_RS3_PcS5_RS5_",
     "std::codecvt<char, char, int>::do_out(int&, char const*, char const*, char const*&, char*, char*, char*&) const"},
    {"Itanium data", "_ZN3foo3barE", "foo::bar"},
    {"Itanium template", "_Z1fIiEvT_", "void f<int>(int)"},
    {"Itanium operator", "_ZN3fooplERKS_", "foo::operator+(foo const&)"},
    {"Itanium vtable", "_ZTVSt9exception", "vtable for std::exception"},
    {"Microsoft data", "?x@@3HA", "int x"},
    {"Microsoft function", "?_Getcat@?$codecvt@DDH@std@@SAIPAPBVfacet@locale@2@@Z",
     "public: static unsigned int __cdecl std::codecvt<char, char, int>::_Getcat(class std::locale::facet const **)"},
    {"Microsoft template", "??$f@H@@YAXH@Z", "void __cdecl f<int>(int)"},
    {"Microsoft operator", "??2@YAPAXI@Z", "void * __cdecl operator new(unsigned int)"},
    {"Microsoft vtable", "??_7type_info@@6B@", "const type_info::`vftable'"},
    {"Rust", "_RNvCs15kBYyAo9fc_7mycrate3foo", "mycrate::foo"},
    {"Rust, Itanium-compatible", "_ZN4core3fmt5write17h0123456789abcdefE", "core::fmt::write::h0123456789abcdef"},
    {"plain C", "DSA_Create", "DSA_Create"},
    {"stdcall", "Foo@12", "Foo@12"},
    {"Itanium garbage", "_Zgarbage", "_Zgarbage"},
    {"Microsoft garbage", "?garbage", "?garbage"},
};

TEST(NameOptions, EachSchemeReadsDecodedInExportsImportsAndJsonWithTheRawNameKept) {
  PeWriter exporter(Layout::Pe32);
  std::vector<testing::ImportEntry> imports;
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    exporter.Export(kNames[i].raw, static_cast<std::uint16_t>(i));
    imports.push_back(ByName(kNames[i].raw));
  }
  const TempDir dir;
  const std::string dll = dir.Write("names.dll", exporter.Build().bytes);
  const std::string exe = dir.Write("user.exe", PeWriter(Layout::Pe32).Import("names.dll", imports).Build().bytes);

  const DumpRun plain = Dump(Quoted(dll) + " " + Quoted(exe));
  const DumpRun text = Dump("--demangle " + Quoted(dll) + " " + Quoted(exe));
  const DumpRun json = Dump("--demangle --json " + Quoted(exe));
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    const auto& name = kNames[i];
    const std::string ordinal = " (" + std::to_string(i) + ")\n";
    EXPECT_TRUE(Holds(plain.out, "── " + std::string(name.raw) + ordinal)) << name.what;
    EXPECT_TRUE(Holds(text.out, "── " + std::string(name.shown) + ordinal)) << name.what << "\n" << text.out;
    EXPECT_TRUE(Holds(text.out, "── " + std::string(name.shown) + "\n")) << name.what;
    const std::string node = "{\"text\":\"" + std::string(name.shown) + "\"";
    const bool decoded = std::string(name.raw) != name.shown;
    EXPECT_TRUE(Holds(json.out, decoded ? node + ",\"name\":\"" + name.raw + "\",\"icon\":5" : node + ",\"icon\":5"))
        << name.what;
  }
  // The exports keep the order of the export table.
  EXPECT_LT(text.out.find("── std::codecvt"), text.out.find("── foo::bar (1)"));
}

// An exporter whose ordinals start at 10: 10 and 12 are named (12 with a
// decorated name), 11 is not; a user imports those, one below the base, one
// past the table, and one from a library that is nowhere.
TEST(NameOptions, OrdinalsReadAsTheirExportersNamesWhereTheExporterNamesThem) {
  const TempDir dir;
  dir.Write("named.dll", PeWriter(Layout::Pe32)
                             .ExportBase(10)
                             .Export("Alpha", 0)
                             .Export("_Z5alphav", 2)
                             .Build()
                             .bytes);
  const std::string exe =
      dir.Write("user.exe", PeWriter(Layout::Pe32)
                                .Import("named.dll", {ByOrdinal(12), ByOrdinal(11), ByOrdinal(10), ByOrdinal(9),
                                                      ByOrdinal(13), ByName("Zulu"), ByName("_Z7missingv")})
                                .Import("nowhere.dll", {ByOrdinal(10)})
                                .Build()
                                .bytes);
  const std::string ordinals =
      "├── named.dll\n│   ├──      9 (ordinal)\n│   ├──     11 (ordinal)\n│   ├──     13 (ordinal)\n";
  const struct {
    std::string options;
    std::string library;
  } kCases[] = {
      {"",
       "├── named.dll\n│   ├──      9 (ordinal)\n│   ├──     10 (ordinal)\n│   ├──     11 (ordinal)\n│   ├──     12 "
       "(ordinal)\n│   ├──     13 (ordinal)\n│   ├── _Z7missingv\n│   └── Zulu\n"},
      {"--name-ordinals ",
       ordinals + "│   ├── _Z5alphav (ordinal 12)\n│   ├── _Z7missingv\n│   ├── Alpha (ordinal 10)\n│   └── Zulu\n"},
      {"--name-ordinals --demangle ",
       ordinals + "│   ├── Alpha (ordinal 10)\n│   ├── alpha() (ordinal 12)\n│   ├── missing()\n│   └── Zulu\n"},
  };
  for (const auto& c : kCases) {
    const DumpRun run = Dump(c.options + Quoted(exe));
    EXPECT_TRUE(Holds(run.out, c.library)) << c.options << "\n" << run.out;
    EXPECT_TRUE(Holds(run.out, "└── nowhere.dll\n    └──     10 (ordinal)\n")) << c.options;
  }
  const DumpRun json = Dump("--name-ordinals --json " + Quoted(exe));
  EXPECT_TRUE(Holds(json.out, "{\"text\":\"Alpha (ordinal 10)\",\"name\":\"Alpha\",\"icon\":5")) << json.out;
  EXPECT_TRUE(Holds(json.out, "{\"text\":\"    11 (ordinal)\",\"icon\":5")) << json.out;

  const DumpRun modules = Dump("--modules --demangle " + Quoted(exe));
  EXPECT_TRUE(Holds(modules.out, "\tmissing() from named.dll => not exported (needed by user.exe)\n")) << modules.out;
  EXPECT_TRUE(Holds(Dump("--modules --demangle --json " + Quoted(exe)).out,
                    "\"function\":\"missing()\",\"name\":\"_Z7missingv\","));
  const DumpRun ship = Dump("--modules --ship --demangle " + Quoted(exe), true);
  EXPECT_TRUE(Holds(ship.out, ": missing() from named.dll: not exported (needed by user.exe)\n")) << ship.out;
  EXPECT_EQ(Dump("--modules --name-ordinals " + Quoted(exe)).status, 2);
}

// Names nested hundreds of thousands deep, megabytes long, and short ones
// that would decode to gigabytes, exported and imported: each stays as it is.
TEST(NameOptions, AFileOfHostileNamesOpensWithEveryNameRaw) {
  const std::string hostile[] = {
      testing::ItaniumNested(300'000),
      "_ZN" + testing::Repeated("1a", 1'500'000) + "E",
      "_Z1f" + std::string(400'000, 'P') + "i",
      "?x@@3" + testing::Repeated("V?$a@", 200'000) + "H",
      testing::ItaniumDoubling(40),
      testing::MicrosoftFanOut(30),
      "_RNv" + testing::Repeated("B0_", 40) + "C1a",
  };
  PeWriter writer(Layout::Pe32);
  std::vector<testing::ImportEntry> imports;
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    writer.Export(hostile[i], static_cast<std::uint16_t>(i));
    imports.push_back(ByName(hostile[i]));
  }
  const TempDir dir;
  const std::string file = dir.Write("hostile.dll", writer.Import("hostile.dll", imports).Build().bytes);
  const DumpRun run = Dump("--demangle --name-ordinals " + Quoted(file));
  EXPECT_EQ(run.status, 0);
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    EXPECT_TRUE(Holds(run.out, "── " + hostile[i] + " (" + std::to_string(i) + ")\n")) << i;
    EXPECT_TRUE(Holds(run.out, "── " + hostile[i] + "\n")) << i;
  }
}

}  // namespace
}  // namespace corvane
