#include "pe_writer.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace corvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;

constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint32_t kResourceSubdirectoryFlag = 0x80000000;
constexpr std::uint16_t kResourceName = 1;
constexpr std::uint16_t kResourceLanguage = 0x0409;

constexpr std::uint32_t kCodeSection = 0x60000020;         // code, execute, read
constexpr std::uint32_t kReadOnlyDataSection = 0x40000040;  // initialized data, read
constexpr std::uint32_t kWritableFlag = 0x80000000;         // the loader fills the IAT
constexpr std::uint32_t kUninitializedSection = 0xC0000080;

// Enough bytes for the export address table to point at distinct places
// inside a section that is not the export directory: an address inside the
// directory would read as a forwarder.
constexpr std::size_t kCodeBytes = 16;

constexpr std::size_t kExportDirectoryIndex = 0;
constexpr std::size_t kImportDirectoryIndex = 1;
constexpr std::size_t kResourceDirectoryIndex = 2;

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  if (alignment == 0) return value;
  return (value + alignment - 1) / alignment * alignment;
}

std::uint32_t Narrow32(std::size_t value) {
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("PE image field does not fit in 32 bits");
  }
  return static_cast<std::uint32_t>(value);
}

std::uint16_t Narrow16(std::size_t value) {
  if (value > std::numeric_limits<std::uint16_t>::max()) {
    throw std::length_error("PE image field does not fit in 16 bits");
  }
  return static_cast<std::uint16_t>(value);
}

template <std::unsigned_integral T>
void PutAt(Bytes& out, std::size_t offset, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
  }
}

template <std::unsigned_integral T>
void Put(Bytes& out, T value) {
  const std::size_t at = out.size();
  out.resize(at + sizeof(T));
  PutAt(out, at, value);
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

  std::uint32_t RvaAt(std::size_t position) const { return Narrow32(rva + position); }
  std::size_t FileOffsetAt(std::size_t position) const { return fileOffset + position; }
};

