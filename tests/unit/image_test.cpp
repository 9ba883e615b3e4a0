// The reader on well-formed images: telling PE images from others, the
// image-helper translations, the three walkers, the version reader and the
// file mapping beneath them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <utility>
#include <vector>

#include "image_hlp.h"
#include "mapped_file.h"
#include "mapped_image.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "version_reader.h"
#include "walkers.h"

namespace corvane {
namespace {

using testing::BuiltImage;
using testing::ByName;
using testing::ByOrdinal;
using testing::FixedFileInfo;
using testing::Layout;
using testing::PeWriter;
using testing::RawThunk;
using testing::TempDir;
using testing::ThunkTables;

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

template <typename Bytes>
ByteView ViewOf(const Bytes& bytes) {
  return ByteView(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
}

using Texts = std::vector<std::string>;

// What one walk reported, a text per call, and whether the walker said it
// found its table. The callback answers false on call number `stopAfter`.
struct Walk {
  explicit Walk(std::size_t stop) : stopAfter(stop) {}
  bool Add(void* userB, std::string text) {
    EXPECT_EQ(userB, &stopAfter) << "the second caller value comes back unchanged";
    texts.push_back(std::move(text));
    return texts.size() < stopAfter;
  }
  bool found = false;
  Texts texts;
  std::size_t stopAfter;
};

bool OnExport(void* userA, void* userB, std::string_view name, std::int32_t nameOrdinal) {
  return static_cast<Walk*>(userA)->Add(userB, std::string(name) + " " + std::to_string(nameOrdinal));
}
bool OnText(void* userA, void* userB, std::string_view text) {
  return static_cast<Walk*>(userA)->Add(userB, std::string(text));
}

Walk Exports(const MappedImage& image, std::size_t stopAfter = kNoLimit) {
  Walk walk(stopAfter);
  walk.found = EnumExports(image, OnExport, &walk, &walk.stopAfter);
  return walk;
}
Walk Libraries(const MappedImage& image, std::size_t stopAfter = kNoLimit) {
  Walk walk(stopAfter);
  walk.found = EnumImportedLibraries(image, OnText, &walk, &walk.stopAfter);
  return walk;
}
Walk Functions(const MappedImage& image, std::string_view library, std::size_t stopAfter = kNoLimit) {
  Walk walk(stopAfter);
  walk.found = EnumImportedFunctions(image, library, OnText, &walk, &walk.stopAfter);
  return walk;
}

// Header bytes that hold nothing but a section table: "MZ", e_lfanew 0x40,
// "PE\0\0", no optional header, so the table starts at 0x58.
struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t sizeOfRawData;
  std::uint32_t pointerToRawData;
};
constexpr std::uint32_t kTableNtHeaders = 0x40;

std::vector<std::uint8_t> SectionTable(const std::vector<Section>& sections) {
  BuiltImage image;
  image.bytes.assign(0x58 + 40 * sections.size(), 0);
  image.Patch16(0, 0x5A4D);
  image.Patch32(0x3C, kTableNtHeaders);
  image.Patch32(0x40, 0x4550);
  image.Patch16(0x46, static_cast<std::uint16_t>(sections.size()));
  for (std::size_t i = 0; i < sections.size(); ++i) {
    image.Patch32(0x58 + 40 * i + 12, sections[i].virtualAddress);
    image.Patch32(0x58 + 40 * i + 16, sections[i].sizeOfRawData);
    image.Patch32(0x58 + 40 * i + 20, sections[i].pointerToRawData);
  }
  return image.bytes;
}

std::string AsString(const BuiltImage& image) { return std::string(image.bytes.begin(), image.bytes.end()); }

TEST(GetImageFormat, ReadsTheSignatureAtENewHeaderWithoutPassingTheEnd) {
  const auto withHeader = [](std::string tail, std::uint32_t eLfanew = 0x40) {
    std::string bytes("MZ");
    bytes.resize(0x40, '\0');
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(0x3C + i)] = static_cast<char>(eLfanew >> (8 * i));
    return bytes + tail;
  };
  const struct {
    const char* name;
    std::string bytes;
    std::uint32_t format;
  } cases[] = {
      {"empty", "", 0},
      {"one byte", "M", 0},
      {"reversed letters", withHeader(std::string("PE\0\0", 4)).replace(0, 2, "ZM"), 0},
      {"MZ alone", "MZ", 0x5A4D},
      {"shorter than e_lfanew's end", std::string("MZ") + std::string(0x3D, '\0'), 0x5A4D},
      {"e_lfanew 0 reads MZ again", withHeader("", 0), 0x5A4D},
      {"e_lfanew past the end", withHeader("", 0x40), 0x5A4D},
      {"e_lfanew 0xFFFFFFFF", withHeader("PE", 0xFFFFFFFF), 0x5A4D},
      {"PE\\0\\0", withHeader(std::string("PE\0\0", 4)), 0x4550},
      {"PE then a non-zero byte", withHeader(std::string("PE\0\x01", 4)), 0x5A4D},
      {"PE\\x01\\0", withHeader(std::string("PE\x01\0", 4)), 0x5A4D},
      {"PE\\0 at the end", withHeader(std::string("PE\0", 3)), 0x5A4D},
      {"PE at the end", withHeader("PE"), 0x5A4D},
      {"NE with more bytes", withHeader(std::string("NE\x05\x00\x10", 5)), 0x454E},
      {"NE at the end", withHeader("NE"), 0x454E},
      {"LE with high bytes set", withHeader("LE\xFF\xFF"), 0x454C},
      {"LE at the end", withHeader("LE"), 0x454C},
      {"N at the end", withHeader("N"), 0x5A4D},
      {"PE32 for an unknown machine", AsString(PeWriter(Layout::Pe32).Machine(0x1234).Build()), 0x4550},
      {"PE32+ for an unknown machine", AsString(PeWriter(Layout::Pe32Plus).Machine(0xFFFF).Build()), 0x4550},
  };
  for (const auto& c : cases) EXPECT_EQ(GetImageFormat(ViewOf(c.bytes)), c.format) << c.name;
}

TEST(ImageNtHeader, NeedsMzAndTheFullPeSignature) {
  const BuiltImage pe = PeWriter(Layout::Pe32).ELfanew(0x100).Build();
  EXPECT_EQ(ImageNtHeader(ViewOf(pe.bytes)), 0x100u);
  for (const std::size_t at : {std::size_t{0}, std::size_t{0x103}, std::size_t{0x100}}) {
    BuiltImage broken = pe;
    broken.bytes[at] ^= 0x20;
    EXPECT_FALSE(ImageNtHeader(ViewOf(broken.bytes))) << "byte " << at << " altered";
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

TEST(ImageRvaToVa, ASectionHeaderCutByTheViewEndsTheSearch) {
  const std::vector<std::uint8_t> bytes = SectionTable({{0x1000, 0x100, 0x400}, {0x2000, 0x100, 0x800}});
  const ByteView cut = *ViewOf(bytes).Sub(0, bytes.size() - 1);
  EXPECT_EQ(ImageRvaToVa(cut, kTableNtHeaders, 0x1010), 0x410u);
  EXPECT_FALSE(ImageRvaToVa(cut, kTableNtHeaders, 0x2010));
  EXPECT_FALSE(SectionMap(cut, kTableNtHeaders).RvaToOffset(0x2010));
}

// Every RVA that decides something: each section's edges, their neighbours,
// the ends of the address space and a few at random.
std::vector<std::uint32_t> ProbeRvas(const std::vector<Section>& sections, std::mt19937& random, int extra) {
  std::vector<std::uint32_t> rvas{0, 1, 0xFFFFFFFF};
  for (const Section& s : sections) {
    for (const std::uint32_t delta : {0u, 1u, s.sizeOfRawData - 1, s.sizeOfRawData}) {
      rvas.push_back(s.virtualAddress + delta);
      rvas.push_back(s.virtualAddress + delta - 1);
    }
  }
  for (int i = 0; i < extra; ++i) rvas.push_back(static_cast<std::uint32_t>(random() % 0x3000));
  return rvas;
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
    const std::size_t size = below(4) == 0 ? 0x58 + random() % (bytes.size() - 0x57) : bytes.size();
    const ByteView view = *ViewOf(bytes).Sub(0, size);
    const SectionMap map(view, kTableNtHeaders);
    // A hint carried from one lookup to the next, as walkers do, starting anywhere.
    std::size_t hint = random();
    for (const std::uint32_t rva : ProbeRvas(sections, random, 32)) {
      const auto expected = ImageRvaToVa(view, kTableNtHeaders, rva);
      ASSERT_EQ(map.RvaToOffset(rva), expected) << "trial " << trial << ", rva 0x" << std::hex << rva;
      ASSERT_EQ(map.RvaToOffset(rva, hint), expected) << "hinted, trial " << trial << ", rva 0x" << std::hex << rva;
    }
  }
}

TEST(SectionMap, AgreesWithTheTableWalkOver65535Sections) {
  std::mt19937 random(65535);
  std::vector<Section> sections(65535);
  for (Section& s : sections) {
    s = {static_cast<std::uint32_t>(random() % 0x100000), static_cast<std::uint32_t>(random() % 0x40),
         static_cast<std::uint32_t>(random())};
  }
  sections.back() = {0xF0000000, 0x1000, 0x1234};  // reachable only after all the others
  const std::vector<std::uint8_t> bytes = SectionTable(sections);
  const SectionMap map(ViewOf(bytes), kTableNtHeaders);
  const std::vector<Section> sample(sections.end() - 40, sections.end());
  for (const std::uint32_t rva : ProbeRvas(sample, random, 150)) {
    ASSERT_EQ(map.RvaToOffset(rva), ImageRvaToVa(ViewOf(bytes), kTableNtHeaders, rva)) << std::hex << rva;
  }
  EXPECT_EQ(map.RvaToOffset(0xF0000010), 0x1244u);
}

class ImageTest : public ::testing::TestWithParam<Layout> {
 protected:
  // Keeps `built` for the walkers and identifies it.
  const MappedImage& Identify(BuiltImage built) {
    built_ = std::move(built);
    EXPECT_TRUE(IdentifyImage(image_, ViewOf(built_.bytes)));
    return image_;
  }
  PeWriter Writer() const { return PeWriter(GetParam()); }
  std::size_t ThunkSize() const { return GetParam() == Layout::Pe32 ? 4 : 8; }
  std::uint64_t OrdinalFlag() const { return GetParam() == Layout::Pe32 ? 1ull << 31 : 1ull << 63; }

  BuiltImage built_;
  MappedImage image_;
};

TEST_P(ImageTest, IdentifyImageDescribesOnlyTheViewItWasLastGiven) {
  const BuiltImage built = Writer().ELfanew(0x100).Build();
  MappedImage image;
  EXPECT_TRUE(IdentifyImage(image, ViewOf(built.bytes)));
  EXPECT_EQ(image.format, kFormatPe);
  EXPECT_EQ(image.base.Data(), reinterpret_cast<const std::byte*>(built.bytes.data()));
  EXPECT_EQ(image.base.Size(), built.bytes.size());
  EXPECT_EQ(image.ntHeaders, 0x100u);

  const std::string dos = std::string("MZ") + std::string(0x40, '\0');
  EXPECT_FALSE(IdentifyImage(image, ViewOf(dos)));
  EXPECT_EQ(image.format, kFormatDos);
  EXPECT_EQ(image.base.Data(), reinterpret_cast<const std::byte*>(dos.data()));
  EXPECT_FALSE(image.ntHeaders);
}

TEST_P(ImageTest, DirectoryEntriesGiveTheOffsetAndSizeOfEachDirectory) {
  const BuiltImage built = Writer().Export("f", 0).Import("a.dll", {ByName("g")}).Version({}).Build();
  const std::optional<std::size_t> expected[] = {built.exportDirectory, built.importDescriptors, built.resourceRoot};
  for (std::uint16_t index = 0; index < 3; ++index) {
    std::uint32_t size = 0;
    EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(built.bytes), false, index, &size), expected[index]) << index;
    EXPECT_EQ(size, built.Read<std::uint32_t>(built.DataDirectory(index) + 4)) << index;
    EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(built.bytes), false, index, nullptr), expected[index]) << index;
  }
}

