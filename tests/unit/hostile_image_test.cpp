// The reader on hostile and broken images. Each image is copied into a heap
// block of exactly its own size before it is read, so that a sanitized build
// reports any read past the view; each test also states what must still be
// reported.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image_hlp.h"
#include "mapped_image.h"
#include "pe_writer.h"
#include "subsequence.h"
#include "version_resource.h"
#include "walkers.h"

namespace corvane {
namespace {

using testing::BuiltImage;
using testing::ByName;
using testing::ByOrdinal;
using testing::FixedFileInfo;
using testing::Layout;
using testing::PeWriter;
using testing::ThunkTables;
using Texts = std::vector<std::string>;

// Bytes in a heap block of exactly their size.
class Exact {
 public:
  explicit Exact(std::span<const std::uint8_t> bytes) : size_(bytes.size()), data_(new std::byte[bytes.size()]) {
    if (size_ != 0) std::memcpy(data_.get(), bytes.data(), size_);
  }
  ByteView View() const { return ByteView(data_.get(), size_); }

 private:
  std::size_t size_;
  std::unique_ptr<std::byte[]> data_;
};

// Collects one walk's texts and checks each as it comes: a name must lie in
// the view with its NUL, an ordinal must read "%6u (ordinal)".
struct Collector {
  ByteView view;
  Texts texts;

