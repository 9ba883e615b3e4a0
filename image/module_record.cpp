#include "module_record.h"

#include "pe_layout.h"
#include "reading_budget.h"
#include "version_reader.h"
#include "walkers.h"

namespace corvane {
namespace {

class RecordReader {
 public:
  RecordReader(const MappedImage& image, ModuleRecord& record)
      : image_(image), view_(image.base), record_(record), budget_(image.base.Size()) {}

  void ReadExports() {
    const auto range = ImageDataDirectory(view_, pe::kDirectoryExport);
    const auto directory = GetDirectoryData(image_, pe::kDirectoryExport);
    if (!range || !directory) return;
    record_.ordinalBase = view_.Read<std::uint32_t>(*directory + pe::kExportBase).value_or(0);
    const std::uint32_t functionCount =
        view_.Read<std::uint32_t>(*directory + pe::kExportNumberOfFunctions).value_or(0);
    const auto addresses = RvaField(*directory + pe::kExportAddressOfFunctions);
    for (std::uint32_t i = 0; addresses && i < functionCount; ++i) {
      const auto address = view_.Read<std::uint32_t>(*addresses + std::uint64_t{i} * 4);
      if (!address || !budget_.SpendEntry()) break;
      record_.addresses.push_back(*address);
      // An address inside the export directory is a forwarder's text.
      if (*address - range->rva < range->size) {
        const auto text = String(*address);
        if (text && budget_.SpendReading(text->size())) record_.forwards.emplace(i, *text);
      }
    }
    std::vector<Named> named;
    EnumExports(image_, OnExportName, this, &named);
    record_.byName.reserve(named.size());
    for (const Named& name : named) {
      // The loader's binary search finds one of several equal names; the
      // first one is kept.
      record_.byName.emplace(std::string_view(record_.nameBytes.data() + name.at, name.length), name.index);
    }
  }

  void ReadImports() {
    const ImportDirectory directory(image_);
    for (const ImportDirectory::Descriptor& descriptor : directory.Descriptors()) {
      if (!ReadLibrary(descriptor.name, false, descriptor.thunkTable, 0)) break;
    }
    record_.cut = directory.Cut();
  }

  void ReadDelayImports() {
    const auto table = GetDirectoryData(image_, pe::kDirectoryDelayImport);
    if (!table) return;
    const std::uint64_t imageBase = image_.ImageBase();
    for (std::uint64_t descriptor = *table;; descriptor += pe::kDelayDescriptorSize) {
      const auto attributes = view_.Read<std::uint32_t>(descriptor + pe::kDelayAttributes);
      const auto nameField = view_.Read<std::uint32_t>(descriptor + pe::kDelayDllName);
      const auto namesField = view_.Read<std::uint32_t>(descriptor + pe::kDelayImportNameTable);
      if (!attributes || !nameField || !namesField || *nameField == 0) break;
      // Descriptors of the oldest linkers hold 32-bit addresses, not RVAs.
      const std::uint64_t bias = (*attributes & pe::kDelayAttributeRvaBased) != 0 ? 0 : imageBase;
      const auto name = String(static_cast<std::uint32_t>(*nameField - bias));
      if (!name) continue;
      if (!ReadLibrary(*name, true, static_cast<std::uint32_t>(*namesField - bias), bias)) break;
    }
  }

  bool Cut() const { return budget_.Cut(); }

 private:
  // A name of the export name table, copied into the record's block.
  struct Named {
    std::size_t at;
    std::size_t length;
    std::uint32_t index;
  };
  static bool OnExportName(void* userA, void* userB, std::string_view name, std::int32_t index) {
    auto& reader = *static_cast<RecordReader*>(userA);
    if (!reader.budget_.SpendReading(name.size()) || !reader.budget_.SpendEntry()) return false;
    std::vector<char>& bytes = reader.record_.nameBytes;
    static_cast<std::vector<Named>*>(userB)->push_back({bytes.size(), name.size(), static_cast<std::uint32_t>(index)});
    bytes.insert(bytes.end(), name.begin(), name.end());
    return true;
  }

  std::optional<std::uint64_t> RvaField(std::uint64_t field) const {
    const auto rva = view_.Read<std::uint32_t>(field);
    return rva ? image_.sections.RvaToOffset(*rva) : std::nullopt;
  }
  std::optional<std::string_view> String(std::uint32_t rva) const {
    const auto offset = image_.sections.RvaToOffset(rva);
    return offset ? image_.strings.At(*offset) : std::nullopt;
  }

  bool ReadLibrary(std::string_view name, bool delayLoaded, std::uint32_t thunkTable, std::uint64_t bias) {
    if (!budget_.SpendReading(name.size())) return false;
    ImportedLibrary& library = record_.imports.emplace_back(ImportedLibrary{std::string(name), delayLoaded, {}});
    WalkThunks(image_, record_.pe32Plus, thunkTable, bias, nullptr,
               [&](std::optional<std::uint16_t> ordinal, std::string_view function) {
                 if (!budget_.SpendReading(function.size()) || !budget_.SpendEntry()) return false;
                 library.functions.push_back({std::string(function), ordinal});
                 return true;
               });
    return !budget_.Cut();
  }

  const MappedImage& image_;
  const ByteView& view_;
  ModuleRecord& record_;
  ReadingBudget budget_;
};

}  // namespace

std::optional<ExportBinding> ModuleRecord::Bind(const ImportedFunction& function) const {
  std::uint32_t index = 0;
  if (function.ordinal) {
    index = std::uint32_t{*function.ordinal} - ordinalBase;
  } else {
    const auto named = byName.find(function.name);
    if (named == byName.end()) return std::nullopt;
    index = named->second;
  }
  if (index >= addresses.size() || addresses[index] == 0) return std::nullopt;
  const auto forward = forwards.find(index);
  return ExportBinding{forward != forwards.end() ? &forward->second : nullptr};
}

ModuleRecord ReadModuleRecord(const MappedImage& image, bool withExports) {
  ModuleRecord record;
  record.machine = ImageMachine(image.base).value_or(0);
  record.pe32Plus = image.IsPe32Plus();
  RecordReader reader(image, record);
  reader.ReadImports();
  reader.ReadDelayImports();
  record.cut = record.cut || reader.Cut();
  if (const auto version = FindFixedFileInfo(image.base)) {
    record.fileVersion = FormatVersion(version->dwFileVersionMS, version->dwFileVersionLS);
  }
  if (withExports) ReadModuleExports(image, record);
  return record;
}

void ReadModuleExports(const MappedImage& image, ModuleRecord& record) {
  RecordReader reader(image, record);
  reader.ReadExports();
  record.cut = record.cut || reader.Cut();
  record.exportsRead = true;
}

}  // namespace corvane