TEST_P(ImageTest, AnRvaInsideTheHeadersOrOfAnImageMappedViewIsItsOwnOffset) {
  BuiltImage built = Writer().Export("f", 0).Build();
  const std::uint32_t exportRva = built.Read<std::uint32_t>(built.DataDirectory(0));
  EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(built.bytes), true, 0, nullptr), exportRva);
  built.Patch32(built.DataDirectory(0), 0x40);
  std::uint32_t size = 0;
  EXPECT_EQ(ImageDirectoryEntryToData(ViewOf(built.bytes), false, 0, &size), 0x40u);
  EXPECT_EQ(size, built.Read<std::uint32_t>(built.DataDirectory(0) + 4));
}

TEST_P(ImageTest, DirectoryEntriesThatCannotBeUsedGiveNothing) {
  const BuiltImage good = Writer().Export("f", 0).Import("a.dll", {ByName("g")}).Version({}).Build();
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    std::uint16_t index;
  } cases[] = {
      {"index equal to NumberOfRvaAndSizes", good.numberOfRvaAndSizesField, 2, 2},
      {"NumberOfRvaAndSizes 0", good.numberOfRvaAndSizesField, 0, 0},
      {"entry past the view", good.numberOfRvaAndSizesField, 0xFFFFFFFF, 0xFFFF},
      {"magic of a ROM image", good.optionalHeader, 0x107, 0},
      {"VirtualAddress 0", good.DataDirectory(1), 0, 1},
      {"RVA in no section", good.DataDirectory(0), 0x7FFF0000, 0},
      {"no PE signature", good.ntHeaders, 0x4551, 0},
  };
  for (const auto& c : cases) {
    BuiltImage bad = good;
    if (c.field == good.optionalHeader) {
      bad.Patch16(c.field, static_cast<std::uint16_t>(c.value));
    } else {
      bad.Patch32(c.field, c.value);
    }
    EXPECT_FALSE(ImageDirectoryEntryToData(ViewOf(bad.bytes), false, c.index, nullptr)) << c.name;
  }
  EXPECT_FALSE(ImageDirectoryEntryToData(ViewOf(good.bytes), false, 5, nullptr)) << "an unused directory";
}