  bool Add(std::string_view text, bool ordinalAllowed) {
    const auto begin = reinterpret_cast<std::uintptr_t>(view.Data());
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const bool inView = at >= begin && at - begin < view.Size() && text.size() < view.Size() - (at - begin);
    if (inView) {
      EXPECT_EQ(text.data()[text.size()], '\0') << "a name ends at its NUL";
    } else {
      EXPECT_TRUE(ordinalAllowed) << "a name from outside the view";
      EXPECT_EQ(text.size(), 16u);
      EXPECT_TRUE(text.ends_with(" (ordinal)")) << text;
    }
    texts.emplace_back(text);
    // Nothing in a view holds more entries than it has bytes.
    EXPECT_LE(texts.size(), view.Size());
    return texts.size() <= view.Size();
  }
};

bool OnExport(void* userA, void*, std::string_view name, std::int32_t nameOrdinal) {
  auto& collector = *static_cast<Collector*>(userA);
  const bool go = collector.Add(name, false);
  collector.texts.back() += ' ';
  collector.texts.back() += std::to_string(nameOrdinal);
  return go;
}

bool OnLibrary(void* userA, void*, std::string_view name) { return static_cast<Collector*>(userA)->Add(name, false); }
bool OnFunction(void* userA, void*, std::string_view text) {
  EXPECT_FALSE(text.empty());
  return static_cast<Collector*>(userA)->Add(text, true);
}

// Everything the reader makes of a view; lists are empty optionals when the
// walker said there was no table.
struct Report {
  bool pe = false;
  std::optional<Texts> exports;
  std::optional<Texts> libraries;
  std::map<std::string, std::optional<Texts>> functions;
  std::optional<VS_FIXEDFILEINFO> version;
};

Report Probe(ByteView view) {
  Report report;
  MappedImage image;
  report.pe = IdentifyImage(image, view);
  EXPECT_EQ(report.pe, GetImageFormat(view) == kFormatPe);
  Collector exports{view, {}};
  if (EnumExports(image, OnExport, &exports, nullptr)) report.exports = exports.texts;
  Collector libraries{view, {}};
  if (EnumImportedLibraries(image, OnLibrary, &libraries, nullptr)) report.libraries = libraries.texts;
  for (const std::string& library : libraries.texts) {
    Collector functions{view, {}};
    if (EnumImportedFunctions(image, library, OnFunction, &functions, nullptr)) {
      report.functions[library] = functions.texts;
    } else {
      report.functions[library] = std::nullopt;
    }
  }
  report.version = FindFixedFileInfo(view);
  EXPECT_TRUE(report.pe || !(report.exports || report.libraries || report.version)) << "only PE images have tables";
  return report;
}

std::string Join(const std::optional<Texts>& texts) {
  if (!texts) return " -";
  std::string joined;
  for (const std::string& text : *texts) joined += (joined.empty() ? " " : ", ") + text;
  return joined;
}

std::string Describe(const Report& report) {
  std::string text = "exports:" + Join(report.exports) + "\nlibraries:" + Join(report.libraries) + "\n";
  for (const auto& [library, functions] : report.functions) text += library + ":" + Join(functions) + "\n";
  if (!report.version) return text + "version: -";
  return text + "version: " + std::to_string(report.version->dwFileVersionMS >> 16) + "." +
         std::to_string(report.version->dwFileVersionMS & 0xFFFF);
}

Report Probe(const std::vector<std::uint8_t>& bytes) { return Probe(Exact(bytes).View()); }

// True when everything `shorter` reported is still reported by `longer`, in
// the same order.
bool StillReported(const Report& shorter, const Report& longer) {
  const auto within = [](const std::optional<Texts>& a, const std::optional<Texts>& b) {
    return !a || (b && testing::IsSubsequence(*a, *b));
  };
  if (!within(shorter.exports, longer.exports) || !within(shorter.libraries, longer.libraries)) return false;
  for (const auto& [library, functions] : shorter.functions) {
    const auto found = longer.functions.find(library);
    if (found == longer.functions.end() || !within(functions, found->second)) return false;
  }
  return !shorter.version || (longer.version && std::memcmp(&*shorter.version, &*longer.version, 52) == 0);
}

constexpr const char* kExports = "exports: alpha 0, beta 2, gamma 1\n";
constexpr const char* kLibraries = "libraries: KERNEL32.dll, USER32.dll, KERNEL32.dll\n";
constexpr const char* kKernel = "KERNEL32.dll: Sleep,     17 (ordinal), ExitProcess,  65535 (ordinal)\n";
constexpr const char* kUser = "USER32.dll: MessageBoxA\n";
constexpr const char* kVersion = "version: 1.2";

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

// What Probe makes of Rich().
std::string Full() { return std::string(kExports) + kLibraries + kKernel + kUser + kVersion; }

class HostileImageTest : public ::testing::TestWithParam<Layout> {
 protected:
  BuiltImage Rich() const { return corvane::Rich(GetParam()); }
  std::size_t ThunkSize() const { return GetParam() == Layout::Pe32 ? 4 : 8; }
};

// The RVA of the byte at file offset `offset` in `section`.
std::uint32_t RvaOf(const BuiltImage& image, std::size_t section, std::size_t offset) {
  const std::size_t header = image.SectionHeader(section);
  return static_cast<std::uint32_t>(image.Read<std::uint32_t>(header + 12) + offset -
                                    image.Read<std::uint32_t>(header + 20));
}

std::size_t LastSection(const BuiltImage& image) {
  return image.Read<std::uint16_t>(image.fileHeader + 2) - std::size_t{1};
}

TEST_P(HostileImageTest, EveryTruncationReportsOnlyWhatItsBytesStillHold) {
  const BuiltImage full = Rich();
  ASSERT_EQ(Describe(Probe(full.bytes)), Full());
  const std::size_t sizeOfHeaders = full.Read<std::uint32_t>(full.optionalHeader + 60);
  Report previous;
  for (std::size_t length = 0; length <= full.bytes.size(); ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    const Exact prefix(std::span(full.bytes).first(length));
    const Report report = Probe(prefix.View());
    const std::uint32_t format = length < 2 ? kFormatNone : length < full.ntHeaders + 4 ? kFormatDos : kFormatPe;
    ASSERT_EQ(GetImageFormat(prefix.View()), format);
    ASSERT_EQ(report.version.has_value(), length >= *full.versionBlock + 92) << "the record ends 92 bytes in";
    if (length >= sizeOfHeaders) {
      ASSERT_TRUE(report.exports && report.libraries) << "a table cut short is still a table";
    }
    ASSERT_TRUE(StillReported(previous, report)) << Describe(previous) << "\n---\n" << Describe(report);
    previous = report;
  }
  EXPECT_EQ(Describe(previous), Full());
}

TEST_P(HostileImageTest, EveryHeaderAndDirectoryWordIsReadSafelyWhateverItHolds) {
  const BuiltImage full = Rich();
  const std::size_t size = full.bytes.size();
  const std::size_t last = LastSection(full);
  const std::uint32_t pastEndRva = RvaOf(full, last, size);
  // The words that mean something: e_lfanew, the headers through the section
  // table and each section's content. Nothing refers to the DOS stub or to
  // the padding after a section's content; the first and last word of each
  // stand for the rest, and changing them must change nothing.
  std::vector<std::size_t> fields{full.eLfanewField};
  for (std::size_t at = full.ntHeaders; at < full.SectionHeader(last + 1); at += 4) fields.push_back(at);
  std::vector<std::size_t> padding{0x40, full.ntHeaders - 4};
  for (std::size_t s = 0; s <= last; ++s) {
    const std::size_t start = full.Read<std::uint32_t>(full.SectionHeader(s) + 20);
    const std::size_t contentEnd = start + (full.Read<std::uint32_t>(full.SectionHeader(s) + 8) + 3) / 4 * 4;
    for (std::size_t at = start; at < contentEnd; at += 4) fields.push_back(at);
    padding.insert(padding.end(), {contentEnd, start + full.Read<std::uint32_t>(full.SectionHeader(s) + 16) - 4});
  }
  const std::uint32_t values[] = {0, 0xFFFFFFFF, static_cast<std::uint32_t>(size), pastEndRva, pastEndRva - 1};
  for (const std::size_t at : fields) {
    for (const std::uint32_t value : values) {
      BuiltImage patched = full;
      patched.Patch32(at, value);
      // Probe checks what holds for any image: names lie in the view and end
      // at their NUL, ordinals read "%6u (ordinal)", no walk reports more
      // entries than the view has bytes, only a PE image has tables.
      Probe(patched.bytes);
    }
  }
  for (const std::size_t at : padding) {
    for (const std::uint32_t value : values) {
      BuiltImage patched = full;
      patched.Patch32(at, value);
      ASSERT_EQ(Describe(Probe(patched.bytes)), Full()) << "word at " << at << " = " << value;
    }
  }
}

TEST_P(HostileImageTest, FieldsThatLieCostOnlyWhatTheyDescribe) {
  const BuiltImage full = Rich();
  const std::uint32_t size = static_cast<std::uint32_t>(full.bytes.size());
  const std::uint32_t pastEndRva = RvaOf(full, LastSection(full), size);
  const std::size_t kernel = full.imports[0].descriptor;
  const std::size_t user = full.imports[1].descriptor;
  // Each case names the part of the whole report that changes, and what it
  // becomes.
  const std::string all = Full();
  const std::string none = "exports: -\nlibraries: -\nversion: -";
  const std::string imports = std::string(kLibraries) + kKernel + kUser;
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    std::string part;
    std::string becomes;
  } cases[] = {
      {"e_lfanew 0", full.eLfanewField, 0, all, none},
      {"e_lfanew 0xFFFFFFFF", full.eLfanewField, 0xFFFFFFFF, all, none},
      {"e_lfanew past the end", full.eLfanewField, size, all, none},
      {"no sections", full.fileHeader + 2, 0, all, none},
      {"optional header 0xFFFF long", full.fileHeader + 16, 0xFFFF, all, none},
      {"NumberOfRvaAndSizes 0", full.numberOfRvaAndSizesField, 0, all, none},
      {"NumberOfRvaAndSizes 0xFFFFFFFF", full.numberOfRvaAndSizesField, 0xFFFFFFFF, "", ""},
      {"export RVA 0xFFFFFFFF", full.DataDirectory(0), 0xFFFFFFFF, kExports, "exports: -\n"},
      {"import RVA past the end", full.DataDirectory(1), pastEndRva, imports, "libraries: -\n"},
      {"import RVA at the last byte", full.DataDirectory(1), pastEndRva - 1, imports, "libraries:\n"},
      {"export section reaching past 4 GiB", full.SectionHeader(1) + 16, 0xFFFFFFFF, imports + kVersion,
       "libraries:\nversion: -"},
      {"import section data at 0xFFFFFFFF", full.SectionHeader(2) + 20, 0xFFFFFFFF, imports, "libraries:\n"},
      {"AddressOfNames 0", *full.exportDirectory + 32, 0, kExports, "exports:\n"},
      {"AddressOfNameOrdinals past the end", *full.exportDirectory + 36, pastEndRva, kExports, "exports:\n"},
      {"a name RVA 0xFFFFFFFF", *full.exportNamePointers + 4, 0xFFFFFFFF, " beta 2,", ""},
      {"first descriptor's Name 0", kernel + 12, 0, imports, "libraries:\n"},
      {"a library name in no section", user + 12, 0xFFFFFFFF, imports,
       std::string("libraries: KERNEL32.dll, KERNEL32.dll\n") + kKernel},
      {"no lookup table", kernel, 0, "", ""},
      {"lookup table in no section", kernel, 0xFFFFFFFF, "Sleep,     17 (ordinal), ", ""},
      {"no thunk table at all", user + 16, 0, kUser, "USER32.dll: -\n"},
      {"version data in no section", *full.versionDataEntry, 0xFFFFFFFF, kVersion, "version: -"},
      {"version data longer than the file", *full.versionDataEntry + 4, 0xFFFFFFFF, "", ""},
  };
  for (const auto& c : cases) {
    BuiltImage patched = full;
    patched.Patch32(c.field, c.value);
    std::string expected = all;
    expected.replace(expected.find(c.part), c.part.size(), c.becomes);
    EXPECT_EQ(Describe(Probe(patched.bytes)), expected) << c.name;
  }
}

TEST_P(HostileImageTest, AnExportCountOf0xFFFFFFFFEndsWithTheTablesAtTheEndOfTheFile) {
  BuiltImage image = PeWriter(GetParam()).Export("alpha", 3).Export("beta", 4).Build();
  const std::size_t end = image.bytes.size();
  const std::uint32_t alphaRva = image.Read<std::uint32_t>(*image.exportNamePointers);
  // The name table's only whole entry is the last word of the file; the
  // ordinal table is its upper half, so alpha's ordinal reads as 0.
  image.Patch32(end - 4, alphaRva);
  image.Patch32(*image.exportDirectory + 24, 0xFFFFFFFF);
  image.Patch32(*image.exportDirectory + 32, RvaOf(image, 1, end - 4));
  image.Patch32(*image.exportDirectory + 36, RvaOf(image, 1, end - 2));
  EXPECT_EQ(Describe(Probe(image.bytes)), "exports: alpha 0\nlibraries: -\nversion: -");
}

TEST_P(HostileImageTest, ANameWhoseNulLiesPastTheEndIsSkipped) {
  const auto cutAfter = [](std::vector<std::uint8_t> bytes, std::string_view text) {
    const auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    bytes.erase(at + static_cast<std::ptrdiff_t>(text.size()), bytes.end());
    return bytes;
  };
  const BuiltImage exports = PeWriter(GetParam()).Export("alpha", 0).Export("zeta", 1).Build();
  EXPECT_EQ(Describe(Probe(cutAfter(exports.bytes, "zeta"))), "exports: alpha 0\nlibraries: -\nversion: -");

  const BuiltImage imports =
      PeWriter(GetParam()).Import("a.dll", {ByName("f")}).Import("last.dll", {ByName("g")}).Build();
  EXPECT_EQ(Describe(Probe(cutAfter(imports.bytes, "last.dll"))), "exports: -\nlibraries: a.dll\na.dll: f\nversion: -");

  BuiltImage hintName = PeWriter(GetParam()).Import("a.dll", {ByName("f"), ByName("g")}).Build();
  const std::size_t end = hintName.bytes.size();
  hintName.Patch32(end - 4, 0x78000100);  // hint 1, then "x" as the file's last byte
  hintName.Patch32(*hintName.imports[0].originalFirstThunk, RvaOf(hintName, 1, end - 3));
  EXPECT_EQ(Describe(Probe(hintName.bytes)), "exports: -\nlibraries: a.dll\na.dll: g\nversion: -");
}

TEST_P(HostileImageTest, ADescriptorArrayThatRunsOffTheEndStopsThere) {
  BuiltImage image = PeWriter(GetParam()).Import("a.dll", {ByName("f"), ByOrdinal(9)}).Build();
  const std::size_t end = image.bytes.size();
  // One whole descriptor, then ten bytes of one that is cut.
  std::copy_n(image.bytes.begin() + static_cast<std::ptrdiff_t>(image.imports[0].descriptor), 20,
              image.bytes.end() - 30);
  std::fill(image.bytes.end() - 10, image.bytes.end(), std::uint8_t{0xFF});
  image.Patch32(image.DataDirectory(1), RvaOf(image, 1, end - 30));
  EXPECT_EQ(Describe(Probe(image.bytes)), "exports: -\nlibraries: a.dll\na.dll: f,      9 (ordinal)\nversion: -");

  image.Patch32(image.DataDirectory(1), RvaOf(image, 1, end - 10));
  EXPECT_EQ(Describe(Probe(image.bytes)), "exports: -\nlibraries:\nversion: -");
}

TEST_P(HostileImageTest, ThousandsOfDescriptorsSharingOneTableReportEachFunctionOnce) {
  constexpr std::size_t kDescriptors = 3000;
  constexpr std::size_t kFunctions = 3000;
  std::vector<testing::ImportEntry> entries;
  for (std::size_t i = 0; i < kFunctions; ++i) entries.push_back(ByName(testing::Numbered("f", i)));
  PeWriter writer(GetParam());
  writer.Import("big.dll", std::move(entries));
  for (std::size_t d = 1; d < kDescriptors; ++d) writer.Import("x.dll", {});
  BuiltImage built = writer.Build();
  const std::size_t first = built.imports[0].descriptor;
  for (std::size_t d = 1; d < kDescriptors; ++d) {
    std::copy_n(built.bytes.begin() + static_cast<std::ptrdiff_t>(first), 20,
                built.bytes.begin() + static_cast<std::ptrdiff_t>(built.imports[d].descriptor));
  }
  const Exact bytes(built.bytes);
  MappedImage image;
  ASSERT_TRUE(IdentifyImage(image, bytes.View()));
  Collector libraries{bytes.View(), {}};
  EXPECT_TRUE(EnumImportedLibraries(image, OnLibrary, &libraries, nullptr));
  EXPECT_EQ(libraries.texts, Texts(kDescriptors, "big.dll"));

  std::map<std::string, int> calls;
  const auto count = [](void* userA, void*, std::string_view text) {
    ++(*static_cast<std::map<std::string, int>*>(userA))[std::string(text)];
    return true;
  };
  EXPECT_TRUE(EnumImportedFunctions(image, "big.dll", count, &calls, nullptr));
  EXPECT_EQ(calls.size(), kFunctions);
  EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](const auto& call) { return call.second == 1; }));
}

