// The viewer on hostile and broken images, each opened in memory through the
// whole tree build (open_in_memory.h): in a heap block of exactly its size,
// so that a sanitized build reports any read past it, with the build's rules
// checked on every open; each test states what must still be shown.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mapped_image.h"
#include "open_in_memory.h"
#include "pe_writer.h"
#include "viewer_core.h"
#include "walkers.h"

namespace corvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using NoViolations = std::vector<std::string>;

constexpr const char* kExports = "Exported APIs: alpha (0), beta (2), gamma (1)\n";
constexpr const char* kKernel = "KERNEL32.dll:     17 (ordinal),  65535 (ordinal), ExitProcess, Sleep\n";
constexpr const char* kUser = "USER32.dll: MessageBoxA\n";
constexpr const char* kVersion = "version 1.2.3.4\n";

// Exports, split imports with ordinals, a library with only an address table,
// and a version resource: each directory in a section of its own.
BuiltImage Rich(Layout layout) {
  return PeWriter(layout)
      .Export("alpha", 0)
      .Export("beta", 2)
      .Export("gamma", 1)
      .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(17)})
      .Import("USER32.dll", {ByName("MessageBoxA")}, ThunkTables::FirstThunkOnly)
      .Import("KERNEL32.dll", {ByName("ExitProcess"), ByOrdinal(65535)})
      .Version(FixedFileInfo{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004})
      .Build();
}

// What the viewer shows of Rich().
std::string Full() { return std::string(kExports) + kKernel + kUser + kVersion; }

// What the viewer shows of `bytes`, once it has kept its rules.
std::string Shown(std::span<const std::uint8_t> bytes) {
  const OpenedImage opened = OpenInMemory(bytes);
  EXPECT_EQ(opened.violations, NoViolations());
  return Describe(opened);
}

// The section after ".text": where the writer puts an image's only directory.
constexpr std::size_t kTableSection = 1;

// The RVA of the byte at file offset `offset` in `section`.
std::uint32_t RvaOf(const BuiltImage& image, std::size_t section, std::size_t offset) {
  const std::size_t header = image.SectionHeader(section);
  return static_cast<std::uint32_t>(image.Read<std::uint32_t>(header + kSectionRvaField) + offset -
                                    image.Read<std::uint32_t>(header + kSectionRawPointerField));
}

std::size_t LastSection(const BuiltImage& image) {
  return image.Read<std::uint16_t>(image.fileHeader + kNumberOfSectionsField) - std::size_t{1};
}

class HostileImageTest : public ::testing::TestWithParam<Layout> {
 protected:
  BuiltImage Rich() const { return testing::Rich(GetParam()); }
  PeWriter Writer() const { return PeWriter(GetParam()); }
};

TEST_P(HostileImageTest, EveryTruncationShowsOnlyWhatItsBytesStillHold) {
  const BuiltImage full = Rich();
  OpenedImage previous = OpenInMemory({});
  for (std::size_t length = 0; length <= full.bytes.size(); ++length) {
    const OpenedImage cut = OpenInMemory(std::span(full.bytes).first(length));
    ASSERT_EQ(cut.violations, NoViolations()) << "length " << length;
    ASSERT_EQ(cut.message == kMessageNotPe, length < full.ntHeaders + 4) << "length " << length;
    ASSERT_EQ(cut.version.has_value(), length >= *full.versionBlock + kFixedFileInfoEnd) << "length " << length;
    ASSERT_EQ(NotWithin(previous, cut), "") << "length " << length;
    previous = cut;
  }
  EXPECT_EQ(Describe(previous), Full());
}

