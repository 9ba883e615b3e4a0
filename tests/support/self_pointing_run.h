#pragma once

// A hostile shape for the benchmarks, the fuzzer's seeds and the tests.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "pe_writer.h"

namespace corvane::testing {

// About `bytes` of a file whose tables all point one word on: in its one data
// section, which starts at `sectionRva` (at least 0x10000, a multiple of
// 0x1000), the word at RVA x holds x + 4, and the import directory starts
// at the section. Every 20 bytes read as a descriptor with a name of a few
// bytes, every descriptor's table runs on to the section's end, and every
// thunk names one byte after a hint: the third byte of an RVA, an 8-bit one
// from 0x800000 on. The most reading the fewest bytes can ask for, unless
// `descriptors` is given: the descriptor after that many then has no name,
// which ends the directory.
inline BuiltImage SelfPointingRunImage(std::size_t bytes, std::uint32_t sectionRva, Layout layout = Layout::Pe32,
                                       std::optional<std::uint32_t> descriptors = std::nullopt) {
  constexpr std::size_t kHeadersAndCode = 0x1000;
  PeWriter writer(layout);
  writer.SizeOfCode(0x1000).DataSection(".run", std::vector<std::uint8_t>(bytes - std::min(bytes, kHeadersAndCode)));
  BuiltImage image = writer.Build();
  const std::size_t header = image.SectionHeader(1);
  const std::uint32_t sectionSize = image.Read<std::uint32_t>(header + kSectionVirtualSizeField);
  const std::size_t sectionOffset = image.Read<std::uint32_t>(header + kSectionRawPointerField);
  image.Patch32(header + kSectionRvaField, sectionRva);
  for (std::uint32_t at = 0; at + 4 <= sectionSize; at += 4) image.Patch32(sectionOffset + at, sectionRva + at + 4);
  const std::size_t importDirectory = image.DataDirectory(kImportDirectory);
  image.Patch32(importDirectory, sectionRva);
  image.Patch32(importDirectory + kDirectorySizeField, sectionSize);
  if (descriptors) image.Patch32(sectionOffset + *descriptors * kImportDescriptorSize + kImportNameField, 0);
  return image;
}

}  // namespace corvane::testing
