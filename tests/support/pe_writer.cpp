#include "pe_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

namespace corvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kNtHeaders = 0x80;  // after the DOS header and a stub's worth of room
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kDataDirectoryCount = 16;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kDelayDescriptorSize = 32;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kResourceName = 1;
constexpr std::uint32_t kResourceLanguage = 0x0409;

constexpr std::uint32_t kCodeSection = 0x60000020;          // code, execute, read
constexpr std::uint32_t kReadOnlyDataSection = 0x40000040;  // initialized data, read
constexpr std::uint32_t kWritableFlag = 0x80000000;         // the loader fills the IAT

// Enough bytes for the export address table to point at distinct places
// inside a section that is not the export directory: an address inside the
// directory would read as a forwarder.
constexpr std::size_t kCodeBytes = 16;

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::uint32_t U32(std::size_t value) { return static_cast<std::uint32_t>(value); }

template <std::unsigned_integral T>
void PutAt(Bytes& out, std::size_t offset, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
  }
}

template <std::unsigned_integral T>
void Put(Bytes& out, T value) {
  out.resize(out.size() + sizeof(T));
  PutAt(out, out.size() - sizeof(T), value);
}

void PutZeros(Bytes& out, std::size_t count) { out.resize(out.size() + count); }
void PadTo(Bytes& out, std::size_t alignment) { out.resize(AlignUp(out.size(), alignment)); }

