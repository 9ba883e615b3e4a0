// The reader on well-formed images: telling PE images from others, the
// image-helper translations, the three walkers, the version reader and the
// file mapping beneath them.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image_hlp.h"
#include "mapped_image.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "version_reader.h"
#include "walkers.h"

namespace corvane {
namespace {

using namespace testing;  // the PE writer
using Texts = std::vector<std::string>;

template <typename Bytes>
ByteView ViewOf(const Bytes& bytes) {
  return ByteView(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
}

// What one walk reported, a text per call, and whether the walker said it
// found its table. The callback answers false on call number `stopAfter`.
struct Walk {
  bool Add(void* userB, std::string text) {
    EXPECT_EQ(userB, &stopAfter) << "the second caller value comes back unchanged";
    texts.push_back(std::move(text));
    return texts.size() < stopAfter;
  }
  std::size_t stopAfter;
  bool found = false;
  Texts texts{};
};

bool OnExport(void* userA, void* userB, std::string_view name, std::int32_t nameOrdinal) {
  return static_cast<Walk*>(userA)->Add(userB, std::string(name) + " " + std::to_string(nameOrdinal));
}
bool OnText(void* userA, void* userB, std::string_view text) {
  return static_cast<Walk*>(userA)->Add(userB, std::string(text));
}

// Which walk to run: the exports, the libraries, or a library's functions.
constexpr std::string_view kExportWalk = "<exports>";
constexpr std::string_view kLibraryWalk = "<libraries>";
constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();

Walk WalkOf(const MappedImage& image, std::string_view what, std::size_t stopAfter = kAll) {
  Walk walk{.stopAfter = stopAfter};
  if (what == kExportWalk) {
    walk.found = EnumExports(image, OnExport, &walk, &walk.stopAfter);
  } else if (what == kLibraryWalk) {
    walk.found = EnumImportedLibraries(image, OnText, &walk, &walk.stopAfter);
  } else {
    walk.found = EnumImportedFunctions(image, what, OnText, &walk, &walk.stopAfter);
  }
  return walk;
}

constexpr std::uint32_t kNtHeaders = 0x40;

TEST(GetImageFormat, ReadsTheSignatureAtENewHeaderWithoutPassingTheEnd) {
  const auto withHeader = [](std::string tail, std::uint32_t eLfanew = kNtHeaders) {
    std::string bytes("MZ");
    bytes.resize(kNtHeaders, '\0');
    for (std::size_t i = 0; i < 4; ++i) bytes[kELfanewField + i] = static_cast<char>(eLfanew >> (8 * i));
    return bytes + tail;
  };
  // The two signature letters read as a little-endian number.
  const struct {
    const char* name;
    std::string bytes;
    std::uint32_t format;
  } cases[] = {
      {"empty", "", 0},
      {"MZ alone", "MZ", 0x5A4D},
      {"shorter than e_lfanew's end", std::string("MZ") + std::string(kELfanewField + 1, '\0'), 0x5A4D},
      {"e_lfanew 0xFFFFFFFF", withHeader("PE", 0xFFFFFFFF), 0x5A4D},
      {"PE\\0\\0", withHeader(std::string("PE\0\0", 4)), 0x4550},
      {"PE then a non-zero byte", withHeader(std::string("PE\0\x01", 4)), 0x5A4D},
      {"PE\\0 at the end", withHeader(std::string("PE\0", 3)), 0x5A4D},
      {"NE at the end", withHeader("NE"), 0x454E},
      {"LE with high bytes set", withHeader("LE\xFF\xFF"), 0x454C},
  };
  for (const auto& c : cases) EXPECT_EQ(GetImageFormat(ViewOf(c.bytes)), c.format) << c.name;
}

TEST(ImageRvaToVa, TheFirstSectionInTableOrderThatHoldsTheRvaTranslatesIt) {
  const struct {
    const char* name;
    std::vector<std::array<std::uint32_t, 3>> sections;  // virtual address, raw size, raw pointer
    std::uint32_t rva;
    std::optional<std::uint64_t> offset;
  } cases[] = {
      {"inside", {{0x1000, 0x100, 0x400}}, 0x10FF, 0x4FF},
      {"end is exclusive", {{0x1000, 0x100, 0x400}}, 0x1100, std::nullopt},
      {"below every section", {{0x1000, 0x100, 0x400}}, 0xFFF, std::nullopt},
      {"earlier section wins", {{0x1000, 0x1000, 0x400}, {0x800, 0x2000, 0x10000}}, 0x1800, 0xC00},
      {"later one where the first ends", {{0x1000, 0x1000, 0x400}, {0x800, 0x2000, 0x10000}}, 0x2000, 0x11800},
      {"nested later section loses", {{0x1000, 0x1000, 0x400}, {0x1400, 0x100, 0x8000}}, 0x1450, 0x850},
      {"zero-size section holds nothing", {{0x1000, 0, 0x9999}, {0x1000, 0x10, 0x200}}, 0x1000, 0x200},
      {"section reaching past 4 GiB", {{0xFFFFFF00, 0x200, 0x400}}, 0xFFFFFFFF, 0x4FF},
      {"no wrap to low RVAs", {{0xFFFFFF00, 0x200, 0x400}}, 0x50, std::nullopt},
      {"offset past 4 GiB", {{0x1000, 0x1000, 0xFFFFFFFF}}, 0x1FFF, 0x100000FFEull},
      {"no sections", {}, 0, std::nullopt},
  };
  // The writer's two section headers, rewritten and counted anew per case.
  const BuiltImage written = PeWriter(Layout::Pe32).Export("f", 0).Build();
  for (const auto& c : cases) {
    BuiltImage image = written;
    image.Patch16(image.fileHeader + kNumberOfSectionsField, static_cast<std::uint16_t>(c.sections.size()));
    for (std::size_t i = 0; i < c.sections.size(); ++i) {
      image.Patch32(image.SectionHeader(i) + kSectionRvaField, c.sections[i][0]);
      image.Patch32(image.SectionHeader(i) + kSectionRawSizeField, c.sections[i][1]);
      image.Patch32(image.SectionHeader(i) + kSectionRawPointerField, c.sections[i][2]);
    }
    const auto ntHeaders = static_cast<std::uint32_t>(image.ntHeaders);
    EXPECT_EQ(ImageRvaToVa(ViewOf(image.bytes), ntHeaders, c.rva), c.offset) << c.name;
    const SectionMap map(ViewOf(image.bytes), ntHeaders);
    EXPECT_EQ(map.RvaToOffset(c.rva), c.offset) << c.name;
    std::size_t hint = 1;  // stale, then the one the first lookup left
    for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(map.RvaToOffset(c.rva, hint), c.offset) << c.name;
  }
}

class ImageTest : public ::testing::TestWithParam<Layout> {
 protected:
  PeWriter Writer() const { return PeWriter(GetParam()); }
  bool Wide() const { return GetParam() == Layout::Pe32Plus; }
};

TEST_P(ImageTest, DirectoryEntriesGiveTheOffsetAndSizeOfEachUsableDirectory) {
  const BuiltImage good = Writer().Export("f", 0).Import("a.dll", {ByName("g")}).Version({}).Build();
  const std::optional<std::uint64_t> written[] = {good.exportDirectory, good.importDescriptors, good.resourceRoot};
  for (const std::uint16_t index : {kExportDirectory, kImportDirectory, kResourceDirectory}) {
    std::uint32_t size = 0;
    EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(good.bytes), false, index, &size), written[index]) << index;
    EXPECT_EQ(size, good.Read<std::uint32_t>(good.DataDirectory(index) + kDirectorySizeField)) << index;
  }
  // In an image-mapped view an RVA is its own offset.
  EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(good.bytes), true, kExportDirectory, nullptr),
            good.Read<std::uint32_t>(good.DataDirectory(kExportDirectory)));
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    std::uint16_t index;
  } unusable[] = {
      {"index equal to NumberOfRvaAndSizes", good.numberOfRvaAndSizesField, 2, kResourceDirectory},
      {"magic of a ROM image", good.optionalHeader, 0x107, kExportDirectory},
      {"VirtualAddress 0", good.DataDirectory(kImportDirectory), 0, kImportDirectory},
  };
  for (const auto& c : unusable) {
    BuiltImage patched = good;
    patched.Patch32(c.field, c.value);
    EXPECT_FALSE(ImageDirectoryEntryToData(ViewOf(patched.bytes), false, c.index, nullptr)) << c.name;
  }
}

