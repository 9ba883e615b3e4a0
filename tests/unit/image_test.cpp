// The reader on well-formed images: telling PE images from others, the
// image-helper translations, the three walkers, the version reader and the
// file mapping beneath them.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
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

// Header bytes that hold nothing but a section table: "MZ", e_lfanew, "PE\0\0"
// and a file header without an optional header, then the table.
struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t sizeOfRawData;
  std::uint32_t pointerToRawData;
};
constexpr std::uint32_t kTableNtHeaders = 0x40;
constexpr std::size_t kTableFileHeader = kTableNtHeaders + 4;
constexpr std::size_t kTableSections = kTableFileHeader + 20;  // past the file header

std::vector<std::uint8_t> SectionTable(const std::vector<Section>& sections) {
  BuiltImage image;
  image.bytes.assign(kTableSections + kSectionHeaderSize * sections.size(), 0);
  image.Patch16(0, 0x5A4D);
  image.Patch32(kELfanewField, kTableNtHeaders);
  image.Patch32(kTableNtHeaders, 0x4550);
  image.Patch16(kTableFileHeader + kNumberOfSectionsField, static_cast<std::uint16_t>(sections.size()));
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t header = kTableSections + kSectionHeaderSize * i;
    image.Patch32(header + kSectionRvaField, sections[i].virtualAddress);
    image.Patch32(header + kSectionRawSizeField, sections[i].sizeOfRawData);
    image.Patch32(header + kSectionRawPointerField, sections[i].pointerToRawData);
  }
  return image.bytes;
}

TEST(GetImageFormat, ReadsTheSignatureAtENewHeaderWithoutPassingTheEnd) {
  const auto withHeader = [](std::string tail, std::uint32_t eLfanew = kTableNtHeaders) {
    std::string bytes("MZ");
    bytes.resize(kTableNtHeaders, '\0');
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
      {"one byte", "M", 0},
      {"reversed letters", withHeader(std::string("PE\0\0", 4)).replace(0, 2, "ZM"), 0},
      {"MZ alone", "MZ", 0x5A4D},
      {"shorter than e_lfanew's end", std::string("MZ") + std::string(kELfanewField + 1, '\0'), 0x5A4D},
      {"e_lfanew 0 reads MZ again", withHeader("", 0), 0x5A4D},
      {"e_lfanew past the end", withHeader(""), 0x5A4D},
      {"e_lfanew 0xFFFFFFFF", withHeader("PE", 0xFFFFFFFF), 0x5A4D},
      {"PE\\0\\0", withHeader(std::string("PE\0\0", 4)), 0x4550},
      {"PE then a non-zero byte", withHeader(std::string("PE\0\x01", 4)), 0x5A4D},
      {"PE\\x01\\0", withHeader(std::string("PE\x01\0", 4)), 0x5A4D},
      {"pE\\0\\0", withHeader(std::string("pE\0\0", 4)), 0x5A4D},
      {"PE\\0 at the end", withHeader(std::string("PE\0", 3)), 0x5A4D},
      {"PE at the end", withHeader("PE"), 0x5A4D},
      {"NE with more bytes", withHeader(std::string("NE\x05\x00\x10", 5)), 0x454E},
      {"NE at the end", withHeader("NE"), 0x454E},
      {"LE with high bytes set", withHeader("LE\xFF\xFF"), 0x454C},
      {"LE at the end", withHeader("LE"), 0x454C},
      {"N at the end", withHeader("N"), 0x5A4D},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetImageFormat(ViewOf(c.bytes)), c.format) << c.name;
    const std::optional<std::uint32_t> ntHeaders = c.format == 0x4550 ? std::optional(kTableNtHeaders) : std::nullopt;
    EXPECT_EQ(ImageNtHeader(ViewOf(c.bytes)), ntHeaders) << c.name;
  }
}

