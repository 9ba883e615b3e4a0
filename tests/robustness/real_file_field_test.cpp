// Real files with one field changed at a time: every 32-bit word of the
// headers, the section table and the start of each directory set to values
// that mean nothing, everything, or somewhere past the end. Whatever a
// field holds, the reader reads inside the file and keeps its rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "image_hlp.h"
#include "pe_layout.h"
#include "real_files.h"

namespace corvane::testing {
namespace {

// The first bytes of each directory hold its counts, table addresses and
// first entries; deeper entries are read by the same code.
constexpr std::size_t kDirectoryBytes = 128;

std::vector<std::size_t> FieldOffsets(ByteView file) {
  std::set<std::size_t> offsets{pe::kDosNewHeaderOffset};
  const auto ntHeaders = ImageNtHeader(file);
  if (!ntHeaders) return {offsets.begin(), offsets.end()};
  const std::uint16_t sections = file.Read<std::uint16_t>(*ntHeaders + pe::kNumberOfSections).value_or(0);
  const std::size_t tableEnd = *ntHeaders + pe::kOptionalHeaderOffset +
                               file.Read<std::uint16_t>(*ntHeaders + pe::kSizeOfOptionalHeader).value_or(0) +
                               std::size_t{sections} * pe::kSectionHeaderSize;
  for (std::size_t at = *ntHeaders; at + 4 <= std::min(tableEnd, file.Size()); at += 4) offsets.insert(at);
  for (std::uint16_t index : {pe::kDirectoryExport, pe::kDirectoryImport, pe::kDirectoryResource}) {
    const auto directory = ImageDirectoryEntryToData(file, false, index, nullptr);
    if (!directory) continue;
    for (std::size_t at = *directory; at < *directory + kDirectoryBytes && at + 4 <= file.Size(); at += 4) {
      offsets.insert(at);
    }
  }
  return {offsets.begin(), offsets.end()};
}

class RealFileFieldTest : public ::testing::TestWithParam<RealFile> {};

TEST_P(RealFileFieldTest, EveryHeaderAndDirectoryWordIsReadSafelyWhateverItHolds) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(GetParam().path);
  TruncatableCopy copy(bytes);
  const auto size = static_cast<std::uint32_t>(bytes.size());
  const std::uint32_t values[] = {0, 0xFFFFFFFF, 0x80000000, size, size - 1};
  const std::vector<std::size_t> fields = FieldOffsets(copy.Prefix(bytes.size()));
  ASSERT_GT(fields.size(), 100u);
  for (const std::size_t at : fields) {
    for (const std::uint32_t value : values) {
      const std::uint32_t old = copy.Exchange32(at, value);
      const probe::ImageProbe probe = probe::ProbeImage(copy.Prefix(bytes.size()));
      copy.Exchange32(at, old);
      ASSERT_TRUE(probe.violations.empty()) << "word at " << at << " = " << value << ": " << probe.violations.front();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, RealFileFieldTest, ::testing::ValuesIn(kRealFiles),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvane::testing