TEST_P(ImageTest, EachWalkReportsItsTableInFileOrderAndStopsWhenTheCallbackSaysSo) {
  const std::uint64_t ordinalFlag = Wide() ? 1ull << 63 : 1ull << 31;
  const BuiltImage split = Writer()
                               .Import("KERNEL32.dll", {ByName("Sleep"), ByName("ExitProcess")})
                               .Import("USER32.dll", {ByName("MessageBoxA")})
                               .Import("KERNEL32.dll", {ByName("GetTickCount"), ByName("Sleep")})
                               .Import("kernel32.dll", {ByName("Beep")})
                               .Build();
  const BuiltImage unsorted = Writer().ExportBase(5).Export("Zeta", 7).Export("alpha", 0).Export("mid", 300).Build();
  BuiltImage tables = Writer()
                          .Import("a.dll", {ByName("Sleep")})
                          .Import("b.dll", {ByName("Beep")}, ThunkTables::FirstThunkOnly)
                          .Import("c.dll", {ByName("x"), ByName(""), ByName("y")})
                          .Import("c.dll", {ByName("z")})
                          .Import("e.dll", {})
                          .Import("o.dll", {ByName("Sleep", 0xFFFF), ByOrdinal(17), ByOrdinal(0), ByOrdinal(65535),
                                            RawThunk(ordinalFlag | 0x7FFF002A)})
                          .Import("w.dll", {RawThunk(0x80000011), RawThunk(0x80000001'00000012ull), ByName("Sleep")})
                          .Build();
  // The address table of a bound or loaded image holds something else.
  tables.Patch<std::uint64_t>(tables.imports[0].firstThunk, ordinalFlag | 5);
  const struct {
    const char* name;
    BuiltImage image;
    std::string_view walk;
    bool found;
    Texts texts;
    std::size_t stopAfter = kAll;
  } cases[] = {
      {"exports in name-table order with their raw name-ordinals", unsorted, kExportWalk, true,
       {"Zeta 7", "alpha 0", "mid 300"}},
      {"no export directory", split, kExportWalk, false, {}},
      {"an export directory without names", Writer().UnnamedExports(4).Build(), kExportWalk, true, {}},
      {"libraries in descriptor order, repeats included", split, kLibraryWalk, true,
       {"KERNEL32.dll", "USER32.dll", "KERNEL32.dll", "kernel32.dll"}},
      {"a library named twice has the union in file order", split, "KERNEL32.dll", true,
       {"Sleep", "ExitProcess", "GetTickCount", "Sleep"}},
      {"names match with their case", split, "kernel32.dll", true, {"Beep"}},
      {"names after their hint, ordinals in six places", tables, "o.dll", true,
       {"Sleep", "    17 (ordinal)", "     0 (ordinal)", " 65535 (ordinal)", "    42 (ordinal)"}},
      {"the ordinal flag is the layout's top bit", tables, "w.dll", true,
       Wide() ? Texts{"    18 (ordinal)", "Sleep"} : Texts{"    17 (ordinal)", "Sleep"}},
      {"the lookup table before the address table", tables, "a.dll", true, {"Sleep"}},
      {"the address table without a lookup table", tables, "b.dll", true, {"Beep"}},
      {"an empty name ends only its descriptor's list", tables, "c.dll", true, {"x", "z"}},
      {"a table of only its terminator", tables, "e.dll", true, {}},
      {"stopped libraries", split, kLibraryWalk, true, {"KERNEL32.dll"}, 1},
      {"stopped functions of a library named twice", split, "KERNEL32.dll", true, {"Sleep"}, 1},
  };
  for (const auto& c : cases) {
    MappedImage image;
    ASSERT_TRUE(IdentifyImage(image, ViewOf(c.image.bytes))) << c.name;
    const Walk walk = WalkOf(image, c.walk, c.stopAfter);
    EXPECT_EQ(walk.found, c.found) << c.name;
    EXPECT_EQ(walk.texts, c.texts) << c.name;
  }
}

TEST_P(ImageTest, TheVersionRecordIsCopiedWholeWithFlagsMasked) {
  const TempDir dir;
  const FixedFileInfo written{.structVersion = 0x00010000, .fileVersionMS = 0x00010002, .fileVersionLS = 0x00030004,
                              .productVersionMS = 0xFFFF0005, .productVersionLS = 0x0006FFFF, .fileFlagsMask = 0x05,
                              .fileFlags = 0x3F, .fileOS = 0x40004, .fileType = 2, .fileSubtype = 7,
                              .fileDateMS = 0x11, .fileDateLS = 0x22};
  const std::string path = dir.Write("v.dll", Writer().Version(written).Build().bytes);
  VS_FIXEDFILEINFO info;
  ASSERT_TRUE(ReadFixedFileInfo(&info, path.c_str()));
  std::array<std::uint32_t, 13> fields;
  std::memcpy(fields.data(), &info, sizeof info);
  EXPECT_EQ(fields, (std::array<std::uint32_t, 13>{0xFEEF04BD, 0x00010000, 0x00010002, 0x00030004, 0xFFFF0005,
                                                   0x0006FFFF, 0x05, 0x05, 0x40004, 2, 7, 0x11, 0x22}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImageTest, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

TEST(ReadFixedFileInfo, FailingWritesOnlyAZeroSignature) {
  const TempDir dir;
  BuiltImage otherType = PeWriter(Layout::Pe32Plus).Version({}).Build();
  otherType.Patch32(*otherType.resourceRoot + kResourceDirectorySize, 3);  // a resource, but of type 3
  const std::string cases[] = {
      dir.Path() + "/missing.dll",
      dir.Path(),
      dir.Write("plain.dll", MinimalPe(Layout::Pe32).bytes),
      dir.Write("other.dll", otherType.bytes),
      dir.Write("short.dll", PeWriter(Layout::Pe32).VersionValueLength(51).Version({}).Build().bytes),
  };
  for (const std::string& path : cases) {
    VS_FIXEDFILEINFO info;
    std::memset(static_cast<void*>(&info), 0xAB, sizeof info);  // what the caller left
    EXPECT_FALSE(ReadFixedFileInfo(&info, path.c_str())) << path;
    EXPECT_EQ(info.dwSignature, 0u) << path;
    EXPECT_EQ(info.dwFileVersionMS, 0xABABABABu) << path;
    EXPECT_EQ(info.dwFileDateLS, 0xABABABABu) << path;
  }
  EXPECT_FALSE(ReadFixedFileInfo(nullptr, cases[0].c_str()));
}

}  // namespace
}  // namespace corvane
