#pragma once

// Walkers over the export and import directories. They know nothing of the
// tree: each reports one item at a time to a callback, with two opaque caller
// values handed back unchanged. A callback returns true to go on, false to
// stop the walk at once. Texts handed out live only during the call (they
// point into the view or into the walker's own buffer).
//
// Malformed tables end quietly: a table that runs off the view ends there; an
// entry whose name lies outside every section, or whose NUL lies beyond the
// view, is skipped.

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mapped_image.h"
#include "pe_layout.h"
#include "scope_exit.h"

namespace corvane {

enum class ThunkWalk { kNoTable, kCompleted, kStopped };

// The thunk entries walked for one library. A walk reads consecutive
// entries, so what it read is one run of them, kept as its start and end
// rather than entry by entry: a table that runs on through the whole file
// costs one run, not an entry each.
class WalkedEntries {
 public:
  // Where a walk from `start` over entries `width` bytes wide first meets
  // an entry walked before: `start` itself when that was, none when no run
  // lies ahead of it.
  std::optional<std::uint64_t> FirstWalkedFrom(std::uint64_t start, std::uint64_t width) const;
  // Records a walk of the entries from `start` up to, not including, `end`.
  void Add(std::uint64_t start, std::uint64_t end, std::uint64_t width);

 private:
  // Only entries at the same offset are the same entry: runs are kept by
  // their start's remainder modulo the width, then by start, and runs of
  // one remainder never overlap (a walk stops where it meets one).
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> ends_;
};

// Walks the thunk table at `tableRva`: calls `visit(ordinal, name)` with the
// ordinal of an entry that imports by ordinal (name empty), else with the
// name its hint/name entry holds (ordinal empty), until the table's zero
// entry, the view's end, an empty name, or `visit` returns false. An entry
// whose name cannot be read is skipped. `addressBias` is subtracted from
// each hint/name address (tables that hold addresses rather than RVAs).
// `walked`, when given, holds the entries already walked for the same
// library, and gains those of this walk: a table that runs into one of them
// has nothing new to report, since everything from there on was reported
// already. That keeps descriptors that share or overlap tables linear.
template <class Visit>
ThunkWalk WalkThunks(const MappedImage& image, bool pe32Plus, std::uint32_t tableRva, std::uint64_t addressBias,
                     WalkedEntries* walked, Visit&& visit);

// An ordinal import's display text: "%6u (ordinal)".
std::string_view OrdinalText(std::uint16_t ordinal, char (&buffer)[24]);

using ExportProc = bool (*)(void* userA, void* userB, std::string_view name, std::int32_t nameOrdinal);
using LibraryProc = bool (*)(void* userA, void* userB, std::string_view libraryName);
using FunctionProc = bool (*)(void* userA, void* userB, std::string_view text);

// Every export that has a name, in name-table order, with its raw entry of
// the name-ordinal table (the directory's Base is not added). False when the
// image has no export directory.
bool EnumExports(const MappedImage& image, ExportProc proc, void* userA, void* userB);

// Every import descriptor's library name, in file order, duplicates included.
// False when the image has no import directory.
bool EnumImportedLibraries(const MappedImage& image, LibraryProc proc, void* userA, void* userB);

// The functions imported from `libraryName` (exact, case-sensitive match) as
// display texts: the name, or "%6u (ordinal)". When several descriptors bear
// the name, their tables are walked in file order, so the union of their
// imports is reported. False when the image has no import directory, no
// descriptor bears the name, or none of them has a thunk table.
bool EnumImportedFunctions(const MappedImage& image, std::string_view libraryName, FunctionProc proc, void* userA,
                           void* userB);

// The import descriptors of one image, indexed by name, so that a build that
// looks up every library once does not search the descriptor array once per
// library.
class ImportDirectory {
 public:
  explicit ImportDirectory(const MappedImage& image);

  bool Present() const { return present_; }
  bool Pe32Plus() const { return pe32Plus_; }

  struct Descriptor {
    std::string_view name;
    std::uint32_t thunkTable;  // OriginalFirstThunk, else FirstThunk; 0 for none
    std::int32_t nextSameName;  // index of the next descriptor with this name, or -1
  };
  // In file order, up to the first descriptor whose Name is 0; descriptors
  // whose name cannot be read are left out.
  const std::vector<Descriptor>& Descriptors() const { return descriptors_; }
  // Index of the first descriptor named `name`, or -1.
  std::int32_t FirstNamed(std::string_view name) const;
  const MappedImage& Image() const { return image_; }
  // True when the descriptors named the same bytes so often that indexing
  // stopped early (see the constructor); Descriptors() then holds those
  // read until then.
  bool Cut() const { return cut_; }

 private:
  const MappedImage& image_;
  bool present_ = false;
  bool pe32Plus_ = false;
  bool cut_ = false;
  std::vector<Descriptor> descriptors_;
  struct Chain {
    std::int32_t first;
    std::int32_t last;
  };
  std::unordered_map<std::string_view, Chain> chains_;
  // The chain of each name already seen at that address: a name read again
  // from the same place is not hashed again.
  std::unordered_map<const char*, Chain*> chainsByAddress_;
};

bool EnumImportedLibraries(const ImportDirectory& imports, LibraryProc proc, void* userA, void* userB);
bool EnumImportedFunctions(const ImportDirectory& imports, std::string_view libraryName, FunctionProc proc,
                           void* userA, void* userB);

template <class Visit>
ThunkWalk WalkThunks(const MappedImage& image, bool pe32Plus, std::uint32_t tableRva, std::uint64_t addressBias,
                     WalkedEntries* walked, Visit&& visit) {
  if (tableRva == 0) return ThunkWalk::kNoTable;
  const auto table = image.sections.RvaToOffset(tableRva);
  if (!table) return ThunkWalk::kCompleted;
  const std::uint64_t width = pe32Plus ? 8 : 4;
  const std::uint64_t ordinalFlag = pe32Plus ? 0x8000000000000000u : 0x80000000u;
  const std::optional<std::uint64_t> walkedFrom =
      walked != nullptr ? walked->FirstWalkedFrom(*table, width) : std::nullopt;
  std::size_t nameStretch = 0;
  std::uint64_t entryOffset = *table;
  // The entry the walk ends at ends any later walk that reaches it too.
  const ScopeExit recordWalk([&] {
    if (walked != nullptr && entryOffset != *table) walked->Add(*table, entryOffset, width);
  });
  for (;; entryOffset += width) {
    if (entryOffset == walkedFrom) return ThunkWalk::kCompleted;
    const std::optional<std::uint64_t> entry =
        pe32Plus ? image.base.Read<std::uint64_t>(entryOffset)
                 : std::optional<std::uint64_t>(image.base.Read<std::uint32_t>(entryOffset));
    if (!entry || *entry == 0) return ThunkWalk::kCompleted;
    if ((*entry & ordinalFlag) != 0) {
      if (!visit(std::optional<std::uint16_t>(static_cast<std::uint16_t>(*entry & 0xFFFF)), std::string_view())) {
        return ThunkWalk::kStopped;
      }
      continue;
    }
    const auto hintName = image.sections.RvaToOffset(static_cast<std::uint32_t>(*entry - addressBias), nameStretch);
    if (!hintName) continue;
    const auto name = image.strings.At(*hintName + pe::kHintSize);
    if (!name) continue;
    if (name->empty()) return ThunkWalk::kCompleted;
    if (!visit(std::optional<std::uint16_t>(), *name)) return ThunkWalk::kStopped;
  }
}

}  // namespace corvane