TEST_P(HostileImageTest, DescriptorsNamingOneLongNameAreIndexedByPlaceAndCutWhenEachPlaceIsNew) {
  // Five thousand descriptors whose names are one name of a megabyte, read
  // either at one place or at five thousand places one byte apart.
  constexpr std::size_t kDescriptors = 5000;
  PeWriter writer(GetParam());
  writer.Import(std::string(std::size_t{1} << 20, 'L'), {ByName("f")});
  for (std::size_t d = 1; d < kDescriptors; ++d) writer.Import("x.dll", {ByName("f")});
  const BuiltImage built = writer.Build();
  const std::uint32_t longName = built.Read<std::uint32_t>(built.imports[0].descriptor + 12);
  for (const std::uint32_t step : {0u, 1u}) {
    BuiltImage patched = built;
    for (std::size_t d = 1; d < kDescriptors; ++d) {
      patched.Patch32(patched.imports[d].descriptor + 12, longName + step * static_cast<std::uint32_t>(d));
    }
    const Exact bytes(patched.bytes);
    MappedImage image;
    ASSERT_TRUE(IdentifyImage(image, bytes.View()));
    const ImportDirectory directory(image);
    const auto& descriptors = directory.Descriptors();
    if (step == 0) {
      // One place: hashed once, and every descriptor is in one chain.
      EXPECT_FALSE(directory.Cut());
      ASSERT_EQ(descriptors.size(), kDescriptors);
      std::size_t chained = 1;
      for (std::int32_t i = directory.FirstNamed(descriptors.back().name); descriptors[static_cast<std::size_t>(i)].nextSameName >= 0;
           i = descriptors[static_cast<std::size_t>(i)].nextSameName) {
        ++chained;
      }
      EXPECT_EQ(chained, kDescriptors);
    } else {
      // Each place reads up to a megabyte anew: indexing stops after about
      // twice the file and the room for small files.
      EXPECT_TRUE(directory.Cut());
      const std::size_t allowed = 2 * patched.bytes.size() + (std::size_t{16} << 20);
      EXPECT_GE(descriptors.size(), allowed / (std::size_t{1} << 20) - 1);
      EXPECT_LE(descriptors.size(), allowed / ((std::size_t{1} << 20) - kDescriptors) + 1);
      for (std::size_t d = 0; d < descriptors.size(); ++d) {
        EXPECT_EQ(directory.FirstNamed(descriptors[d].name), static_cast<std::int32_t>(d));
      }
    }
  }
}