TEST_P(ImageTest, ExportsComeInNameTableOrderWithTheirRawNameOrdinals) {
  const Walk walk = Exports(
      Identify(Writer().ExportBase(5).Export("Zeta", 7).Export("alpha", 0).Export("mid", 300).Build()));
  EXPECT_TRUE(walk.found);
  EXPECT_EQ(walk.texts, Texts({"Zeta 7", "alpha 0", "mid 300"}));
}

TEST_P(ImageTest, AnImageWithoutExportsIsReportedAsSuchWithoutCalls) {
  const Walk none = Exports(Identify(Writer().Import("a.dll", {ByName("f")}).Build()));
  EXPECT_FALSE(none.found);
  EXPECT_TRUE(none.texts.empty());
  const Walk unnamed = Exports(Identify(Writer().UnnamedExports(4).Build()));
  EXPECT_TRUE(unnamed.found) << "a directory without names is still a directory";
  EXPECT_TRUE(unnamed.texts.empty());
}

TEST_P(ImageTest, LibrariesComeInDescriptorOrderDuplicatesIncluded) {
  const MappedImage& image = Identify(Writer()
                                          .Import("KERNEL32.dll", {ByName("Sleep")})
                                          .Import("USER32.dll", {ByName("MessageBoxA")})
                                          .Import("KERNEL32.dll", {ByName("ExitProcess")})
                                          .Import("kernel32.dll", {ByName("Beep")})
                                          .Build());
  const Walk walk = Libraries(image);
  EXPECT_TRUE(walk.found);
  EXPECT_EQ(walk.texts, Texts({"KERNEL32.dll", "USER32.dll", "KERNEL32.dll", "kernel32.dll"}));
  EXPECT_FALSE(Libraries(Identify(Writer().Export("f", 0).Build())).found);
}

