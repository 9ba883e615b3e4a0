#pragma once

// Builds Portable Executable images byte by byte so that a reader test can
// state exactly which bytes it is about and then corrupt exactly one field.
//
// Every image has the DOS header, the NT headers, a section table and a
// ".text" section; the export, import and resource directories appear only
// when asked for. Offsets in BuiltImage are file offsets.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::testing {

// Where the fields a test patches lie, the writer's own account of the
// format: tests never take these from the reader's layout header, so that a
// fault in either shows. Each is relative to the structure it names.
inline constexpr std::size_t kELfanewField = 0x3C;
inline constexpr std::size_t kNumberOfSectionsField = 2;  // file header
inline constexpr std::size_t kSizeOfOptionalHeaderField = 16;
inline constexpr std::size_t kSizeOfHeadersField = 60;  // optional header
inline constexpr std::size_t kDirectorySizeField = 4;   // data directory entry
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionVirtualSizeField = 8;
inline constexpr std::size_t kSectionRvaField = 12;
inline constexpr std::size_t kSectionRawSizeField = 16;
inline constexpr std::size_t kSectionRawPointerField = 20;
inline constexpr std::size_t kExportNameCountField = 24;
inline constexpr std::size_t kExportNamesField = 32;
inline constexpr std::size_t kExportOrdinalsField = 36;
inline constexpr std::size_t kImportDescriptorSize = 20;
inline constexpr std::size_t kImportNameField = 12;
inline constexpr std::size_t kImportFirstThunkField = 16;
inline constexpr std::size_t kResourceDirectorySize = 16;
inline constexpr std::size_t kResourceEntryCountsField = 12;  // named entries, then ID entries
inline constexpr std::size_t kResourceEntryTargetField = 4;
inline constexpr std::size_t kResourceDataSizeField = 4;
inline constexpr std::uint32_t kResourceSubdirectoryFlag = 0x80000000;
inline constexpr std::size_t kFixedFileInfoOffset = 40;  // in the version block
inline constexpr std::size_t kFixedFileInfoEnd = 92;
// Data directory indices.
enum Directory : std::size_t { kExportDirectory, kImportDirectory, kResourceDirectory, kDelayImportDirectory = 13 };

enum class Layout { Pe32, Pe32Plus };

// FirstThunkOnly writes OriginalFirstThunk = 0, so the import address table
// is the only list of what the library provides, as old linkers left it.
enum class ThunkTables { Both, FirstThunkOnly };

struct ImportEntry {
  enum class Kind { Name, Ordinal, Raw };
  Kind kind = Kind::Name;
  std::string name;
  std::uint16_t hint = 0;
  std::uint64_t value = 0;  // the ordinal, or the raw thunk
};

// `prefix` followed by `number` in decimal: the names of generated entries.
std::string Numbered(std::string_view prefix, std::size_t number);

// A hint/name entry; an empty name still gets its entry (hint and a lone NUL).
ImportEntry ByName(std::string name, std::uint16_t hint = 0);
// The layout's ordinal flag (bit 31 or bit 63) plus the ordinal.
ImportEntry ByOrdinal(std::uint16_t ordinal);
// Written verbatim into both thunk tables, for values no well-formed linker
// produces (ordinal flag with bits 16-30 set, RVAs pointing anywhere, ...).
ImportEntry RawThunk(std::uint64_t value);

struct FixedFileInfo {
  std::uint32_t signature = 0xFEEF04BD;
  std::uint32_t structVersion = 0x00010000;
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0x3F;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0x00040004;  // VOS_NT_WINDOWS32
  std::uint32_t fileType = 2;         // VFT_DLL
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0;
  std::uint32_t fileDateLS = 0;
};

struct ImportTableOffsets {
  std::size_t descriptor = 0;
  std::optional<std::size_t> originalFirstThunk;  // absent for FirstThunkOnly
  std::size_t firstThunk = 0;
};

struct BuiltImage {
  std::vector<std::uint8_t> bytes;

  std::size_t ntHeaders = 0;  // the "PE\0\0" signature
  std::size_t fileHeader = 0;
  std::size_t optionalHeader = 0;  // starts with the magic
  std::size_t dataDirectories = 0;
  std::size_t sectionTable = 0;
  std::size_t numberOfRvaAndSizesField = 0;  // its place differs between PE32 and PE32+

  std::optional<std::size_t> exportDirectory;
  std::optional<std::size_t> exportAddressTable;
  std::optional<std::size_t> exportNamePointers;

  std::optional<std::size_t> importDescriptors;
  std::vector<ImportTableOffsets> imports;  // one per descriptor, file order

  std::optional<std::size_t> resourceRoot;
  std::optional<std::size_t> versionDataEntry;  // IMAGE_RESOURCE_DATA_ENTRY
  std::optional<std::size_t> versionBlock;      // VS_VERSIONINFO (or raw data)

  std::size_t DataDirectory(std::size_t index) const { return dataDirectories + 8 * index; }
  std::size_t SectionHeader(std::size_t index) const { return sectionTable + kSectionHeaderSize * index; }