struct DirectoryEntry {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

struct CodeArea {
  std::uint32_t rva = 0;
  std::size_t size = 0;
};

DirectoryEntry WriteExports(const SectionCursor& at, const std::string& dllName, std::uint32_t base,
                            const auto& exports, std::uint32_t unnamed, CodeArea code,
                            BuiltImage& image) {
  Bytes& out = at.content;
  std::size_t namedSlots = 0;
  for (const auto& e : exports) namedSlots = std::max<std::size_t>(namedSlots, e.nameOrdinal + 1u);
  const std::uint32_t functionCount = Narrow32(namedSlots + unnamed);
  const std::uint32_t nameCount = Narrow32(exports.size());

  const std::size_t directory = out.size();
  PutZeros(out, kExportDirectorySize);

  const std::size_t addressTable = out.size();
  out.reserve(out.size() + 4 * std::size_t{functionCount} + 10 * std::size_t{nameCount});
  for (std::size_t i = 0; i < functionCount; ++i) {
    Put(out, Narrow32(code.rva + i % code.size));
  }
  const std::size_t namePointers = out.size();
  PutZeros(out, 4 * std::size_t{nameCount});
  const std::size_t nameOrdinals = out.size();
  for (const auto& e : exports) Put(out, e.nameOrdinal);
  PadTo(out, 4);

  const std::size_t dllNameAt = out.size();
  PutCString(out, dllName);
  for (std::size_t i = 0; i < exports.size(); ++i) {
    PutAt(out, namePointers + 4 * i, at.RvaAt(out.size()));
    PutCString(out, exports[i].name);
  }
  PadTo(out, 4);

  PutAt(out, directory + 12, at.RvaAt(dllNameAt));
  PutAt(out, directory + 16, base);
  PutAt(out, directory + 20, functionCount);
  PutAt(out, directory + 24, nameCount);
  PutAt(out, directory + 28, at.RvaAt(addressTable));
  PutAt(out, directory + 32, at.RvaAt(namePointers));
  PutAt(out, directory + 36, at.RvaAt(nameOrdinals));

  image.exportDirectory = at.FileOffsetAt(directory);
  image.exportAddressTable = at.FileOffsetAt(addressTable);
  image.exportNamePointers = at.FileOffsetAt(namePointers);
  image.exportNameOrdinals = at.FileOffsetAt(nameOrdinals);
  return {at.RvaAt(directory), Narrow32(out.size() - directory)};
}

DirectoryEntry WriteImports(const SectionCursor& at, Layout layout, const auto& descriptors,
                            BuiltImage& image) {
  Bytes& out = at.content;
  const bool wide = layout == Layout::Pe32Plus;
  const std::size_t thunkSize = wide ? 8 : 4;
  const std::uint64_t ordinalFlag = wide ? (std::uint64_t{1} << 63) : (std::uint64_t{1} << 31);

  const std::size_t table = out.size();
  PutZeros(out, kImportDescriptorSize * (descriptors.size() + 1));
  PadTo(out, thunkSize);

  // Thunk tables first, hint/name entries and library names after them, so
  // that each thunk table is one contiguous run and strings never sit
  // between a table and its terminator.
  struct Pending {
    std::optional<std::size_t> lookup;
    std::size_t address = 0;
  };
  std::vector<Pending> tables(descriptors.size());
  image.imports.clear();
  image.imports.reserve(descriptors.size());
  for (std::size_t d = 0; d < descriptors.size(); ++d) {
    const auto& spec = descriptors[d];
    const std::size_t tableBytes = thunkSize * (spec.entries.size() + 1);
    ImportTableOffsets offsets;
    offsets.descriptor = at.FileOffsetAt(table + kImportDescriptorSize * d);
    if (spec.tables == ThunkTables::Both) {
      tables[d].lookup = out.size();
      offsets.originalFirstThunk = at.FileOffsetAt(out.size());
      PutZeros(out, tableBytes);
    }
    tables[d].address = out.size();
    offsets.firstThunk = at.FileOffsetAt(tables[d].address);
    PutZeros(out, tableBytes);
    image.imports.push_back(offsets);
  }

  for (std::size_t d = 0; d < descriptors.size(); ++d) {
    const auto& spec = descriptors[d];
    for (std::size_t i = 0; i < spec.entries.size(); ++i) {
      const ImportEntry& entry = spec.entries[i];
      std::uint64_t thunk = 0;
      switch (entry.kind) {
        case ImportEntry::Kind::Name:
          PadTo(out, 2);
          thunk = at.RvaAt(out.size());
          Put(out, entry.hint);
          PutCString(out, entry.name);
          break;
        case ImportEntry::Kind::Ordinal:
          thunk = ordinalFlag | entry.value;
          break;
        case ImportEntry::Kind::Raw:
          thunk = entry.value;
          if (!wide && thunk > std::numeric_limits<std::uint32_t>::max()) {
            throw std::invalid_argument("raw PE32 thunk wider than 32 bits");
          }
          break;
      }
      for (const std::optional<std::size_t> t : {tables[d].lookup, std::optional{tables[d].address}}) {
        if (!t) continue;
        if (wide) {
          PutAt(out, *t + 8 * i, thunk);
        } else {
          PutAt(out, *t + 4 * i, static_cast<std::uint32_t>(thunk));
        }
      }
    }
    const std::size_t nameAt = out.size();
    PutCString(out, spec.dllName);

    const std::size_t descriptor = table + kImportDescriptorSize * d;
    if (tables[d].lookup) PutAt(out, descriptor, at.RvaAt(*tables[d].lookup));
    PutAt(out, descriptor + 12, at.RvaAt(nameAt));
    PutAt(out, descriptor + 16, at.RvaAt(tables[d].address));
  }
  PadTo(out, 4);

  image.importDescriptors = at.FileOffsetAt(table);
  return {at.RvaAt(table), Narrow32(out.size() - table)};
}

void PutResourceDirectory(Bytes& out, std::size_t at, std::size_t idEntries) {
  PutAt(out, at + 14, Narrow16(idEntries));
}

void PutResourceEntry(Bytes& out, std::size_t at, std::uint32_t id, std::uint32_t target) {
  PutAt(out, at, id);
  PutAt(out, at + 4, target);
}

// Three levels (type, name, language) with one entry below each type: all
// the tree a reader needs to find a resource by type.
DirectoryEntry WriteResources(const SectionCursor& at, const auto& resources, BuiltImage& image) {
  Bytes& out = at.content;
  const std::size_t root = out.size();
  const std::size_t rootSize = kResourceDirectorySize + kResourceEntrySize * resources.size();
  const std::size_t leafDirectorySize = kResourceDirectorySize + kResourceEntrySize;
  const std::size_t typeDirectories = root + rootSize;
  const std::size_t nameDirectories = typeDirectories + leafDirectorySize * resources.size();
  const std::size_t dataEntries = nameDirectories + leafDirectorySize * resources.size();
  PutZeros(out, dataEntries + kResourceDataEntrySize * resources.size() - root);

  PutResourceDirectory(out, root, resources.size());
  for (std::size_t i = 0; i < resources.size(); ++i) {
    const std::size_t type = typeDirectories + leafDirectorySize * i;
    const std::size_t name = nameDirectories + leafDirectorySize * i;
    const std::size_t dataEntry = dataEntries + kResourceDataEntrySize * i;
    const auto relative = [root](std::size_t position) { return Narrow32(position - root); };

    PutResourceEntry(out, root + kResourceDirectorySize + kResourceEntrySize * i, resources[i].type,
                     kResourceSubdirectoryFlag | relative(type));
    PutResourceDirectory(out, type, 1);
    PutResourceEntry(out, type + kResourceDirectorySize, kResourceName,
                     kResourceSubdirectoryFlag | relative(name));
    PutResourceDirectory(out, name, 1);
    PutResourceEntry(out, name + kResourceDirectorySize, kResourceLanguage, relative(dataEntry));

    PadTo(out, 8);
    const std::size_t data = out.size();
    out.insert(out.end(), resources[i].data.begin(), resources[i].data.end());
    PutAt(out, dataEntry, at.RvaAt(data));
    PutAt(out, dataEntry + 4, Narrow32(resources[i].data.size()));

    if (resources[i].isVersion) {
      image.versionDataEntry = at.FileOffsetAt(dataEntry);
      image.versionBlock = at.FileOffsetAt(data);
    }
  }
  PadTo(out, 4);

  image.resourceRoot = at.FileOffsetAt(root);
  return {at.RvaAt(root), Narrow32(out.size() - root)};
}

void CheckSectionName(const std::string& name) {
  if (name.empty() || name.size() > 8) {
    throw std::invalid_argument("section name must be 1 to 8 bytes: " + name);
  }
}

}  // namespace