TEST_P(HostileImageTest, FieldsThatLieCostOnlyWhatTheyDescribe) {
  const BuiltImage full = Rich();
  const auto size = static_cast<std::uint32_t>(full.bytes.size());
  const std::uint32_t pastEndRva = RvaOf(full, LastSection(full), size);
  const std::size_t kernel = full.imports[0].descriptor;
  const std::size_t user = full.imports[1].descriptor;
  // Each case names the part of what Rich() shows that changes, and what it
  // becomes.
  const std::string all = Full();
  const std::string notPe = std::string(kMessageNotPe) + "\n";
  const std::string imports = std::string(kKernel) + kUser;
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    std::string part;
    std::string becomes;
  } cases[] = {
      {"e_lfanew 0", kELfanewField, 0, all, notPe},
      {"e_lfanew 0xFFFFFFFF", kELfanewField, 0xFFFFFFFF, all, notPe},
      {"e_lfanew past the end", kELfanewField, size, all, notPe},
      {"no sections", full.fileHeader + kNumberOfSectionsField, 0, all, ""},
      {"optional header 0xFFFF long", full.fileHeader + kSizeOfOptionalHeaderField, 0xFFFF, all, ""},
      {"NumberOfRvaAndSizes 0", full.numberOfRvaAndSizesField, 0, all, ""},
      {"NumberOfRvaAndSizes 0xFFFFFFFF", full.numberOfRvaAndSizesField, 0xFFFFFFFF, "", ""},
      {"export RVA 0xFFFFFFFF", full.DataDirectory(kExportDirectory), 0xFFFFFFFF, kExports, ""},
      {"import RVA past the end", full.DataDirectory(kImportDirectory), pastEndRva, imports, ""},
      {"import RVA at the last byte", full.DataDirectory(kImportDirectory), pastEndRva - 1, imports, ""},
      {"export section reaching past 4 GiB", full.SectionHeader(kTableSection) + kSectionRawSizeField, 0xFFFFFFFF,
       imports + kVersion, ""},
      {"import section data at 0xFFFFFFFF", full.SectionHeader(kTableSection + 1) + kSectionRawPointerField, 0xFFFFFFFF,
       imports, ""},
      {"AddressOfNames 0", *full.exportDirectory + kExportNamesField, 0, kExports, ""},
      {"AddressOfNameOrdinals past the end", *full.exportDirectory + kExportOrdinalsField, pastEndRva, kExports, ""},
      {"the second name RVA 0xFFFFFFFF", *full.exportNamePointers + sizeof(std::uint32_t), 0xFFFFFFFF, " beta (2),",
       ""},
      {"first descriptor's Name 0", kernel + kImportNameField, 0, imports, ""},
      {"a library name in no section", user + kImportNameField, 0xFFFFFFFF, kUser, ""},
      {"no lookup table", kernel, 0, "", ""},
      {"lookup table in no section", kernel, 0xFFFFFFFF, kKernel, "KERNEL32.dll:  65535 (ordinal), ExitProcess\n"},
      {"no thunk table at all", user + kImportFirstThunkField, 0, " MessageBoxA", ""},
      {"version data in no section", *full.versionDataEntry, 0xFFFFFFFF, kVersion, ""},
      {"version data longer than the file", *full.versionDataEntry + kResourceDataSizeField, 0xFFFFFFFF, "", ""},
  };
  for (const auto& c : cases) {
    BuiltImage patched = full;
    patched.Patch32(c.field, c.value);
    std::string expected = all;
    expected.replace(expected.find(c.part), c.part.size(), c.becomes);
    EXPECT_EQ(Shown(patched.bytes), expected) << c.name;
  }
}

// The bytes of `image` up to and including the first `text` in them.
Bytes CutAfter(const BuiltImage& image, std::string_view text) {
  const auto at = std::search(image.bytes.begin(), image.bytes.end(), text.begin(), text.end());
  return Bytes(image.bytes.begin(), at + static_cast<std::ptrdiff_t>(text.size()));
}

