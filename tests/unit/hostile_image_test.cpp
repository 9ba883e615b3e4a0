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
#include "reading_budget.h"
#include "self_pointing_run.h"
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
  const std::uint32_t pastEndRva = RvaOf(full, LastSection(full), full.bytes.size());
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
      {"no sections", full.fileHeader + kNumberOfSectionsField, 0, all, ""},
      {"optional header 0xFFFF long", full.fileHeader + kSizeOfOptionalHeaderField, 0xFFFF, all, ""},
      {"NumberOfRvaAndSizes 0xFFFFFFFF", full.numberOfRvaAndSizesField, 0xFFFFFFFF, "", ""},
      {"export RVA 0xFFFFFFFF", full.DataDirectory(kExportDirectory), 0xFFFFFFFF, kExports, ""},
      {"import RVA past the end", full.DataDirectory(kImportDirectory), pastEndRva, imports, ""},
      {"the second name RVA 0xFFFFFFFF", *full.exportNamePointers + sizeof(std::uint32_t), 0xFFFFFFFF, " beta (2),",
       ""},
      {"no lookup table", kernel, 0, "", ""},
      {"lookup table in no section", kernel, 0xFFFFFFFF, kKernel, "KERNEL32.dll:  65535 (ordinal), ExitProcess\n"},
      {"no thunk table at all", user + kImportFirstThunkField, 0, " MessageBoxA", ""},
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

TEST_P(HostileImageTest, TablesThatRunOffTheEndOrIntoThemselvesShowWhatTheyHold) {
  BuiltImage exports = Writer().Export("alpha", 3).Export("beta", 4).Build();
  const std::size_t end = exports.bytes.size();
  // 0xFFFFFFFF names, whose table's only whole entry is the last word of the
  // file; the ordinal table is its upper half, so alpha's ordinal reads as 0.
  exports.Patch32(end - 4, exports.Read<std::uint32_t>(*exports.exportNamePointers));
  exports.Patch32(*exports.exportDirectory + kExportNameCountField, 0xFFFFFFFF);
  exports.Patch32(*exports.exportDirectory + kExportNamesField, RvaOf(exports, kTableSection, end - 4));
  exports.Patch32(*exports.exportDirectory + kExportOrdinalsField, RvaOf(exports, kTableSection, end - 2));
  EXPECT_EQ(Shown(exports.bytes), "Exported APIs: alpha (0)\n");
  // Both thunks name the hint/name entry two bytes before the table, so the
  // name is the first thunk's own low bytes.
  BuiltImage selfNamed = Writer().Import("a.dll", {ByName("f"), ByName("g")}).Build();
  const std::size_t table = *selfNamed.imports[0].originalFirstThunk;
  const std::uint32_t nameRva = RvaOf(selfNamed, kTableSection, table) - 2;
  selfNamed.Patch32(table, nameRva);
  selfNamed.Patch32(table + (GetParam() == Layout::Pe32 ? 4 : 8), nameRva);
  const std::string ownBytes{static_cast<char>(nameRva), static_cast<char>(nameRva >> 8)};
  ASSERT_EQ(ownBytes.find('\0'), std::string::npos);
  EXPECT_EQ(Shown(selfNamed.bytes), "a.dll: " + ownBytes + "\n");
}