void PutCString(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// Where a section's content will land, so that a directory written into it
// can refer to its own parts by RVA and report them by file offset.
struct SectionCursor {
  Bytes& content;
  std::uint32_t rva;
  std::size_t fileOffset;

  std::uint32_t RvaAt(std::size_t position) const { return U32(rva + position); }
  std::size_t FileOffsetAt(std::size_t position) const { return fileOffset + position; }
};

struct DirectoryEntry {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

DirectoryEntry WriteExports(const SectionCursor& at, std::uint32_t base, const auto& exports, std::uint32_t unnamed,
                            std::uint32_t codeRva, BuiltImage& image) {
  Bytes& out = at.content;
  std::size_t namedSlots = 0;
  for (const auto& e : exports) namedSlots = std::max<std::size_t>(namedSlots, e.nameOrdinal + 1u);
  const std::uint32_t functionCount = U32(namedSlots + unnamed);

  const std::size_t directory = out.size();
  PutZeros(out, kExportDirectorySize);
  const std::size_t addressTable = out.size();
  for (std::size_t i = 0; i < functionCount; ++i) Put(out, U32(codeRva + i % kCodeBytes));
  const std::size_t namePointers = out.size();
  PutZeros(out, 4 * exports.size());
  const std::size_t nameOrdinals = out.size();
  for (const auto& e : exports) Put(out, e.nameOrdinal);
  PadTo(out, 4);

  const std::size_t dllName = out.size();
  PutCString(out, "test.dll");
  for (std::size_t i = 0; i < exports.size(); ++i) {
    PutAt(out, namePointers + 4 * i, at.RvaAt(out.size()));
    PutCString(out, exports[i].name);
    if (exports[i].forward.empty()) continue;
    PutAt(out, addressTable + 4 * exports[i].nameOrdinal, at.RvaAt(out.size()));
    PutCString(out, exports[i].forward);
  }
  PadTo(out, 4);

  PutAt(out, directory + 12, at.RvaAt(dllName));
  PutAt(out, directory + 16, base);
  PutAt(out, directory + 20, functionCount);
  PutAt(out, directory + kExportNameCountField, U32(exports.size()));
  PutAt(out, directory + 28, at.RvaAt(addressTable));
  PutAt(out, directory + kExportNamesField, at.RvaAt(namePointers));
  PutAt(out, directory + kExportOrdinalsField, at.RvaAt(nameOrdinals));

  image.exportDirectory = at.FileOffsetAt(directory);
  image.exportAddressTable = at.FileOffsetAt(addressTable);
  image.exportNamePointers = at.FileOffsetAt(namePointers);
  return {at.RvaAt(directory), U32(out.size() - directory)};
}

DirectoryEntry WriteImports(const SectionCursor& at, Layout layout, const auto& descriptors, BuiltImage& image) {
  Bytes& out = at.content;
  const bool wide = layout == Layout::Pe32Plus;
  const std::size_t thunkSize = wide ? 8 : 4;
  const std::uint64_t ordinalFlag = std::uint64_t{1} << (wide ? 63 : 31);

  const std::size_t table = out.size();
  PutZeros(out, kImportDescriptorSize * (descriptors.size() + 1));
  PadTo(out, thunkSize);

  // Thunk tables first, hint/name entries and library names after them, so
  // that each thunk table is one contiguous run and strings never sit
  // between a table and its terminator. Positions are kept relative to the
  // section until the end.
  image.imports.assign(descriptors.size(), {});
  for (std::size_t d = 0; d < descriptors.size(); ++d) {
    const std::size_t tableBytes = thunkSize * (descriptors[d].entries.size() + 1);
    image.imports[d].descriptor = table + kImportDescriptorSize * d;
    if (descriptors[d].tables == ThunkTables::Both) {
      image.imports[d].originalFirstThunk = out.size();
      PutZeros(out, tableBytes);
    }
    image.imports[d].firstThunk = out.size();
    PutZeros(out, tableBytes);
  }

  for (std::size_t d = 0; d < descriptors.size(); ++d) {
    ImportTableOffsets& offsets = image.imports[d];
    const auto& entries = descriptors[d].entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      std::uint64_t thunk =
          entries[i].kind == ImportEntry::Kind::Ordinal ? ordinalFlag | entries[i].value : entries[i].value;
      if (entries[i].kind == ImportEntry::Kind::Name) {
        PadTo(out, 2);
        thunk = at.RvaAt(out.size());
        Put(out, entries[i].hint);
        PutCString(out, entries[i].name);
      }
      for (const std::optional<std::size_t> t : {offsets.originalFirstThunk, std::optional{offsets.firstThunk}}) {
        if (!t) continue;
        if (wide) {
          PutAt(out, *t + 8 * i, thunk);
        } else {
          PutAt(out, *t + 4 * i, static_cast<std::uint32_t>(thunk));
        }
      }
    }
    const std::size_t name = out.size();
    PutCString(out, descriptors[d].dllName);

    if (offsets.originalFirstThunk) PutAt(out, offsets.descriptor, at.RvaAt(*offsets.originalFirstThunk));
    PutAt(out, offsets.descriptor + kImportNameField, at.RvaAt(name));
    PutAt(out, offsets.descriptor + kImportFirstThunkField, at.RvaAt(offsets.firstThunk));
    offsets.descriptor = at.FileOffsetAt(offsets.descriptor);
    if (offsets.originalFirstThunk) offsets.originalFirstThunk = at.FileOffsetAt(*offsets.originalFirstThunk);
    offsets.firstThunk = at.FileOffsetAt(offsets.firstThunk);
  }
  PadTo(out, 4);

  image.importDescriptors = at.FileOffsetAt(table);
  return {at.RvaAt(table), U32(out.size() - table)};
}

// The names and thunk tables as an import directory has them, then the
// delay-load descriptors that point at them.
DirectoryEntry WriteDelayImports(const SectionCursor& at, Layout layout, const auto& descriptors) {
  BuiltImage scratch;
  WriteImports(at, layout, descriptors, scratch);
  Bytes& out = at.content;
  const std::size_t table = out.size();
  PutZeros(out, kDelayDescriptorSize * (descriptors.size() + 1));
  for (std::size_t d = 0; d < descriptors.size(); ++d) {
    const std::size_t imported = scratch.imports[d].descriptor - at.fileOffset;
    const std::size_t descriptor = table + kDelayDescriptorSize * d;
    PutAt(out, descriptor, std::uint32_t{1});  // RVA-based
    const auto field = [&](std::size_t from) {
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{out[imported + from + i]} << (8 * i);
      return value;
    };
    PutAt(out, descriptor + 4, field(kImportNameField));
    PutAt(out, descriptor + 12, field(kImportFirstThunkField));
    PutAt(out, descriptor + 16, field(0));  // the names: OriginalFirstThunk
  }
  return {at.RvaAt(table), U32(kDelayDescriptorSize * descriptors.size())};
}

// One entry at each level a reader walks to a resource (type, name,
// language), then the data entry and the version resource's data.
DirectoryEntry WriteVersionResource(const SectionCursor& at, const Bytes& data, BuiltImage& image) {
  Bytes& out = at.content;
  const std::size_t root = out.size();
  const std::size_t directorySize = kResourceDirectorySize + kResourceEntrySize;
  const std::size_t dataEntry = root + 3 * directorySize;
  PutZeros(out, dataEntry + kResourceDataEntrySize - root);
  const std::uint32_t ids[] = {kRtVersion, kResourceName, kResourceLanguage};
  for (std::size_t level = 0; level < 3; ++level) {
    const std::size_t directory = root + directorySize * level;
    const std::uint32_t flag = level < 2 ? kResourceSubdirectoryFlag : 0;
    PutAt(out, directory + kResourceEntryCountsField + 2, std::uint16_t{1});  // ID entries
    PutAt(out, directory + kResourceDirectorySize, ids[level]);
    PutAt(out, directory + kResourceDirectorySize + kResourceEntryTargetField, flag | U32(directorySize * (level + 1)));
  }
  PadTo(out, 8);
  const std::size_t block = out.size();
  out.insert(out.end(), data.begin(), data.end());
  PutAt(out, dataEntry, at.RvaAt(block));
  PutAt(out, dataEntry + kResourceDataSizeField, U32(data.size()));
  PadTo(out, 4);

  image.resourceRoot = at.FileOffsetAt(root);
  image.versionDataEntry = at.FileOffsetAt(dataEntry);
  image.versionBlock = at.FileOffsetAt(block);
  return {at.RvaAt(root), U32(out.size() - root)};
}

}  // namespace