TEST(ImageRvaToVa, TheFirstSectionInTableOrderThatHoldsTheRvaTranslatesIt) {
  const struct {
    const char* name;
    std::vector<Section> sections;
    std::uint32_t rva;
    std::optional<std::uint64_t> offset;
  } cases[] = {
      {"inside", {{0x1000, 0x100, 0x400}}, 0x10FF, 0x4FF},
      {"end is exclusive", {{0x1000, 0x100, 0x400}}, 0x1100, std::nullopt},
      {"below every section", {{0x1000, 0x100, 0x400}}, 0xFFF, std::nullopt},
      {"earlier section wins", {{0x1000, 0x1000, 0x400}, {0x800, 0x2000, 0x10000}}, 0x1800, 0xC00},
      {"later one where the first ends", {{0x1000, 0x1000, 0x400}, {0x800, 0x2000, 0x10000}}, 0x2000, 0x11800},
      {"later one below the first", {{0x1000, 0x1000, 0x400}, {0x800, 0x2000, 0x10000}}, 0x900, 0x10100},
      {"nested later section loses", {{0x1000, 0x1000, 0x400}, {0x1400, 0x100, 0x8000}}, 0x1450, 0x850},
      {"zero-size section holds nothing", {{0x1000, 0, 0x9999}, {0x1000, 0x10, 0x200}}, 0x1000, 0x200},
      {"section reaching past 4 GiB", {{0xFFFFFF00, 0x200, 0x400}}, 0xFFFFFFFF, 0x4FF},
      {"no wrap to low RVAs", {{0xFFFFFF00, 0x200, 0x400}}, 0x50, std::nullopt},
      {"no wrap below the start", {{0xFFFFF000, 0x5000, 0x400}}, 0x3000, std::nullopt},
      {"offset past 4 GiB", {{0x1000, 0x1000, 0xFFFFFFFF}}, 0x1FFF, 0x100000FFEull},
      {"no sections", {}, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes = SectionTable(c.sections);
    EXPECT_EQ(ImageRvaToVa(ViewOf(bytes), kTableNtHeaders, c.rva), c.offset) << c.name;
    EXPECT_EQ(SectionMap(ViewOf(bytes), kTableNtHeaders).RvaToOffset(c.rva), c.offset) << c.name;
  }
}

TEST(SectionMap, AgreesWithTheTableWalkOnRandomSectionTables) {
  std::mt19937 random(20240611);
  const auto below = [&random](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<Section> sections(below(24));
    for (Section& s : sections) {
      // Small addresses and sizes so that sections overlap and share edges.
      const std::uint32_t addresses[] = {below(0x30) * 0x80, 0xFFFFFF00u + below(0x100), below(0xFFFFFFFF)};
      const std::uint32_t sizes[] = {0, below(0x10) * 0x80, 1 + below(0x400), 0xFFFFFFFF};
      s = {addresses[below(3)], sizes[below(4)], below(0xFFFFFFFF)};
    }
    const std::vector<std::uint8_t> bytes = SectionTable(sections);
    // Now and then the view cuts the table.
    const std::size_t size =
        below(4) == 0 ? kTableSections + random() % (bytes.size() - kTableSections + 1) : bytes.size();
    const ByteView view = *ViewOf(bytes).Sub(0, size);
    const SectionMap map(view, kTableNtHeaders);
    // Every RVA that decides something (each section's edges and their
    // neighbours, the ends of the address space) and a few at random, with
    // a hint carried from one lookup to the next as walkers do.
    std::vector<std::uint32_t> rvas{0, 1, 0xFFFFFFFF};
    for (const Section& s : sections) {
      for (const std::uint32_t delta : {0u, 1u, s.sizeOfRawData - 1, s.sizeOfRawData}) {
        rvas.insert(rvas.end(), {s.virtualAddress + delta, s.virtualAddress + delta - 1});
      }
    }
    for (int i = 0; i < 32; ++i) rvas.push_back(below(0x3000));
    std::size_t hint = random();
    for (const std::uint32_t rva : rvas) {
      const auto expected = ImageRvaToVa(view, kTableNtHeaders, rva);
      ASSERT_EQ(map.RvaToOffset(rva), expected) << "trial " << trial << ", rva 0x" << std::hex << rva;
      ASSERT_EQ(map.RvaToOffset(rva, hint), expected) << "hinted, trial " << trial << ", rva 0x" << std::hex << rva;
    }
  }
}

class ImageTest : public ::testing::TestWithParam<Layout> {
 protected:
  PeWriter Writer() const { return PeWriter(GetParam()); }
  bool Wide() const { return GetParam() == Layout::Pe32Plus; }
};

TEST_P(ImageTest, DirectoryEntriesGiveTheOffsetAndSizeOfEachDirectory) {
  BuiltImage image = Writer().Export("f", 0).Import("a.dll", {ByName("g")}).Version({}).Build();
  const std::optional<std::uint64_t> written[] = {image.exportDirectory, image.importDescriptors, image.resourceRoot};
  for (const std::uint16_t index : {kExportDirectory, kImportDirectory, kResourceDirectory}) {
    std::uint32_t size = 0;
    EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(image.bytes), false, index, &size), written[index]) << index;
    EXPECT_EQ(size, image.Read<std::uint32_t>(image.DataDirectory(index) + kDirectorySizeField)) << index;
  }
  // In an image-mapped view, and inside the headers, an RVA is its own offset.
  const std::uint32_t exports = image.Read<std::uint32_t>(image.DataDirectory(kExportDirectory));
  EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(image.bytes), true, kExportDirectory, nullptr), exports);
  image.Patch32(image.DataDirectory(kExportDirectory), 0x40);
  EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(image.bytes), false, kExportDirectory, nullptr), 0x40u);
}