TEST_P(HostileImageTest, TablesThatRunOffTheEndOrIntoThemselvesShowWhatTheyHold) {
  const auto exportCountOfAllOnes = [this] {
    BuiltImage image = Writer().Export("alpha", 3).Export("beta", 4).Build();
    const std::size_t end = image.bytes.size();
    // The name table's only whole entry is the last word of the file; the
    // ordinal table is its upper half, so alpha's ordinal reads as 0.
    image.Patch32(end - 4, image.Read<std::uint32_t>(*image.exportNamePointers));
    image.Patch32(*image.exportDirectory + kExportNameCountField, 0xFFFFFFFF);
    image.Patch32(*image.exportDirectory + kExportNamesField, RvaOf(image, kTableSection, end - 4));
    image.Patch32(*image.exportDirectory + kExportOrdinalsField, RvaOf(image, kTableSection, end - 2));
    return image.bytes;
  };
  const auto hintNameAtTheEnd = [this] {
    BuiltImage image = Writer().Import("a.dll", {ByName("f"), ByName("g")}).Build();
    const std::size_t end = image.bytes.size();
    image.Patch32(end - 4, 0x78000100);  // hint 1, then "x" as the file's last byte
    image.Patch32(*image.imports[0].originalFirstThunk, RvaOf(image, kTableSection, end - 3));
    return image.bytes;
  };
  // The file ends with a whole descriptor, then `kCut` bytes of one; the
  // import directory starts at the whole one or at the cut one.
  constexpr std::ptrdiff_t kCut = 10;
  const auto descriptorsAtTheEnd = [this](bool startAtTheCutOne) {
    BuiltImage image = Writer().Import("a.dll", {ByName("f"), ByOrdinal(9)}).Build();
    const auto descriptor = image.bytes.begin() + static_cast<std::ptrdiff_t>(image.imports[0].descriptor);
    const auto whole = image.bytes.end() - kCut - static_cast<std::ptrdiff_t>(kImportDescriptorSize);
    std::copy_n(descriptor, kImportDescriptorSize, whole);
    std::fill(image.bytes.end() - kCut, image.bytes.end(), std::uint8_t{0xFF});
    const auto start =
        static_cast<std::size_t>((startAtTheCutOne ? image.bytes.end() - kCut : whole) - image.bytes.begin());
    image.Patch32(image.DataDirectory(kImportDirectory), RvaOf(image, kTableSection, start));
    return image.bytes;
  };
  // Both thunks name the hint/name entry two bytes before the table, so the
  // name is the first thunk's own low bytes.
  BuiltImage selfNamed = Writer().Import("a.dll", {ByName("f"), ByName("g")}).Build();
  const std::size_t table = *selfNamed.imports[0].originalFirstThunk;
  const std::uint32_t nameRva = RvaOf(selfNamed, kTableSection, table) - 2;
  selfNamed.Patch32(table, nameRva);
  selfNamed.Patch32(table + (GetParam() == Layout::Pe32 ? 4 : 8), nameRva);
  const std::string ownBytes{static_cast<char>(nameRva), static_cast<char>(nameRva >> 8)};
  ASSERT_EQ(ownBytes.find('\0'), std::string::npos);

  const struct {
    const char* name;
    Bytes bytes;
    std::string shown;
  } cases[] = {
      {"export count 0xFFFFFFFF, tables at the end", exportCountOfAllOnes(), "Exported APIs: alpha (0)\n"},
      {"export name without NUL", CutAfter(Writer().Export("alpha", 0).Export("zeta", 1).Build(), "zeta"),
       "Exported APIs: alpha (0)\n"},
      {"library name without NUL",
       CutAfter(Writer().Import("a.dll", {ByName("f")}).Import("last.dll", {ByName("g")}).Build(), "last.dll"),
       "a.dll: f\n"},
      {"function name without NUL", hintNameAtTheEnd(), "a.dll: g\n"},
      {"descriptor array cut by the end", descriptorsAtTheEnd(false), "a.dll:      9 (ordinal), f\n"},
      {"descriptor array starting in its cut entry", descriptorsAtTheEnd(true), ""},
      {"thunks naming their own table", selfNamed.bytes, "a.dll: " + ownBytes + "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Shown(c.bytes), c.shown) << c.name;
}

TEST_P(HostileImageTest, ThousandsOfDescriptorsSharingOneTableShowEachFunctionOnceAndWhole) {
  // A walk that went over the shared table once per descriptor would read
  // nine million names, far past what the build reads before it stops.
  constexpr std::size_t kCount = 3000;
  std::vector<ImportEntry> entries;
  for (std::size_t i = 0; i < kCount; ++i) entries.push_back(ByName(Numbered("f", i)));
  PeWriter writer = Writer().Import("big.dll", std::move(entries));
  for (std::size_t d = 1; d < kCount; ++d) writer.Import("x.dll", {});
  BuiltImage built = writer.Build();
  const auto first = built.bytes.begin() + static_cast<std::ptrdiff_t>(built.imports[0].descriptor);
  for (std::size_t d = 1; d < kCount; ++d) {
    std::copy_n(first, kImportDescriptorSize,
                built.bytes.begin() + static_cast<std::ptrdiff_t>(built.imports[d].descriptor));
  }
  const OpenedImage opened = OpenInMemory(built.bytes);
  EXPECT_EQ(opened.violations, NoViolations());
  EXPECT_EQ(opened.message, "");
  ASSERT_EQ(opened.branches.size(), 2u);
  EXPECT_EQ(opened.branches[1].children.size(), kCount);
}

TEST_P(HostileImageTest, DescriptorsNamingOneLongNameAreIndexedByPlaceAndCutWhenEachPlaceIsNew) {
  // Five thousand descriptors whose names are one name of a megabyte, read
  // either at one place or at five thousand places one byte apart.
  constexpr std::size_t kDescriptors = 5000;
  constexpr std::size_t kMegabyte = std::size_t{1} << 20;
  PeWriter writer = Writer().Import(std::string(kMegabyte, 'L'), {ByName("f")});
  for (std::size_t d = 1; d < kDescriptors; ++d) writer.Import("x.dll", {ByName("f")});
  const BuiltImage built = writer.Build();
  const std::uint32_t longName = built.Read<std::uint32_t>(built.imports[0].descriptor + kImportNameField);
  for (const std::uint32_t step : {0u, 1u}) {
    BuiltImage patched = built;
    for (std::size_t d = 1; d < kDescriptors; ++d) {
      patched.Patch32(patched.imports[d].descriptor + kImportNameField,
                      longName + step * static_cast<std::uint32_t>(d));
    }
    MappedImage image;
    const ByteView view(reinterpret_cast<const std::byte*>(patched.bytes.data()), patched.bytes.size());
    ASSERT_TRUE(IdentifyImage(image, view));
    const ImportDirectory directory(image);
    const auto& descriptors = directory.Descriptors();
    const std::int32_t last = directory.FirstNamed(descriptors.back().name);
    if (step == 0) {
      // One place: hashed once, and every descriptor is in one chain.
      EXPECT_FALSE(directory.Cut());
      std::size_t chained = 0;
      for (std::int32_t i = last; i >= 0; i = descriptors[static_cast<std::size_t>(i)].nextSameName) ++chained;
      EXPECT_EQ(chained, kDescriptors);
    } else {
      // Each place reads up to a megabyte anew: indexing stops after about
      // twice the file and the room for small files.
      EXPECT_TRUE(directory.Cut());
      const std::size_t allowed = 2 * patched.bytes.size() + (std::size_t{16} << 20);
      EXPECT_GE(descriptors.size(), allowed / kMegabyte - 1);
      EXPECT_LE(descriptors.size(), allowed / (kMegabyte - kDescriptors) + 1);
      EXPECT_EQ(last, static_cast<std::int32_t>(descriptors.size() - 1));
    }
  }
}

TEST_P(HostileImageTest, AVersionRecordIsFoundOnlyWhereEveryLengthAndEntryHoldsItWhole) {
  const BuiltImage good = Writer().Version(FixedFileInfo{.fileVersionMS = 0x70008}).Build();
  const std::size_t block = *good.versionBlock;
  const std::size_t size = *good.versionDataEntry + kResourceDataSizeField;
  // `good` with the word at `field` set to `value`, and ending `keep` bytes
  // into the block when that is given.
  const auto patched = [&good, block](std::size_t field, std::uint32_t value, std::optional<std::size_t> keep = {}) {
    BuiltImage image = good;
    image.Patch32(field, value);
    if (keep) image.bytes.resize(block + *keep);
    return image.bytes;
  };
  constexpr std::uint32_t kEnd = kFixedFileInfoEnd;
  constexpr std::uint32_t kValueLength = kFixedFileInfoEnd - kFixedFileInfoOffset;
  const auto lengths = [](std::uint32_t wLength, std::uint32_t wValueLength) { return wLength | wValueLength << 16; };
  Bytes noNul{0x80, 0, kValueLength, 0, 0, 0};  // wLength 128, then a key of 61 'V's
  while (noNul.size() < 128) noNul.insert(noNul.end(), {'V', 0});
  // The resource directory's levels: each one's first entry, and where the
  // offset from the root that it holds leads.
  const std::size_t root = *good.resourceRoot;
  const auto entry = [](std::size_t directory) {
    return directory + kResourceDirectorySize + kResourceEntryTargetField;
  };
  const auto next = [&good, root, &entry](std::size_t directory) {
    return root + (good.Read<std::uint32_t>(entry(directory)) & ~kResourceSubdirectoryFlag);
  };
  const std::size_t type = entry(root);
  const std::size_t name = entry(next(root));
  const std::size_t language = entry(next(next(root)));
  const auto offset = [root](std::size_t at) { return static_cast<std::uint32_t>(at - root); };
  const auto end = static_cast<std::uint32_t>(good.bytes.size());
  const struct {
    const char* name;
    Bytes bytes;
    bool found;
  } cases[] = {
      {"as written", good.bytes, true},
      {"wLength 0", patched(block, lengths(0, kValueLength)), false},
      {"wLength ends before the record does", patched(block, lengths(kEnd - 1, kValueLength)), false},
      {"wLength 0xFFFF", patched(block, lengths(0xFFFF, kValueLength)), true},
      {"wValueLength 0", patched(block, lengths(kEnd, 0)), false},
      {"wValueLength one short", patched(block, lengths(kEnd, kValueLength - 1)), false},
      {"wValueLength 0xFFFF", patched(block, lengths(kEnd, 0xFFFF)), true},
      {"Size 0", patched(size, 0), false},
      {"Size ends before the record does", patched(size, kEnd - 1), false},
      {"Size 0xFFFFFFFF", patched(size, 0xFFFFFFFF), true},
      {"Size past the end, the file ending with the record", patched(size, 0x100000, kEnd), true},
      {"Size past the end, the file ending inside the record", patched(size, 0x100000, kEnd - 1), false},
      {"a key without NUL", Writer().VersionRaw(noNul).Build().bytes, false},
      {"type entry names the root", patched(type, kResourceSubdirectoryFlag), false},
      {"name entry names its own directory", patched(name, kResourceSubdirectoryFlag | offset(next(root))), false},
      {"language entry names its own directory",
       patched(language, kResourceSubdirectoryFlag | offset(next(next(root)))), false},
      {"language entry takes the root for data", patched(language, 0), false},
      {"language entry flagged as a directory",
       patched(language, kResourceSubdirectoryFlag | good.Read<std::uint32_t>(language)), false},
      {"type entry just past the view", patched(type, kResourceSubdirectoryFlag | offset(end)), false},
      {"type entry at the end of the offset range", patched(type, 0xFFFFFFFF), false},
      {"data entry just past the view", patched(language, offset(end)), false},
      {"data entry whose Size is cut by the end", patched(language, offset(end - kResourceDataSizeField - 2)), false},
      {"65535 named entries first", patched(root + kResourceEntryCountsField, 0x0001FFFF), false},
      {"65535 ID entries", patched(root + kResourceEntryCountsField, 0xFFFF0000), true},
  };
  for (const auto& c : cases) EXPECT_EQ(Shown(c.bytes), c.found ? "version 7.8.0.0\n" : "") << c.name;
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileImageTest, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

}  // namespace
}  // namespace corvane::testing