  // Little-endian; throws std::out_of_range unless all of the value's bytes
  // lie inside `bytes`.
  template <std::unsigned_integral T>
  void Patch(std::size_t offset, T value) {
    CheckRange(offset, sizeof(T));
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      bytes[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
  }
  void Patch16(std::size_t offset, std::uint16_t value) { Patch(offset, value); }
  void Patch32(std::size_t offset, std::uint32_t value) { Patch(offset, value); }

  template <std::unsigned_integral T>
  T Read(std::size_t offset) const {
    CheckRange(offset, sizeof(T));
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
    }
    return static_cast<T>(value);
  }

 private:
  void CheckRange(std::size_t offset, std::size_t width) const;
};

class PeWriter {
 public:
  explicit PeWriter(Layout layout);

  // Headers. Sizes left unset are computed from the sections.
  PeWriter& ImageBase(std::uint64_t imageBase) { return Set(imageBase_, imageBase); }
  PeWriter& SizeOfCode(std::uint32_t size) { return Set(sizeOfCode_, size); }
  PeWriter& SizeOfInitializedData(std::uint32_t size) { return Set(sizeOfInitializedData_, size); }
  PeWriter& SizeOfUninitializedData(std::uint32_t size) { return Set(sizeOfUninitializedData_, size); }
  // A section holding `data` as it stands, placed after the directories' sections.
  PeWriter& DataSection(std::string name, std::vector<std::uint8_t> data);

  // Exports. The address table has one slot per name-ordinal up to the
  // highest one used, then `count` more slots that no name refers to.
  PeWriter& ExportBase(std::uint32_t base) { return Set(exportBase_, base); }
  PeWriter& Export(std::string name, std::uint16_t nameOrdinal) {  // kept in call order
    return Add(exports_, ExportSpec{std::move(name), nameOrdinal, {}});
  }
  // A named export whose address is the forwarder text `target`
  // ("LIBRARY.Function").
  PeWriter& Forward(std::string name, std::uint16_t nameOrdinal, std::string target) {
    return Add(exports_, ExportSpec{std::move(name), nameOrdinal, std::move(target)});
  }
  PeWriter& UnnamedExports(std::uint32_t count) { return Set(unnamedExports_, count); }

  // Imports: one descriptor per call, in call order.
  PeWriter& Import(std::string dllName, std::vector<ImportEntry> entries, ThunkTables tables = ThunkTables::Both) {
    return Add(imports_, ImportSpec{std::move(dllName), std::move(entries), tables});
  }
  // Delay-load imports: one RVA-based descriptor per call, in ".didat".
  PeWriter& DelayImport(std::string dllName, std::vector<ImportEntry> entries) {
    return Add(delayImports_, ImportSpec{std::move(dllName), std::move(entries), ThunkTables::Both});
  }

  // The version resource: type 16, ID 1, language 0x409, in ".rsrc" unless
  // placed in another section (which may hold other directories too).
  PeWriter& Version(const FixedFileInfo& info) { return Set(version_, info); }
  PeWriter& VersionValueLength(std::uint16_t wValueLength) {  // lie in the header only
    return Set(versionValueLength_, wValueLength);
  }
  PeWriter& VersionRaw(std::vector<std::uint8_t> data) {  // instead of the built block
    return Set(versionRaw_, std::move(data));
  }
  PeWriter& ResourcesIn(std::string sectionName) { return Set(resourceSection_, std::move(sectionName)); }

  BuiltImage Build() const;

 private:
  struct ExportSpec {
    std::string name;
    std::uint16_t nameOrdinal = 0;
    std::string forward;
  };
  struct ImportSpec {
    std::string dllName;
    std::vector<ImportEntry> entries;
    ThunkTables tables = ThunkTables::Both;
  };

  template <class Field, class Value>
  PeWriter& Set(Field& field, Value&& value) {
    field = std::forward<Value>(value);
    return *this;
  }
  template <class Spec>
  PeWriter& Add(std::vector<Spec>& specs, Spec spec) {
    specs.push_back(std::move(spec));
    return *this;
  }
  std::vector<std::uint8_t> VersionData() const;

  Layout layout_;
  std::uint64_t imageBase_;
  std::optional<std::uint32_t> sizeOfCode_;
  std::optional<std::uint32_t> sizeOfInitializedData_;
  std::uint32_t sizeOfUninitializedData_ = 0;
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> dataSections_;

  std::uint32_t exportBase_ = 1;
  std::vector<ExportSpec> exports_;
  std::uint32_t unnamedExports_ = 0;

  std::vector<ImportSpec> imports_;
  std::vector<ImportSpec> delayImports_;

  std::optional<FixedFileInfo> version_;
  std::optional<std::vector<std::uint8_t>> versionRaw_;
  std::optional<std::uint16_t> versionValueLength_;
  std::string resourceSection_ = ".rsrc";
};

// Headers plus ".text" and nothing else: the smallest image a reader must
// accept.
BuiltImage MinimalPe(Layout layout);

}  // namespace corvane::testing