void BuiltImage::CheckRange(std::size_t offset, std::size_t width) const {
  if (offset > bytes.size() || width > bytes.size() - offset) {
    throw std::out_of_range("PE image access at " + std::to_string(offset) + "+" +
                            std::to_string(width) + " outside " + std::to_string(bytes.size()) +
                            " bytes");
  }
}

std::string Numbered(std::string_view prefix, std::size_t number) {
  std::string name(prefix);
  name += std::to_string(number);
  return name;
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

PeWriter::PeWriter(Layout layout)
    : layout_(layout),
      machine_(layout == Layout::Pe32 ? 0x14C : 0x8664),
      imageBase_(layout == Layout::Pe32 ? 0x400000 : 0x140000000) {}

PeWriter& PeWriter::Machine(std::uint16_t machine) {
  machine_ = machine;
  return *this;
}

PeWriter& PeWriter::ImageBase(std::uint64_t imageBase) {
  imageBase_ = imageBase;
  return *this;
}

PeWriter& PeWriter::SizeOfCode(std::uint32_t size) {
  sizeOfCode_ = size;
  return *this;
}

PeWriter& PeWriter::SizeOfInitializedData(std::uint32_t size) {
  sizeOfInitializedData_ = size;
  return *this;
}

PeWriter& PeWriter::SizeOfUninitializedData(std::uint32_t size) {
  sizeOfUninitializedData_ = size;
  return *this;
}

PeWriter& PeWriter::ELfanew(std::uint32_t offset) {
  if (offset < kDosHeaderSize) {
    throw std::invalid_argument("e_lfanew inside the DOS header would overwrite it");
  }
  eLfanew_ = offset;
  return *this;
}

PeWriter& PeWriter::Alignment(std::uint32_t fileAlignment, std::uint32_t sectionAlignment) {
  if (fileAlignment == 0 || sectionAlignment == 0) {
    throw std::invalid_argument("alignments must be non-zero");
  }
  fileAlignment_ = fileAlignment;
  sectionAlignment_ = sectionAlignment;
  return *this;
}

PeWriter& PeWriter::NumberOfRvaAndSizes(std::uint32_t count) {
  numberOfRvaAndSizes_ = count;
  return *this;
}

PeWriter& PeWriter::EmptySection(std::string name, std::uint32_t virtualSize) {
  CheckSectionName(name);
  emptySections_.push_back({std::move(name), virtualSize});
  return *this;
}

PeWriter& PeWriter::DataSection(std::string name, std::vector<std::uint8_t> data) {
  CheckSectionName(name);
  dataSections_.emplace_back(std::move(name), std::move(data));
  return *this;
}

PeWriter& PeWriter::ExportDllName(std::string name) {
  hasExports_ = true;
  exportDllName_ = std::move(name);
  return *this;
}

PeWriter& PeWriter::ExportBase(std::uint32_t base) {
  hasExports_ = true;
  exportBase_ = base;
  return *this;
}

PeWriter& PeWriter::Export(std::string name, std::uint16_t nameOrdinal) {
  hasExports_ = true;
  exports_.push_back({std::move(name), nameOrdinal});
  return *this;
}

PeWriter& PeWriter::UnnamedExports(std::uint32_t count) {
  hasExports_ = true;
  unnamedExports_ = count;
  return *this;
}

PeWriter& PeWriter::ExportsIn(std::string sectionName) {
  CheckSectionName(sectionName);
  exportSection_ = std::move(sectionName);
  return *this;
}

PeWriter& PeWriter::Import(std::string dllName, std::vector<ImportEntry> entries, ThunkTables tables) {
  imports_.push_back({std::move(dllName), std::move(entries), tables});
  return *this;
}

PeWriter& PeWriter::ImportsIn(std::string sectionName) {
  CheckSectionName(sectionName);
  importSection_ = std::move(sectionName);
  return *this;
}

PeWriter& PeWriter::Version(const FixedFileInfo& info) {
  version_ = info;
  versionRaw_.reset();
  return *this;
}

PeWriter& PeWriter::VersionLength(std::uint16_t wLength) {
  versionLength_ = wLength;
  return *this;
}

PeWriter& PeWriter::VersionValueLength(std::uint16_t wValueLength) {
  versionValueLength_ = wValueLength;
  return *this;
}

PeWriter& PeWriter::VersionRaw(std::vector<std::uint8_t> data) {
  versionRaw_ = std::move(data);
  version_.reset();
  return *this;
}

PeWriter& PeWriter::Resource(std::uint16_t type, std::vector<std::uint8_t> data) {
  resources_.push_back({type, std::move(data), false});
  return *this;
}

PeWriter& PeWriter::ResourcesIn(std::string sectionName) {
  CheckSectionName(sectionName);
  resourceSection_ = std::move(sectionName);
  return *this;
}

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
  for (const std::uint32_t field :
       {info.signature, info.structVersion, info.fileVersionMS, info.fileVersionLS,
        info.productVersionMS, info.productVersionLS, info.fileFlagsMask, info.fileFlags, info.fileOS,
        info.fileType, info.fileSubtype, info.fileDateMS, info.fileDateLS}) {
    Put(block, field);
  }
  PadTo(block, 4);
  PutAt(block, 0, versionLength_.value_or(Narrow16(block.size())));
  PutAt(block, 2, versionValueLength_.value_or(kFixedFileInfoSize));
  return block;
}