void BuiltImage::CheckRange(std::size_t offset, std::size_t width) const {
  if (offset > bytes.size() || width > bytes.size() - offset) {
    throw std::out_of_range("PE image access at " + std::to_string(offset) + "+" + std::to_string(width) + " outside " +
                            std::to_string(bytes.size()) + " bytes");
  }
}

std::string Numbered(std::string_view prefix, std::size_t number) {
  return std::string(prefix) + std::to_string(number);
}

ImportEntry ByName(std::string name, std::uint16_t hint) {
  return ImportEntry{.kind = ImportEntry::Kind::Name, .name = std::move(name), .hint = hint, .value = 0};
}

ImportEntry ByOrdinal(std::uint16_t ordinal) {
  return ImportEntry{.kind = ImportEntry::Kind::Ordinal, .name = {}, .hint = 0, .value = ordinal};
}

ImportEntry RawThunk(std::uint64_t value) {
  return ImportEntry{.kind = ImportEntry::Kind::Raw, .name = {}, .hint = 0, .value = value};
}

PeWriter& PeWriter::DataSection(std::string name, std::vector<std::uint8_t> data) {
  dataSections_.emplace_back(std::move(name), std::move(data));
  return *this;
}

PeWriter::PeWriter(Layout layout) : layout_(layout), imageBase_(layout == Layout::Pe32 ? 0x400000 : 0x140000000) {}