TEST_P(ImageTest, FunctionsOfALibraryNamedTwiceAreTheUnionInFileOrder) {
  const MappedImage& image = Identify(Writer()
                                          .Import("KERNEL32.dll", {ByName("Sleep"), ByName("ExitProcess")})
                                          .Import("USER32.dll", {ByName("MessageBoxA")})
                                          .Import("KERNEL32.dll", {ByName("GetTickCount"), ByName("Sleep")})
                                          .Build());
  const Walk walk = Functions(image, "KERNEL32.dll");
  EXPECT_TRUE(walk.found);
  EXPECT_EQ(walk.texts, Texts({"Sleep", "ExitProcess", "GetTickCount", "Sleep"}));
}

TEST_P(ImageTest, LibraryNamesMatchExactlyWithCase) {
  const MappedImage& image = Identify(
      Writer().Import("KERNEL32.dll", {ByName("Sleep")}).Import("kernel32.dll", {ByName("Beep")}).Build());
  EXPECT_EQ(Functions(image, "kernel32.dll").texts, Texts({"Beep"}));
  for (const char* name : {"KERNEL32.DLL", "KERNEL32", "KERNEL32.dll ", ""}) {
    const Walk walk = Functions(image, name);
    EXPECT_FALSE(walk.found) << '"' << name << '"';
    EXPECT_TRUE(walk.texts.empty()) << '"' << name << '"';
  }
}

