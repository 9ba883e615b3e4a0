#pragma once

// What the dependency check keeps of one PE image once its file is closed:
// its machine, what it exports (by name and by ordinal, forwarders included)
// and what it imports, at load time and delay-loaded. Reading is bounded by
// the file's size like a tree build (see ReadingBudget).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mapped_image.h"

namespace corvane {

// One function imported from a library: by name, or by ordinal.
struct ImportedFunction {
  std::string name;  // empty for an ordinal import
  std::optional<std::uint16_t> ordinal;
};

struct ImportedLibrary {
  std::string name;  // as the image spells it
  bool delayLoaded = false;
  std::vector<ImportedFunction> functions;
};

// How an export that binds resolves: in the image itself, or forwarded to
// another library's export ("LIBRARY.Function" or "LIBRARY.#12").
struct ExportBinding {
  const std::string* forward = nullptr;  // null: exported here
};

struct ModuleRecord {
  std::uint16_t machine = 0;
  bool pe32Plus = false;
  // Import descriptors in file order, then delay-load descriptors in theirs.
  std::vector<ImportedLibrary> imports;
  // True when the file names far more than it can hold and reading stopped.
  bool cut = false;
  bool exportsRead = false;
  // "1.2.3.4" from the file's version information; empty when it has none.
  std::string fileVersion;

  // The export `function` binds to, as the loader binds it: a name matches
  // exactly, case and all; an ordinal must fall in the address table and
  // its address must not be 0. Nothing when the image does not export it.
  std::optional<ExportBinding> Bind(const ImportedFunction& function) const;

  std::uint32_t ordinalBase = 0;
  std::vector<std::uint32_t> addresses;  // the export address table, up to the view's end
  // Exported name -> index into `addresses`. The names are kept in one
  // block rather than a string each: a library may export a hundred
  // thousand of them.
  std::vector<char> nameBytes;
  std::unordered_map<std::string_view, std::uint32_t> byName;
  std::unordered_map<std::uint32_t, std::string> forwards;  // index -> forwarder text

  ModuleRecord() = default;
  // `byName` points into `nameBytes`, which a move keeps in place.
  ModuleRecord(ModuleRecord&&) = default;
  ModuleRecord& operator=(ModuleRecord&&) = default;
  ModuleRecord(const ModuleRecord&) = delete;
  ModuleRecord& operator=(const ModuleRecord&) = delete;
};

// The record of `image`, a PE image; its exports only when `withExports`.
ModuleRecord ReadModuleRecord(const MappedImage& image, bool withExports = true);
// Adds the exports of `image` to its record read without them.
void ReadModuleExports(const MappedImage& image, ModuleRecord& record);

}  // namespace corvane