std::vector<std::uint8_t> PeWriter::VersionData() const {
  if (versionRaw_) return *versionRaw_;
  const FixedFileInfo& info = *version_;
  constexpr std::string_view kKey = "VS_VERSION_INFO";
  constexpr std::uint16_t kFixedFileInfoSize = 52;

  Bytes block;
  PutZeros(block, 6);  // the two lengths follow once the size is known; wType 0 is binary
  for (const char c : kKey) Put(block, static_cast<std::uint16_t>(c));
  Put(block, std::uint16_t{0});
  PadTo(block, 4);
  for (const std::uint32_t field : {info.signature, info.structVersion, info.fileVersionMS, info.fileVersionLS,
                                    info.productVersionMS, info.productVersionLS, info.fileFlagsMask, info.fileFlags,
                                    info.fileOS, info.fileType, info.fileSubtype, info.fileDateMS, info.fileDateLS}) {
    Put(block, field);
  }
  PutAt(block, 0, static_cast<std::uint16_t>(block.size()));
  PutAt(block, 2, versionValueLength_.value_or(kFixedFileInfoSize));
  return block;
}

BuiltImage PeWriter::Build() const {
  const bool wide = layout_ == Layout::Pe32Plus;

  // Plan the sections; directories that name the same section share it, in
  // the order export, import, resource.
  struct Plan {
    std::string name;
    std::uint32_t characteristics = 0;
    std::vector<Directory> directories{};
    Bytes content{};
    std::uint32_t rva = 0;
    std::size_t fileOffset = 0;
    std::size_t rawSize = 0;
  };
  std::vector<Plan> plans{Plan{.name = ".text", .characteristics = kCodeSection}};
  const auto place = [&plans](const std::string& name, Directory directory, std::uint32_t flags) {
    auto it = std::find_if(plans.begin(), plans.end(), [&](const Plan& p) { return p.name == name; });
    if (it == plans.end()) it = plans.insert(plans.end(), Plan{.name = name, .characteristics = kReadOnlyDataSection});
    it->characteristics |= flags;
    it->directories.push_back(directory);
  };
  if (!exports_.empty() || unnamedExports_ > 0) place(".edata", kExportDirectory, 0);
  if (!imports_.empty()) place(".idata", kImportDirectory, kWritableFlag);
  if (version_ || versionRaw_) place(resourceSection_, kResourceDirectory, 0);
  if (!delayImports_.empty()) place(".didat", kDelayImportDirectory, kWritableFlag);
  for (const auto& [name, data] : dataSections_) {
    plans.push_back(Plan{.name = name, .characteristics = kReadOnlyDataSection, .content = data});
  }

  const std::size_t directoriesInHeader = wide ? 112 : 96;
  const std::size_t optionalHeaderSize = directoriesInHeader + 8 * kDataDirectoryCount;
  BuiltImage image;
  image.ntHeaders = kNtHeaders;
  image.fileHeader = image.ntHeaders + 4;
  image.optionalHeader = image.fileHeader + kFileHeaderSize;
  image.dataDirectories = image.optionalHeader + directoriesInHeader;
  image.sectionTable = image.optionalHeader + optionalHeaderSize;
  image.numberOfRvaAndSizesField = image.dataDirectories - 4;
  const std::size_t sizeOfHeaders = AlignUp(image.SectionHeader(plans.size()), kFileAlignment);

  // Lay the sections out one after another; each directory is written once
  // its section's RVA and file offset are known.
  std::array<DirectoryEntry, kDataDirectoryCount> directories{};
  std::size_t nextRva = AlignUp(sizeOfHeaders, kSectionAlignment);
  std::size_t nextFileOffset = sizeOfHeaders;
  for (Plan& p : plans) {
    p.rva = U32(nextRva);
    p.fileOffset = nextFileOffset;
    const SectionCursor cursor{p.content, p.rva, p.fileOffset};
    if (&p == &plans[0]) {
      p.content.assign(kCodeBytes, 0xCC);
      p.content[0] = 0xC3;
    }
    for (const Directory d : p.directories) {
      PadTo(p.content, 8);
      if (d == kExportDirectory) {
        directories[d] = WriteExports(cursor, exportBase_, exports_, unnamedExports_, plans[0].rva, image);
      } else if (d == kImportDirectory) {
        directories[d] = WriteImports(cursor, layout_, imports_, image);
      } else if (d == kDelayImportDirectory) {
        directories[d] = WriteDelayImports(cursor, layout_, delayImports_);
      } else {
        directories[d] = WriteVersionResource(cursor, VersionData(), image);
      }
    }
    p.rawSize = AlignUp(p.content.size(), kFileAlignment);
    nextFileOffset += p.rawSize;
    nextRva = AlignUp(p.rva + p.content.size(), kSectionAlignment);
  }

  Bytes& out = image.bytes;
  out.assign(nextFileOffset, 0);
  PutAt(out, 0, std::uint16_t{0x5A4D});  // "MZ"
  PutAt(out, kELfanewField, U32(kNtHeaders));
  PutAt(out, image.ntHeaders, std::uint16_t{0x4550});  // "PE"

  const std::size_t fh = image.fileHeader;
  PutAt(out, fh, static_cast<std::uint16_t>(wide ? 0x8664 : 0x14C));
  PutAt(out, fh + kNumberOfSectionsField, static_cast<std::uint16_t>(plans.size()));
  PutAt(out, fh + kSizeOfOptionalHeaderField, static_cast<std::uint16_t>(optionalHeaderSize));
  PutAt(out, fh + 18, static_cast<std::uint16_t>(wide ? 0x2022 : 0x2102));  // executable DLL

  const std::size_t oh = image.optionalHeader;
  PutAt(out, oh, static_cast<std::uint16_t>(wide ? 0x20B : 0x10B));
  PutAt(out, oh + 4, sizeOfCode_.value_or(U32(plans[0].rawSize)));
  PutAt(out, oh + 8, sizeOfInitializedData_.value_or(U32(nextFileOffset - plans[0].rawSize - sizeOfHeaders)));
  PutAt(out, oh + 12, sizeOfUninitializedData_);
  if (wide) {
    PutAt(out, oh + 24, imageBase_);
  } else {
    PutAt(out, oh + 28, static_cast<std::uint32_t>(imageBase_));
  }
  PutAt(out, oh + 32, kSectionAlignment);
  PutAt(out, oh + 36, kFileAlignment);
  PutAt(out, oh + 56, U32(nextRva));  // size of image
  PutAt(out, oh + kSizeOfHeadersField, U32(sizeOfHeaders));
  PutAt(out, image.numberOfRvaAndSizesField, U32(kDataDirectoryCount));
  for (std::size_t d = 0; d < directories.size(); ++d) {
    PutAt(out, image.DataDirectory(d), directories[d].rva);
    PutAt(out, image.DataDirectory(d) + kDirectorySizeField, directories[d].size);
  }

  for (std::size_t s = 0; s < plans.size(); ++s) {
    const std::size_t header = image.SectionHeader(s);
    std::copy(plans[s].name.begin(), plans[s].name.end(), out.begin() + static_cast<std::ptrdiff_t>(header));
    PutAt(out, header + kSectionVirtualSizeField, U32(plans[s].content.size()));
    PutAt(out, header + kSectionRvaField, plans[s].rva);
    PutAt(out, header + kSectionRawSizeField, U32(plans[s].rawSize));
    PutAt(out, header + kSectionRawPointerField, U32(plans[s].fileOffset));
    PutAt(out, header + 36, plans[s].characteristics);
    std::copy(plans[s].content.begin(), plans[s].content.end(),
              out.begin() + static_cast<std::ptrdiff_t>(plans[s].fileOffset));
  }
  return image;
}

BuiltImage MinimalPe(Layout layout) { return PeWriter(layout).Build(); }

}  // namespace corvane::testing