TEST_P(HostileImageTest, DescriptorsSharingOneLongNameAndTableAreIndexedByPlaceAndCutWhenEachPlaceIsNew) {
  // Three thousand copies of one descriptor, whose name is a megabyte long
  // and whose table holds three thousand names; then each copy's name moved
  // a byte further into the long name. A walk over the shared table once per
  // descriptor would read nine million names, far past what the build reads
  // before it stops; hashing each place anew would read gigabytes.
  constexpr std::size_t kCount = 3000;
  constexpr std::size_t kMegabyte = std::size_t{1} << 20;
  std::vector<ImportEntry> entries;
  for (std::size_t i = 0; i < kCount; ++i) entries.push_back(ByName(Numbered("f", i)));
  PeWriter writer = Writer().Import(std::string(kMegabyte, 'L'), std::move(entries));
  for (std::size_t d = 1; d < kCount; ++d) writer.Import("x.dll", {});
  BuiltImage built = writer.Build();
  const auto first = built.bytes.begin() + static_cast<std::ptrdiff_t>(built.imports[0].descriptor);
  for (std::size_t d = 1; d < kCount; ++d)
    std::copy_n(first, kImportDescriptorSize, &built.bytes[built.imports[d].descriptor]);
  const OpenedImage opened = OpenInMemory(built.bytes);
  EXPECT_EQ(opened.violations, NoViolations());
  ASSERT_EQ(opened.branches.size(), 2u);
  EXPECT_EQ(opened.branches[1].children.size(), kCount);

  const std::uint32_t longName = built.Read<std::uint32_t>(built.imports[0].descriptor + kImportNameField);
  for (const std::uint32_t step : {0u, 1u}) {
    BuiltImage patched = built;
    for (std::size_t d = 1; d < kCount; ++d) {
      patched.Patch32(patched.imports[d].descriptor + kImportNameField, longName + step * static_cast<std::uint32_t>(d));
    }
    MappedImage image;
    ASSERT_TRUE(IdentifyImage(image, ByteView(reinterpret_cast<const std::byte*>(patched.bytes.data()),
                                              patched.bytes.size())));
    const ImportDirectory directory(image);
    const auto& descriptors = directory.Descriptors();
    const std::int32_t last = directory.FirstNamed(descriptors.back().name);
    EXPECT_EQ(directory.Cut(), step == 1);
    if (step == 0) {
      // One place: hashed once, and every descriptor is in one chain.
      std::size_t chained = 0;
      for (std::int32_t i = last; i >= 0; i = descriptors[static_cast<std::size_t>(i)].nextSameName) ++chained;
      EXPECT_EQ(chained, kCount);
    } else {
      // Indexing stops after about twice the file and the room for small files.
      const std::size_t allowed = TextAllowed(patched.bytes.size());
      EXPECT_GE(descriptors.size(), allowed / kMegabyte - 1);
      EXPECT_LE(descriptors.size(), allowed / (kMegabyte - kCount) + 1);
      EXPECT_EQ(last, static_cast<std::int32_t>(descriptors.size() - 1));
    }
  }
}

TEST_P(HostileImageTest, NamesReadOverAndOverShowOncePerLibraryAsTheirBytesDecode) {
  // Bytes that are no UTF-8 decode to U+FFFD, so "\x80" and "\x81" are one
  // name; "\x80" read again, from the same place or another, is the same
  // name; each library shows its own.
  const std::string replacement = "\xEF\xBF\xBD";
  const BuiltImage named =
      Writer()
          .Import("a.dll", {ByName("\x80"), ByName("\x81"), ByName("\xC3\xA9"), ByName("\x80"), ByName("f")})
          .Import("b.dll", {ByName("\x81"), ByName("\x80")})
          .Build();
  EXPECT_EQ(Shown(named.bytes), "a.dll: \xC3\xA9, f, " + replacement + "\nb.dll: " + replacement + "\n");
  // Every word of the section holds the RVA of the next one: every 20 bytes
  // are a descriptor (the directory ends after eight), every table runs on
  // to the section's end, and every thunk names the third byte of an RVA,
  // 0x01 or, from 0x800000 on, 0x80.
  const struct {
    std::uint32_t sectionRva;
    std::string name;
  } runs[] = {{0x10000, "\x01"}, {0x800000, replacement}};
  for (const auto& run : runs) {
    const OpenedImage opened = OpenInMemory(SelfPointingRunImage(16 * 1024, run.sectionRva, GetParam(), 8).bytes);
    EXPECT_EQ(opened.violations, NoViolations());
    ASSERT_GE(opened.branches.size(), 2u);
    for (std::size_t i = 1; i < opened.branches.size(); ++i) {
      EXPECT_EQ(opened.branches[i].children, std::vector<std::string>{run.name}) << opened.branches[i].text;
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
  const std::size_t root = *good.resourceRoot;
  const std::size_t type = root + kResourceDirectorySize + kResourceEntryTargetField;  // the root's first entry
  const struct {
    const char* name;
    Bytes bytes;
    bool found;
  } cases[] = {
      {"as written", good.bytes, true},
      {"wLength ends before the record does", patched(block, lengths(kEnd - 1, kValueLength)), false},
      {"wLength 0xFFFF", patched(block, lengths(0xFFFF, kValueLength)), true},
      {"wValueLength one short", patched(block, lengths(kEnd, kValueLength - 1)), false},
      {"Size ends before the record does", patched(size, kEnd - 1), false},
      {"Size past the end, the file ending with the record", patched(size, 0x100000, kEnd), true},
      {"Size past the end, the file ending inside the record", patched(size, 0x100000, kEnd - 1), false},
      {"a key without NUL", Writer().VersionRaw(noNul).Build().bytes, false},
      {"type entry names the root", patched(type, kResourceSubdirectoryFlag), false},
      {"65535 named entries first", patched(root + kResourceEntryCountsField, 0x0001FFFF), false},
      {"65535 ID entries", patched(root + kResourceEntryCountsField, 0xFFFF0000), true},
  };
  for (const auto& c : cases) EXPECT_EQ(Shown(c.bytes), c.found ? "version 7.8.0.0\n" : "") << c.name;
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileImageTest, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

}  // namespace
}  // namespace corvane::testing