TEST_P(HostileImageTest, AThunkTablePointingIntoItselfReportsItsOwnBytesAsTheName) {
  BuiltImage image = PeWriter(GetParam()).Import("a.dll", {ByName("f"), ByName("g")}).Build();
  const std::size_t table = *image.imports[0].originalFirstThunk;
  const std::uint32_t tableRva = RvaOf(image, 1, table);
  // Both entries name the hint/name entry two bytes before the table, so
  // the name is the first entry's own bytes.
  image.Patch32(table, tableRva - 2);
  image.Patch32(table + ThunkSize(), tableRva - 2);
  const std::string ownBytes{static_cast<char>(tableRva - 2), static_cast<char>((tableRva - 2) >> 8)};
  ASSERT_EQ(ownBytes.find('\0'), std::string::npos);
  EXPECT_EQ(Describe(Probe(image.bytes)),
            "exports: -\nlibraries: a.dll\na.dll: " + ownBytes + ", " + ownBytes + "\nversion: -");
}

TEST(HostileSections, A65535SectionTableStillFindsEverything) {
  const BuiltImage full = Rich(Layout::Pe32Plus);
  const std::size_t real = LastSection(full) + 1;
  const std::size_t oldHeaders = full.Read<std::uint32_t>(full.optionalHeader + 60);
  const std::size_t newHeaders = (full.sectionTable + 40 * 65535 + 0x1FF) / 0x200 * 0x200;
  BuiltImage many;
  many.bytes.assign(newHeaders, 0);
  std::copy_n(full.bytes.begin(), full.sectionTable, many.bytes.begin());
  many.bytes.insert(many.bytes.end(), full.bytes.begin() + static_cast<std::ptrdiff_t>(oldHeaders), full.bytes.end());
  many.Patch16(full.fileHeader + 2, 65535);
  // Decoys first, so that every lookup passes them: empty sections at the
  // real addresses and small ones far above them.
  const std::size_t decoys = 65535 - real;
  for (std::size_t i = 0; i < decoys; ++i) {
    const std::size_t header = full.sectionTable + 40 * i;
    const bool empty = i % 2 == 0;
    many.Patch32(header + 12, empty ? 0x1000 + static_cast<std::uint32_t>(i % 4) * 0x1000
                                    : 0x80000000 + static_cast<std::uint32_t>(i) * 0x10);
    many.Patch32(header + 16, empty ? 0 : 0x10);
    many.Patch32(header + 20, static_cast<std::uint32_t>(i));
  }
  for (std::size_t s = 0; s < real; ++s) {
    const std::size_t header = full.sectionTable + 40 * (decoys + s);
    std::copy_n(full.bytes.begin() + static_cast<std::ptrdiff_t>(full.SectionHeader(s)), 40,
                many.bytes.begin() + static_cast<std::ptrdiff_t>(header));
    many.Patch32(header + 20, static_cast<std::uint32_t>(full.Read<std::uint32_t>(full.SectionHeader(s) + 20) -
                                                         oldHeaders + newHeaders));
  }
  EXPECT_EQ(Describe(Probe(many.bytes)), Full());
}