TEST_P(ImageTest, DirectoryEntriesThatCannotBeUsedGiveNothing) {
  const BuiltImage good = Writer().Export("f", 0).Import("a.dll", {ByName("g")}).Version({}).Build();
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    std::uint16_t index;
  } cases[] = {
      {"index equal to NumberOfRvaAndSizes", good.numberOfRvaAndSizesField, 2, kResourceDirectory},
      {"entry past the view", good.numberOfRvaAndSizesField, 0xFFFFFFFF, 0xFFFF},
      {"magic of a ROM image", good.optionalHeader, 0x107, kExportDirectory},
      {"VirtualAddress 0", good.DataDirectory(kImportDirectory), 0, kImportDirectory},
      {"no PE signature", good.ntHeaders, 0x4551, kExportDirectory},
      {"an unused directory", good.DataDirectory(5), 0, 5},
  };
  for (const auto& c : cases) {
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
  BuiltImage boundTables = Writer()
                               .Import("a.dll", {ByName("Sleep")})
                               .Import("b.dll", {ByName("Beep")}, ThunkTables::FirstThunkOnly)
                               .Build();
  // The address table of a bound or loaded image holds something else.
  boundTables.Patch<std::uint64_t>(boundTables.imports[0].firstThunk, ordinalFlag | 5);
  BuiltImage someTables =
      Writer().Import("a.dll", {ByName("f")}).Import("b.dll", {ByName("g")}).Import("a.dll", {ByName("h")}).Build();
  for (const std::size_t d : {0, 1}) {
    someTables.Patch32(someTables.imports[d].descriptor, 0);
    someTables.Patch32(someTables.imports[d].descriptor + kImportFirstThunkField, 0);
  }
  const BuiltImage emptyName = Writer()
                                   .Import("a.dll", {ByName("x"), ByName(""), ByName("y")})
                                   .Import("a.dll", {ByName("z")})
                                   .Import("e.dll", {})
                                   .Build();
  const BuiltImage unsorted = Writer().ExportBase(5).Export("Zeta", 7).Export("alpha", 0).Export("mid", 300).Build();
  const BuiltImage thunks = Writer()
                                .Import("a.dll", {ByName("Sleep", 0xFFFF), ByOrdinal(17), ByOrdinal(0),
                                                  ByOrdinal(65535), RawThunk(ordinalFlag | 0x7FFF002A)})
                                .Build();
  const BuiltImage flags =
      Writer().Import("a.dll", {RawThunk(0x80000011), RawThunk(0x80000001'00000012ull), ByName("Sleep")}).Build();
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
      {"no import directory", unsorted, kLibraryWalk, false, {}},
      {"a library named twice has the union in file order", split, "KERNEL32.dll", true,
       {"Sleep", "ExitProcess", "GetTickCount", "Sleep"}},
      {"names match with their case", split, "kernel32.dll", true, {"Beep"}},
      {"another case is another name", split, "KERNEL32.DLL", false, {}},
      {"a trailing space is another name", split, "KERNEL32.dll ", false, {}},
      {"the empty name names nothing", split, "", false, {}},
      {"names after their hint, ordinals in six places", thunks, "a.dll", true,
       {"Sleep", "    17 (ordinal)", "     0 (ordinal)", " 65535 (ordinal)", "    42 (ordinal)"}},
      {"the ordinal flag is the layout's top bit", flags, "a.dll", true,
       Wide() ? Texts{"    18 (ordinal)", "Sleep"} : Texts{"    17 (ordinal)", "Sleep"}},
      {"the lookup table before the address table", boundTables, "a.dll", true, {"Sleep"}},
      {"the address table without a lookup table", boundTables, "b.dll", true, {"Beep"}},
      {"an empty name ends only its descriptor's list", emptyName, "a.dll", true, {"x", "z"}},
      {"a table of only its terminator", emptyName, "e.dll", true, {}},
      {"found through the one descriptor with a thunk table", someTables, "a.dll", true, {"h"}},
      {"not found without a thunk table", someTables, "b.dll", false, {}},
      {"stopped exports", unsorted, kExportWalk, true, {"Zeta 7"}, 1},
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
  const std::string path = dir.Write("v.dll", Writer()
                                                  .Version(FixedFileInfo{.structVersion = 0x00010000,
                                                                         .fileVersionMS = 0x00010002,
                                                                         .fileVersionLS = 0x00030004,
                                                                         .productVersionMS = 0xFFFF0005,
                                                                         .productVersionLS = 0x0006FFFF,
                                                                         .fileFlagsMask = 0x05,
                                                                         .fileFlags = 0x3F,
                                                                         .fileOS = 0x40004,
                                                                         .fileType = 2,
                                                                         .fileSubtype = 7,
                                                                         .fileDateMS = 0x11,
                                                                         .fileDateLS = 0x22})
                                                  .Build()
                                                  .bytes);
  VS_FIXEDFILEINFO info;
  ASSERT_TRUE(ReadFixedFileInfo(&info, path.c_str()));
  std::array<std::uint32_t, 13> fields;
  std::memcpy(fields.data(), &info, sizeof info);
  EXPECT_EQ(fields, (std::array<std::uint32_t, 13>{0xFEEF04BD, 0x00010000, 0x00010002, 0x00030004, 0xFFFF0005,
                                                   0x0006FFFF, 0x05, 0x05, 0x40004, 2, 7, 0x11, 0x22}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImageTest, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

TEST(ReadFixedFileInfo, WithoutAPathGivesTheProgramsOwnVersion) {
  VS_FIXEDFILEINFO info;
  ASSERT_TRUE(ReadFixedFileInfo(&info, nullptr));
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(FormatVersion(info.dwFileVersionMS, info.dwFileVersionLS), "1.4.0.0");
  EXPECT_FALSE(ReadFixedFileInfo(nullptr, nullptr));
}

TEST(ReadFixedFileInfo, FailingWritesOnlyAZeroSignature) {
  const TempDir dir;
  BuiltImage otherType = PeWriter(Layout::Pe32Plus).Version({}).Build();
  otherType.Patch32(*otherType.resourceRoot + kResourceDirectorySize, 3);  // a resource, but of type 3
  const std::string cases[] = {
      dir.Path() + "/missing.dll",
      "",
      dir.Path(),
      dir.Write("plain.dll", MinimalPe(Layout::Pe32).bytes),
      dir.Write("other.dll", otherType.bytes),
      dir.Write("short.dll", PeWriter(Layout::Pe32).VersionValueLength(51).Version({}).Build().bytes),
      dir.Write("text.txt", std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}),
      dir.Write("dos.exe", std::vector<std::uint8_t>{'M', 'Z'}),
  };
  for (const std::string& path : cases) {
    VS_FIXEDFILEINFO info;
    std::memset(static_cast<void*>(&info), 0xAB, sizeof info);  // what the caller left
    EXPECT_FALSE(ReadFixedFileInfo(&info, path.c_str())) << path;
    EXPECT_EQ(info.dwSignature, 0u) << path;
    EXPECT_EQ(info.dwFileVersionMS, 0xABABABABu) << path;
    EXPECT_EQ(info.dwFileDateLS, 0xABABABABu) << path;
  }
}

}  // namespace
}  // namespace corvane