TEST_P(ImageTest, EachThunkShowsAsTheNameAfterItsHintOrAsItsOrdinalInSixPlaces) {
  const MappedImage& image = Identify(Writer()
                                          .Import("a.dll", {ByName("Sleep", 0xFFFF), ByOrdinal(17), ByOrdinal(0),
                                                            ByOrdinal(65535), RawThunk(OrdinalFlag() | 0x7FFF002A)})
                                          .Build());
  EXPECT_EQ(Functions(image, "a.dll").texts,
            Texts({"Sleep", "    17 (ordinal)", "     0 (ordinal)", " 65535 (ordinal)", "    42 (ordinal)"}));
}

TEST(ImportThunks, Pe32PlusTablesHoldSixtyFourBitThunksFlaggedInBit63) {
  const BuiltImage built =
      PeWriter(Layout::Pe32Plus)
          .Import("a.dll", {RawThunk(0x80000011), RawThunk(0x80000001'00000012ull), ByName("Sleep")})
          .Build();
  MappedImage image;
  ASSERT_TRUE(IdentifyImage(image, ViewOf(built.bytes)));
  EXPECT_EQ(Functions(image, "a.dll").texts, Texts({"    18 (ordinal)", "Sleep"}))
      << "bit 31 alone is no ordinal flag: 0x80000011 is a name RVA in no section";
}

TEST_P(ImageTest, TheLookupTableIsReadInPreferenceToTheAddressTable) {
  BuiltImage built = Writer()
                         .Import("a.dll", {ByName("Sleep")})
                         .Import("b.dll", {ByName("Beep")}, ThunkTables::FirstThunkOnly)
                         .Build();
  // The address table of a bound or loaded image holds something else.
  if (ThunkSize() == 8) {
    built.Patch64(built.imports[0].firstThunk, OrdinalFlag() | 5);
  } else {
    built.Patch32(built.imports[0].firstThunk, 0x80000005);
  }
  const MappedImage& image = Identify(std::move(built));
  EXPECT_EQ(Functions(image, "a.dll").texts, Texts({"Sleep"}));
  EXPECT_EQ(Functions(image, "b.dll").texts, Texts({"Beep"})) << "no lookup table, so the address table";
}

TEST_P(ImageTest, AnEmptyNameEndsOnlyItsOwnDescriptorsList) {
  const MappedImage& image = Identify(Writer()
                                          .Import("a.dll", {ByName("x"), ByName(""), ByName("y")})
                                          .Import("a.dll", {ByName("z")})
                                          .Import("empty.dll", {})
                                          .Build());
  EXPECT_EQ(Functions(image, "a.dll").texts, Texts({"x", "z"}));
  const Walk empty = Functions(image, "empty.dll");
  EXPECT_TRUE(empty.found) << "a table that holds only its terminator is still a table";
  EXPECT_TRUE(empty.texts.empty());
}

TEST_P(ImageTest, ALibraryIsFoundOnlyWhenOneOfItsDescriptorsHasAThunkTable) {
  BuiltImage built =
      Writer().Import("a.dll", {ByName("f")}).Import("b.dll", {ByName("g")}).Import("a.dll", {ByName("h")}).Build();
  for (const std::size_t d : {0, 1}) {
    built.Patch32(built.imports[d].descriptor, 0);       // OriginalFirstThunk
    built.Patch32(built.imports[d].descriptor + 16, 0);  // FirstThunk
  }
  const MappedImage& image = Identify(std::move(built));
  const Walk a = Functions(image, "a.dll");
  const Walk b = Functions(image, "b.dll");
  EXPECT_TRUE(a.found);
  EXPECT_EQ(a.texts, Texts({"h"}));
  EXPECT_FALSE(b.found);
  EXPECT_TRUE(b.texts.empty());
}

TEST_P(ImageTest, ACallbackThatAnswersFalseGetsExactlyOneCall) {
  const MappedImage& image = Identify(Writer()
                                          .Export("a", 0)
                                          .Export("b", 1)
                                          .Import("x.dll", {ByName("f"), ByOrdinal(2)})
                                          .Import("y.dll", {ByName("g")})
                                          .Import("x.dll", {ByName("h")})
                                          .Build());
  EXPECT_EQ(Exports(image, 1).texts, Texts({"a 0"}));
  EXPECT_EQ(Libraries(image, 1).texts, Texts({"x.dll"}));
  EXPECT_EQ(Functions(image, "x.dll", 1).texts, Texts({"f"}));
}

TEST_P(ImageTest, ACallbackMayWalkTheSameImageAgain) {
  const MappedImage& image = Identify(
      Writer().Export("e", 3).Import("x.dll", {ByName("f"), ByOrdinal(2)}).Import("y.dll", {ByName("g")}).Build());
  struct Nested {
    const MappedImage* image;
    Texts seen;
  } nested{&image, {}};
  const auto onLibrary = [](void* userA, void*, std::string_view name) {
    auto& n = *static_cast<Nested*>(userA);
    n.seen.push_back(std::string(name) + ":");
    for (const std::string& text : Functions(*n.image, name).texts) n.seen.back() += " [" + text + "]";
    for (const std::string& text : Exports(*n.image).texts) n.seen.back() += " / " + text;
    return true;
  };
  EXPECT_TRUE(EnumImportedLibraries(image, onLibrary, &nested, nullptr));
  EXPECT_EQ(nested.seen, Texts({"x.dll: [f] [     2 (ordinal)] / e 3", "y.dll: [g] / e 3"}));
}

TEST_P(ImageTest, TheVersionRecordIsCopiedWholeWithFlagsMasked) {
  const TempDir dir;
  const std::string path =
      dir.Write("v.dll", Writer()
                             .Version(FixedFileInfo{.structVersion = 0x00010000, .fileVersionMS = 0x00010002,
                                                    .fileVersionLS = 0x00030004, .productVersionMS = 0xFFFF0005,
                                                    .productVersionLS = 0x0006FFFF, .fileFlagsMask = 0x05,
                                                    .fileFlags = 0x3F, .fileOS = 0x40004, .fileType = 2,
                                                    .fileSubtype = 7, .fileDateMS = 0x11, .fileDateLS = 0x22})
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
  EXPECT_EQ(info.dwFileVersionMS, 0x00010004u);
  EXPECT_EQ(info.dwFileVersionLS, 0u);
  EXPECT_EQ(FormatVersion(info.dwFileVersionMS, info.dwFileVersionLS), "1.4.0.0");
  EXPECT_FALSE(ReadFixedFileInfo(nullptr, nullptr));
}

TEST(ReadFixedFileInfo, FailingWritesOnlyAZeroSignature) {
  const TempDir dir;
  const auto write = [&dir](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return dir.Write(name, bytes);
  };
  const std::string cases[] = {
      dir.Path() + "/missing.dll",
      "",
      dir.Path(),
      write("plain.dll", testing::MinimalPe(Layout::Pe32).bytes),
      write("other.dll", PeWriter(Layout::Pe32Plus).Resource(3, std::vector<std::uint8_t>(64, 1)).Build().bytes),
      write("short.dll", PeWriter(Layout::Pe32).VersionValueLength(51).Version({}).Build().bytes),
      write("text.txt", {'h', 'e', 'l', 'l', 'o'}),
      write("dos.exe", {'M', 'Z'}),
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

TEST(FormatVersion, ShowsFourDecimalPartsInFull) {
  EXPECT_EQ(FormatVersion(0x10002, 0x30004), "1.2.3.4");
  EXPECT_EQ(FormatVersion(0, 0), "0.0.0.0");
  EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFF0000), "65535.65535.65535.0");
}

TEST(MappedFile, RefusesWhatIsNotARegularReadableFile) {
  const TempDir dir;
  const std::string fifo = dir.Path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string dangling = dir.Path() + "/dangling";
  ASSERT_EQ(::symlink((dir.Path() + "/nowhere").c_str(), dangling.c_str()), 0);
  std::vector<std::string> paths{dir.Path() + "/missing", dir.Path(), fifo, "/dev/zero", dangling, ""};
  if (::geteuid() != 0) {  // root reads whatever the mode bits say
    const std::string locked = dir.Write("locked.bin", std::vector<std::uint8_t>{'M', 'Z'});
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    paths.push_back(locked);
  }
  for (const std::string& path : paths) {
    const auto mapped = MappedFile::Map(path);
    ASSERT_TRUE(std::holds_alternative<MapFailure>(mapped)) << path;
    EXPECT_EQ(std::get<MapFailure>(mapped), MapFailure::kOpen) << path;
  }
  const auto empty = MappedFile::Map(dir.Write("empty.bin", std::vector<std::uint8_t>{}));
  ASSERT_TRUE(std::holds_alternative<MapFailure>(empty));
  EXPECT_EQ(std::get<MapFailure>(empty), MapFailure::kMapping);
}

}  // namespace
}  // namespace corvane