TEST_P(HostileImageTest, VersionLengthsThatLieNeverWidenTheRecord) {
  // A version block with the lengths given, the resource's Size given, and
  // the file ending `tail` bytes after the end of the record.
  const auto image = [this](std::optional<std::uint16_t> length, std::optional<std::uint16_t> valueLength,
                            std::optional<std::uint32_t> size = {}, std::optional<int> tail = {}) {
    PeWriter writer(GetParam());
    if (length) writer.VersionLength(*length);
    if (valueLength) writer.VersionValueLength(*valueLength);
    BuiltImage built = writer.Version(FixedFileInfo{.fileVersionMS = 0x70008}).Build();
    if (size) built.Patch32(*built.versionDataEntry + 4, *size);
    if (tail) built.bytes.resize(static_cast<std::size_t>(static_cast<int>(*built.versionBlock) + 92 + *tail));
    return built.bytes;
  };
  std::vector<std::uint8_t> noNul{0x80, 0, 52, 0, 0, 0};  // wLength 128, then a key of 61 'V's
  while (noNul.size() < 128) noNul.insert(noNul.end(), {'V', 0});
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool found;
  } cases[] = {
      {"wLength 0", image(0, {}), false},
      {"wLength ends before the record does", image(91, {}), false},
      {"wLength ends with the record", image(92, {}), true},
      {"wLength 0xFFFF", image(0xFFFF, {}), true},
      {"wValueLength 0", image({}, 0), false},
      {"wValueLength 51", image({}, 51), false},
      {"wValueLength 0xFFFF", image({}, 0xFFFF), true},
      {"Size 0", image({}, {}, 0), false},
      {"Size ends before the record does", image(0xFFFF, {}, 91), false},
      {"Size 0xFFFFFFFF", image(0xFFFF, 0xFFFF, 0xFFFFFFFF), true},
      {"Size past the end, the file ending with the record", image({}, {}, 0x100000, 0), true},
      {"Size past the end, the file ending inside the record", image({}, {}, 0x100000, -1), false},
      {"a key without NUL", PeWriter(GetParam()).VersionRaw(noNul).Build().bytes, false},
  };
  for (const auto& c : cases) {
    const auto info = FindFixedFileInfo(Exact(c.bytes).View());
    ASSERT_EQ(info.has_value(), c.found) << c.name;
    if (info) {
      EXPECT_EQ(info->dwFileVersionMS, 0x70008u) << c.name;
    }
  }
}

