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
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mapped_image.h"

namespace corvane {

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

}  // namespace corvane