BuiltImage PeWriter::Build() const {
  const bool wide = layout_ == Layout::Pe32Plus;
  if (!wide && imageBase_ > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("PE32 image base wider than 32 bits");
  }

  // Plan the sections; directories that name the same section share it, in
  // the order export, import, resource.
  struct Plan {
    std::string name;
    std::uint32_t characteristics = 0;
    std::vector<std::size_t> directories;  // data directory indices
    std::uint32_t emptyVirtualSize = 0;
    bool empty = false;
    Bytes data;
  };
  std::vector<Plan> plans{{".text", kCodeSection, {}, 0, false, {}}};
  const auto place = [&plans](const std::string& name, std::size_t directory, std::uint32_t flags) {
    auto it = std::find_if(plans.begin(), plans.end(), [&](const Plan& p) { return p.name == name; });
    if (it == plans.end()) {
      plans.push_back({name, kReadOnlyDataSection, {}, 0, false, {}});
      it = std::prev(plans.end());
    }
    it->characteristics |= flags;
    it->directories.push_back(directory);
  };
  std::vector<ResourceSpec> resources = resources_;
  if (version_ || versionRaw_) resources.push_back({kRtVersion, VersionData(), true});
  std::stable_sort(resources.begin(), resources.end(),
                   [](const ResourceSpec& a, const ResourceSpec& b) { return a.type < b.type; });

  if (hasExports_) place(exportSection_, kExportDirectoryIndex, 0);
  if (!imports_.empty()) place(importSection_, kImportDirectoryIndex, kWritableFlag);
  if (!resources.empty()) place(resourceSection_, kResourceDirectoryIndex, 0);
  for (const auto& [name, data] : dataSections_) plans.push_back({name, kReadOnlyDataSection, {}, 0, false, data});
  for (const EmptySectionSpec& e : emptySections_) {
    if (std::any_of(plans.begin(), plans.end(), [&](const Plan& p) { return p.name == e.name; })) {
      throw std::invalid_argument("empty section reuses the name " + e.name);
    }
    plans.push_back({e.name, kUninitializedSection, {}, e.virtualSize, true, {}});
  }

  const std::size_t optionalHeaderSize = (wide ? 112 : 96) + 8 * std::size_t{numberOfRvaAndSizes_};
  BuiltImage image;
  image.ntHeaders = eLfanew_;
  image.fileHeader = image.ntHeaders + 4;
  image.optionalHeader = image.fileHeader + kFileHeaderSize;
  image.dataDirectories = image.optionalHeader + (wide ? 112 : 96);
  image.sectionTable = image.optionalHeader + optionalHeaderSize;
  image.imageBaseField = image.optionalHeader + (wide ? 24 : 28);
  image.numberOfRvaAndSizesField = image.optionalHeader + (wide ? 108 : 92);
  const std::size_t sizeOfHeaders =
      AlignUp(image.sectionTable + kSectionHeaderSize * plans.size(), fileAlignment_);

  // Lay the sections out one after another; each directory is written once
  // its section's RVA and file offset are known.
  struct Placed {
    Bytes content;
    std::uint32_t rva = 0;
    std::size_t fileOffset = 0;
    std::size_t rawSize = 0;
    std::size_t virtualSize = 0;
  };
  std::vector<Placed> placed(plans.size());
  std::array<DirectoryEntry, 3> directories{};
  std::size_t nextRva = AlignUp(sizeOfHeaders, sectionAlignment_);
  std::size_t nextFileOffset = sizeOfHeaders;
  CodeArea code;
  for (std::size_t s = 0; s < plans.size(); ++s) {
    Placed& p = placed[s];
    p.rva = Narrow32(nextRva);
    if (plans[s].empty) {
      p.virtualSize = plans[s].emptyVirtualSize;
    } else {
      p.fileOffset = nextFileOffset;
      const SectionCursor cursor{p.content, p.rva, p.fileOffset};
      p.content = plans[s].data;
      if (s == 0) {
        p.content.assign(kCodeBytes, 0xCC);
        p.content[0] = 0xC3;
        code = {p.rva, kCodeBytes};
      }
      for (const std::size_t d : plans[s].directories) {
        PadTo(p.content, 8);
        if (d == kExportDirectoryIndex) {
          directories[d] =
              WriteExports(cursor, exportDllName_, exportBase_, exports_, unnamedExports_, code, image);
        } else if (d == kImportDirectoryIndex) {
          directories[d] = WriteImports(cursor, layout_, imports_, image);
        } else {
          directories[d] = WriteResources(cursor, resources, image);
        }
      }
      p.virtualSize = p.content.size();
      p.rawSize = AlignUp(p.content.size(), fileAlignment_);
      nextFileOffset += p.rawSize;
    }
    nextRva = AlignUp(p.rva + std::max<std::size_t>(p.virtualSize, 1), sectionAlignment_);
  }

  std::size_t codeSize = 0;
  std::size_t dataSize = 0;
  std::size_t uninitializedSize = 0;
  std::uint32_t baseOfData = 0;
  for (std::size_t s = 0; s < plans.size(); ++s) {
    if (s == 0) {
      codeSize += placed[s].rawSize;
    } else if (plans[s].empty) {
      uninitializedSize += placed[s].virtualSize;
    } else {
      dataSize += placed[s].rawSize;
      if (baseOfData == 0) baseOfData = placed[s].rva;
    }
  }

  Bytes& out = image.bytes;
  out.assign(nextFileOffset, 0);
  out[0] = 'M';
  out[1] = 'Z';
  PutAt(out, image.eLfanewField, eLfanew_);
  out[image.ntHeaders] = 'P';
  out[image.ntHeaders + 1] = 'E';

  const std::size_t fh = image.fileHeader;
  PutAt(out, fh, machine_);
  PutAt(out, fh + 2, Narrow16(plans.size()));
  PutAt(out, fh + 16, Narrow16(optionalHeaderSize));
  PutAt(out, fh + 18, static_cast<std::uint16_t>(wide ? 0x2022 : 0x2102));  // executable DLL

  const std::size_t oh = image.optionalHeader;
  PutAt(out, oh, static_cast<std::uint16_t>(wide ? 0x20B : 0x10B));
  out[oh + 2] = 14;  // linker version
  PutAt(out, oh + 4, sizeOfCode_.value_or(Narrow32(codeSize)));
  PutAt(out, oh + 8, sizeOfInitializedData_.value_or(Narrow32(dataSize)));
  PutAt(out, oh + 12, sizeOfUninitializedData_.value_or(Narrow32(uninitializedSize)));
  PutAt(out, oh + 16, code.rva);  // entry point
  PutAt(out, oh + 20, code.rva);  // base of code
  if (wide) {
    PutAt(out, image.imageBaseField, imageBase_);
  } else {
    PutAt(out, oh + 24, baseOfData);
    PutAt(out, image.imageBaseField, static_cast<std::uint32_t>(imageBase_));
  }
  PutAt(out, oh + 32, sectionAlignment_);
  PutAt(out, oh + 36, fileAlignment_);
  PutAt(out, oh + 40, std::uint16_t{6});  // operating system version
  PutAt(out, oh + 48, std::uint16_t{6});  // subsystem version
  PutAt(out, oh + 56, Narrow32(nextRva));  // size of image
  PutAt(out, oh + 60, Narrow32(sizeOfHeaders));
  PutAt(out, oh + 68, std::uint16_t{2});  // Windows GUI
  // Stack reserve and commit, heap reserve and commit: pointer-sized fields.
  const std::array<std::uint32_t, 4> reserves{0x100000, 0x1000, 0x100000, 0x1000};
  for (std::size_t i = 0; i < reserves.size(); ++i) {
    if (wide) {
      PutAt(out, oh + 72 + 8 * i, std::uint64_t{reserves[i]});
    } else {
      PutAt(out, oh + 72 + 4 * i, reserves[i]);
    }
  }
  PutAt(out, image.numberOfRvaAndSizesField, numberOfRvaAndSizes_);
  for (std::size_t d = 0; d < directories.size() && d < numberOfRvaAndSizes_; ++d) {
    PutAt(out, image.DataDirectory(d), directories[d].rva);
    PutAt(out, image.DataDirectory(d) + 4, directories[d].size);
  }

  for (std::size_t s = 0; s < plans.size(); ++s) {
    const std::size_t header = image.SectionHeader(s);
    std::copy(plans[s].name.begin(), plans[s].name.end(), out.begin() + static_cast<std::ptrdiff_t>(header));
    PutAt(out, header + 8, Narrow32(placed[s].virtualSize));
    PutAt(out, header + 12, placed[s].rva);
    PutAt(out, header + 16, Narrow32(placed[s].rawSize));
    PutAt(out, header + 20, Narrow32(placed[s].fileOffset));
    PutAt(out, header + 36, plans[s].characteristics);
    std::copy(placed[s].content.begin(), placed[s].content.end(),
              out.begin() + static_cast<std::ptrdiff_t>(placed[s].fileOffset));
  }
  return image;
}

BuiltImage MinimalPe(Layout layout) { return PeWriter(layout).Build(); }

}  // namespace corvane::testing
