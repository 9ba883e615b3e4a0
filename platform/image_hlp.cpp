#include "image_hlp.h"

#include <algorithm>
#include <queue>

#include "pe_layout.h"

namespace corvane {
namespace {

struct SectionHeader {
  std::uint64_t virtualAddress;
  std::uint64_t sizeOfRawData;
  std::uint64_t pointerToRawData;
};

// Calls `visit(header)` for each section header inside the view, in table
// order, until `visit` returns false or a header leaves the view.
template <typename Visit>
void ForEachSection(ByteView view, std::uint32_t ntHeaders, Visit visit) {
  const auto count = view.Read<std::uint16_t>(std::uint64_t{ntHeaders} + pe::kNumberOfSections);
  const auto optionalSize = view.Read<std::uint16_t>(std::uint64_t{ntHeaders} + pe::kSizeOfOptionalHeader);
  if (!count || !optionalSize) return;
  const std::uint64_t table = std::uint64_t{ntHeaders} + pe::kOptionalHeaderOffset + *optionalSize;
  for (std::uint64_t i = 0; i < *count; ++i) {
    const std::uint64_t header = table + i * pe::kSectionHeaderSize;
    if (!view.Contains(header, pe::kSectionHeaderSize)) return;
    const SectionHeader section{*view.Read<std::uint32_t>(header + pe::kSectionVirtualAddress),
                                *view.Read<std::uint32_t>(header + pe::kSectionSizeOfRawData),
                                *view.Read<std::uint32_t>(header + pe::kSectionPointerToRawData)};
    if (!visit(section)) return;
  }
}

}  // namespace

std::optional<std::uint32_t> ImageNtHeader(ByteView view) {
  if (view.Read<std::uint16_t>(0) != pe::kDosSignature) return std::nullopt;
  const auto newHeader = view.Read<std::uint32_t>(pe::kDosNewHeaderOffset);
  if (!newHeader || view.Read<std::uint32_t>(*newHeader) != pe::kNtSignature) return std::nullopt;
  return newHeader;
}

std::optional<std::uint64_t> ImageRvaToVa(ByteView view, std::uint32_t ntHeaders, std::uint32_t rva) {
  std::optional<std::uint64_t> offset;
  ForEachSection(view, ntHeaders, [&](const SectionHeader& section) {
    if (rva < section.virtualAddress || rva - section.virtualAddress >= section.sizeOfRawData) return true;
    offset = rva - section.virtualAddress + section.pointerToRawData;
    return false;
  });
  return offset;
}

std::optional<DataDirectory> ImageDataDirectory(ByteView view, std::uint16_t index) {
  const auto ntHeaders = ImageNtHeader(view);
  if (!ntHeaders) return std::nullopt;
  const std::uint64_t optional = std::uint64_t{*ntHeaders} + pe::kOptionalHeaderOffset;
  std::uint64_t countField = 0;
  std::uint64_t directories = 0;
  const auto magic = view.Read<std::uint16_t>(optional + pe::kMagic);
  if (magic == pe::kMagicPe32) {
    countField = optional + pe::kNumberOfRvaAndSizesPe32;
    directories = optional + pe::kDataDirectoriesPe32;
  } else if (magic == pe::kMagicPe32Plus) {
    countField = optional + pe::kNumberOfRvaAndSizesPe32Plus;
    directories = optional + pe::kDataDirectoriesPe32Plus;
  } else {
    return std::nullopt;
  }
  const auto count = view.Read<std::uint32_t>(countField);
  if (!count || index >= *count) return std::nullopt;
  const std::uint64_t entry = directories + std::uint64_t{index} * pe::kDataDirectorySize;
  const auto rva = view.Read<std::uint32_t>(entry);
  const auto size = view.Read<std::uint32_t>(entry + 4);
  if (!rva || !size) return std::nullopt;
  return DataDirectory{*rva, *size};
}

std::optional<std::uint64_t> ImageDirectoryEntryToData(ByteView view, bool mappedAsImage, std::uint16_t index,
                                                       std::uint32_t* size) {
  const auto directory = ImageDataDirectory(view, index);
  if (!directory || directory->rva == 0) return std::nullopt;
  const std::uint32_t ntHeaders = *ImageNtHeader(view);
  const std::uint64_t optional = std::uint64_t{ntHeaders} + pe::kOptionalHeaderOffset;
  std::optional<std::uint64_t> offset;
  const auto sizeOfHeaders = view.Read<std::uint32_t>(optional + pe::kSizeOfHeaders);
  if (mappedAsImage || (sizeOfHeaders && directory->rva < *sizeOfHeaders)) {
    offset = directory->rva;
  } else {
    offset = ImageRvaToVa(view, ntHeaders, directory->rva);
  }
  if (offset && size != nullptr) *size = directory->size;
  return offset;
}

SectionMap::SectionMap(ByteView view, std::uint32_t ntHeaders) {
  struct Interval {
    std::uint64_t begin;
    std::uint64_t end;
    std::uint32_t index;
    SectionHeader header;
  };
  std::vector<Interval> intervals;
  std::uint32_t index = 0;
  ForEachSection(view, ntHeaders, [&](const SectionHeader& section) {
    if (section.sizeOfRawData != 0) {
      intervals.push_back({section.virtualAddress, section.virtualAddress + section.sizeOfRawData, index, section});
    }
    ++index;
    return true;
  });
  if (intervals.empty()) return;

  std::vector<std::uint64_t> bounds;
  bounds.reserve(intervals.size() * 2);
  for (const Interval& interval : intervals) {
    bounds.push_back(interval.begin);
    bounds.push_back(interval.end);
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  std::sort(intervals.begin(), intervals.end(),
            [](const Interval& a, const Interval& b) { return a.begin < b.begin; });

  // Sweep the boundaries keeping the covering sections in a heap ordered by
  // table index: the earliest section that still covers a stretch wins it,
  // exactly as the linear search of the table would.
  auto laterInTable = [](const Interval* a, const Interval* b) { return a->index > b->index; };
  std::priority_queue<const Interval*, std::vector<const Interval*>, decltype(laterInTable)> covering(laterInTable);
  std::size_t next = 0;
  for (std::size_t b = 0; b + 1 < bounds.size(); ++b) {
    const std::uint64_t begin = bounds[b];
    while (next < intervals.size() && intervals[next].begin == begin) covering.push(&intervals[next++]);
    while (!covering.empty() && covering.top()->end <= begin) covering.pop();
    if (covering.empty()) continue;
    const SectionHeader& winner = covering.top()->header;
    const std::uint64_t end = bounds[b + 1];
    if (!stretches_.empty() && stretches_.back().end == begin &&
        stretches_.back().sectionVirtualAddress == winner.virtualAddress &&
        stretches_.back().sectionPointerToRawData == winner.pointerToRawData) {
      stretches_.back().end = end;
    } else {
      stretches_.push_back({begin, end, winner.virtualAddress, winner.pointerToRawData});
    }
  }
}

std::optional<std::uint64_t> SectionMap::RvaToOffset(std::uint32_t rva) const {
  std::size_t hint = stretches_.size();
  return RvaToOffset(rva, hint);
}

std::optional<std::uint64_t> SectionMap::RvaToOffset(std::uint32_t rva, std::size_t& hint) const {
  const auto translate = [rva](const Stretch& stretch) -> std::uint64_t {
    return rva - stretch.sectionVirtualAddress + stretch.sectionPointerToRawData;
  };
  if (hint < stretches_.size() && rva >= stretches_[hint].begin && rva < stretches_[hint].end) {
    return translate(stretches_[hint]);
  }
  auto after = std::upper_bound(stretches_.begin(), stretches_.end(), std::uint64_t{rva},
                                [](std::uint64_t value, const Stretch& stretch) { return value < stretch.begin; });
  if (after == stretches_.begin()) return std::nullopt;
  const Stretch& stretch = *std::prev(after);
  if (rva >= stretch.end) return std::nullopt;
  hint = static_cast<std::size_t>(std::prev(after) - stretches_.begin());
  return translate(stretch);
}

}  // namespace corvane