TEST_P(HostileImageTest, ResourceEntriesThatLoopOrLeaveTheViewFindNoVersion) {
  const BuiltImage good = PeWriter(GetParam()).Version(FixedFileInfo{.fileVersionMS = 0x70008}).Build();
  const std::size_t root = *good.resourceRoot;
  const std::size_t typeEntry = root + 16;
  const std::size_t names = root + (good.Read<std::uint32_t>(typeEntry + 4) & 0x7FFFFFFF);
  const std::size_t languages = root + (good.Read<std::uint32_t>(names + 20) & 0x7FFFFFFF);
  const auto size = static_cast<std::uint32_t>(good.bytes.size());
  const auto root32 = static_cast<std::uint32_t>(root);
  const struct {
    const char* name;
    std::size_t field;
    std::uint32_t value;
    bool found;
  } cases[] = {
      {"type entry names the root", typeEntry + 4, 0x80000000, false},
      {"name entry names its own directory", names + 20, 0x80000000 | static_cast<std::uint32_t>(names - root), false},
      {"language entry names its own directory", languages + 20,
       0x80000000 | static_cast<std::uint32_t>(languages - root), false},
      {"language entry takes the root for data", languages + 20, 0, false},
      {"language entry flagged as a directory", languages + 20, 0x80000000 | good.Read<std::uint32_t>(languages + 20),
       false},
      {"type entry just past the view", typeEntry + 4, 0x80000000 | (size - root32), false},
      {"type entry at the end of the offset range", typeEntry + 4, 0xFFFFFFFF, false},
      {"data entry just past the view", languages + 20, size - root32, false},
      {"data entry whose Size is cut by the end", languages + 20, size - root32 - 6, false},
      {"65535 named entries first", root + 12, 0x0001FFFF, false},
      {"65535 ID entries", root + 12, 0xFFFF0000, true},
  };
  for (const auto& c : cases) {
    BuiltImage patched = good;
    patched.Patch32(c.field, c.value);
    EXPECT_EQ(FindFixedFileInfo(Exact(patched.bytes).View()).has_value(), c.found) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileImageTest, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

}  // namespace
}  // namespace corvane
