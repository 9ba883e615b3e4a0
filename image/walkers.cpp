#include "walkers.h"

#include <cstdio>
#include <iterator>

#include "pe_layout.h"
#include "reading_budget.h"

namespace corvane {
namespace {

// The display texts of one thunk table's entries.
ThunkWalk WalkThunkTable(const MappedImage& image, bool pe32Plus, std::uint32_t tableRva, FunctionProc proc,
                         void* userA, void* userB, WalkedEntries* walked) {
  char ordinalText[24];
  return WalkThunks(image, pe32Plus, tableRva, 0, walked,
                    [&](std::optional<std::uint16_t> ordinal, std::string_view name) {
                      return proc(userA, userB, ordinal ? OrdinalText(*ordinal, ordinalText) : name);
                    });
}

}  // namespace

std::optional<std::uint64_t> WalkedEntries::FirstWalkedFrom(std::uint64_t start, std::uint64_t width) const {
  const std::uint64_t remainder = start % width;
  auto next = ends_.upper_bound({remainder, start});
  if (next != ends_.begin()) {
    const auto previous = std::prev(next);
    if (previous->first.first == remainder && start < previous->second) return start;
  }
  if (next == ends_.end() || next->first.first != remainder) return std::nullopt;
  return next->first.second;
}

void WalkedEntries::Add(std::uint64_t start, std::uint64_t end, std::uint64_t width) {
  ends_.emplace(std::pair{start % width, start}, end);
}

std::string_view OrdinalText(std::uint16_t ordinal, char (&buffer)[24]) {
  const int length = std::snprintf(buffer, sizeof buffer, "%6u (ordinal)", unsigned{ordinal});
  return std::string_view(buffer, static_cast<std::size_t>(length));
}

bool EnumExports(const MappedImage& image, ExportProc proc, void* userA, void* userB) {
  const auto directory = GetDirectoryData(image, pe::kDirectoryExport);
  if (!directory) return false;
  const ByteView& view = image.base;
  const auto count = view.Read<std::uint32_t>(*directory + pe::kExportNumberOfNames);
  const auto namesRva = view.Read<std::uint32_t>(*directory + pe::kExportAddressOfNames);
  const auto ordinalsRva = view.Read<std::uint32_t>(*directory + pe::kExportAddressOfNameOrdinals);
  if (!count || !namesRva || !ordinalsRva || *count == 0) return true;
  const auto names = image.sections.RvaToOffset(*namesRva);
  const auto ordinals = image.sections.RvaToOffset(*ordinalsRva);
  if (!names || !ordinals) return true;

  std::size_t nameStretch = 0;
  for (std::uint64_t i = 0; i < *count; ++i) {
    const auto nameRva = view.Read<std::uint32_t>(*names + i * 4);
    const auto nameOrdinal = view.Read<std::uint16_t>(*ordinals + i * 2);
    if (!nameRva || !nameOrdinal) break;
    const auto nameOffset = image.sections.RvaToOffset(*nameRva, nameStretch);
    if (!nameOffset) continue;
    const auto name = image.strings.At(*nameOffset);
    if (!name) continue;
    if (!proc(userA, userB, *name, std::int32_t{*nameOrdinal})) break;
  }
  return true;
}

ImportDirectory::ImportDirectory(const MappedImage& image) : image_(image) {
  const auto directory = GetDirectoryData(image, pe::kDirectoryImport);
  if (!directory) return;
  present_ = true;
  pe32Plus_ = image.IsPe32Plus();
  const ByteView& view = image.base;
  // Hashing a name reads all of it. Descriptors may all point at one long
  // name, or at ever later places in one long run of bytes, and each would
  // be read in full: quadratic in the file. Names at a place seen before
  // are found by their address; the bytes hashed otherwise are bounded as
  // any reading of the file, beyond which the directory is cut.
  ReadingBudget hashing(view.Size());
  for (std::uint64_t descriptor = *directory;; descriptor += pe::kImportDescriptorSize) {
    const auto nameRva = view.Read<std::uint32_t>(descriptor + pe::kImportName);
    if (!nameRva || *nameRva == 0) break;
    const auto nameOffset = image.sections.RvaToOffset(*nameRva);
    const auto name = nameOffset ? image.strings.At(*nameOffset) : std::nullopt;
    if (!name) continue;
    std::uint32_t thunkTable = view.Read<std::uint32_t>(descriptor + pe::kImportOriginalFirstThunk).value_or(0);
    if (thunkTable == 0) thunkTable = view.Read<std::uint32_t>(descriptor + pe::kImportFirstThunk).value_or(0);

    const auto index = static_cast<std::int32_t>(descriptors_.size());
    auto [known, newPlace] = chainsByAddress_.try_emplace(name->data(), nullptr);
    if (newPlace) {
      if (!hashing.SpendBytes(name->size())) {
        chainsByAddress_.erase(known);
        cut_ = true;
        break;
      }
      known->second = &chains_.try_emplace(*name, Chain{index, -1}).first->second;
    }
    descriptors_.push_back({*name, thunkTable, -1});
    Chain& chain = *known->second;
    if (chain.last >= 0) descriptors_[static_cast<std::size_t>(chain.last)].nextSameName = index;
    chain.last = index;
  }
}

std::int32_t ImportDirectory::FirstNamed(std::string_view name) const {
  // The same place and length are the same name.
  if (const auto atPlace = chainsByAddress_.find(name.data()); atPlace != chainsByAddress_.end()) {
    const std::int32_t first = atPlace->second->first;
    if (descriptors_[static_cast<std::size_t>(first)].name.size() == name.size()) return first;
  }
  const auto found = chains_.find(name);
  return found == chains_.end() ? -1 : found->second.first;
}

bool EnumImportedLibraries(const MappedImage& image, LibraryProc proc, void* userA, void* userB) {
  return EnumImportedLibraries(ImportDirectory(image), proc, userA, userB);
}

bool EnumImportedLibraries(const ImportDirectory& imports, LibraryProc proc, void* userA, void* userB) {
  if (!imports.Present()) return false;
  for (const ImportDirectory::Descriptor& descriptor : imports.Descriptors()) {
    if (!proc(userA, userB, descriptor.name)) break;
  }
  return true;
}

bool EnumImportedFunctions(const ImportDirectory& imports, std::string_view libraryName, FunctionProc proc,
                           void* userA, void* userB) {
  if (!imports.Present()) return false;
  std::int32_t index = imports.FirstNamed(libraryName);
  if (index < 0) return false;
  const auto& descriptors = imports.Descriptors();
  const bool split = descriptors[index].nextSameName >= 0;
  WalkedEntries walked;
  bool anyTable = false;
  for (; index >= 0; index = descriptors[index].nextSameName) {
    const ThunkWalk walk = WalkThunkTable(imports.Image(), imports.Pe32Plus(), descriptors[index].thunkTable, proc,
                                          userA, userB, split ? &walked : nullptr);
    if (walk == ThunkWalk::kStopped) return true;
    anyTable = anyTable || walk == ThunkWalk::kCompleted;
  }
  return anyTable;
}

bool EnumImportedFunctions(const MappedImage& image, std::string_view libraryName, FunctionProc proc, void* userA,
                           void* userB) {
  return EnumImportedFunctions(ImportDirectory(image), libraryName, proc, userA, userB);
}

}  // namespace corvane
