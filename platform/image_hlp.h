#pragma once

// The three image-helper operations the reader rests on, over a file mapped
// as flat data. "Address in the view" is expressed as an offset from the
// view's first byte; the result may lie beyond the view (a section's raw
// pointer is only a number in the file), so whoever reads there goes through
// ByteView, which checks it.

#include <cstdint>
#include <optional>
#include <vector>

#include "byte_view.h"

namespace corvane {

// Offset of the NT headers (the value of e_lfanew) when the view starts with
// "MZ" and holds "PE\0\0" at that offset; nothing otherwise.
std::optional<std::uint32_t> ImageNtHeader(ByteView view);

// Offset of the byte at `rva`: found in the first section of the section
// table whose [VirtualAddress, VirtualAddress + SizeOfRawData) holds it;
// nothing when no section does. Section headers outside the view end the
// search.
std::optional<std::uint64_t> ImageRvaToVa(ByteView view, std::uint32_t ntHeaders, std::uint32_t rva);

// Data directory `index` as the optional header lists it: its RVA and size.
// Nothing when the view is not a PE image, the optional header's magic is
// neither PE32 nor PE32+, `index` is not below NumberOfRvaAndSizes or the
// entry lies outside the view.
struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};
std::optional<DataDirectory> ImageDataDirectory(ByteView view, std::uint16_t index);

// Offset of data directory `index`, with its size stored in `size` when it is
// given. Nothing when the view is not a PE image, the optional header's magic
// is neither PE32 nor PE32+, `index` is not below NumberOfRvaAndSizes, the
// directory entry lies outside the view, or its VirtualAddress is 0. An RVA
// below SizeOfHeaders is an offset as it stands. `mappedAsImage` tells that the
// view is laid out as a loaded image, where every RVA is an offset.
std::optional<std::uint64_t> ImageDirectoryEntryToData(ByteView view, bool mappedAsImage, std::uint16_t index,
                                                       std::uint32_t* size);

// The same translation as ImageRvaToVa, precomputed once per image so that a
// lookup costs a binary search instead of a walk of the section table. The
// walkers translate every name through it; an image may declare 65,535
// sections, which a linear walk per name would turn into minutes.
class SectionMap {
 public:
  SectionMap() = default;
  SectionMap(ByteView view, std::uint32_t ntHeaders);

  std::optional<std::uint64_t> RvaToOffset(std::uint32_t rva) const;
  // The same, asking first the stretch `hint` holds the place of, and
  // leaving there the place of the one that answered: a walker translating
  // name after name from one section rarely searches at all. Any value is
  // a valid hint.
  std::optional<std::uint64_t> RvaToOffset(std::uint32_t rva, std::size_t& hint) const;

 private:
  // A stretch of RVAs in which one section (the first in table order that
  // covers it) decides the translation.
  struct Stretch {
    std::uint64_t begin;  // RVA, inclusive
    std::uint64_t end;    // RVA, exclusive
    std::uint64_t sectionVirtualAddress;
    std::uint64_t sectionPointerToRawData;
  };
  std::vector<Stretch> stretches_;
};

}  // namespace corvane
