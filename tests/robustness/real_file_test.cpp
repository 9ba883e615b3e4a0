// Real files cut short or with one header word changed, opened as the viewer
// opens them. Real linkers lay files out in ways the PE writer does not
// (tables packed into one section, names after the thunks, debug sections
// at the end), which is why these run on real files. Whatever the bytes,
// the build reads only inside them and keeps its rules, and a prefix shows
// nothing the whole file does not.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "image_hlp.h"
#include "open_in_memory.h"
#include "pe_writer.h"
#include "viewer_core.h"

namespace corvane::testing {
namespace {

struct RealFile {
  const char* name;  // test-name friendly
  const char* path;
};

// The bundled sample (a program and the DLL it imports, both with version
// resources, one import by ordinal) and one small DLL of each mingw-w64
// runtime, i686 and x86-64: PE32 and PE32+ as a real linker lays them out.
constexpr RealFile kRealFiles[] = {
    {"SampleProgram", CORVANE_SAMPLE_EXE},
    {"SampleLibrary", CORVANE_SAMPLE_DLL},
    {"MingwI686Library", CORVANE_MINGW_I686_DLL},
    {"MingwX8664Library", CORVANE_MINGW_X86_64_DLL},
};

// The headers, section table and the first entries of the export, import
// and resource directories: where a cut or a changed word changes what the
// build reads. Deeper entries are read by the same code.
constexpr std::size_t kDenseCuts = 2048;      // from the start and from each directory
constexpr std::size_t kHeaderWords = 1024;    // bytes from the NT headers
constexpr std::size_t kDirectoryWords = 128;  // bytes from each directory

std::vector<std::size_t> DirectoryOffsets(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::size_t> offsets;
  const ByteView view(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
  for (const std::uint16_t index : {kExportDirectory, kImportDirectory, kResourceDirectory}) {
    if (const auto offset = ImageDirectoryEntryToData(view, false, index, nullptr)) offsets.push_back(*offset);
  }
  return offsets;
}

class RealFileTest : public ::testing::TestWithParam<RealFile> {
 protected:
  void SetUp() override {
    std::ifstream in(GetParam().path, std::ios::binary);
    ASSERT_TRUE(in) << GetParam().path;
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ntHeaders_ = bytes_.at(kELfanewField) | bytes_.at(kELfanewField + 1) << 8;
  }
  std::vector<std::uint8_t> bytes_;
  std::size_t ntHeaders_ = 0;
};

// Every length through the headers and the first stretch of each directory,
// where real linkers keep the tables, names and thunks the walkers follow,
// and a few hundred lengths in between: cutting where nothing points only
// moves the end of the file.
TEST_P(RealFileTest, EveryPrefixShowsOnlyWhatTheWholeFileShows) {
  const OpenedImage whole = OpenInMemory(bytes_);
  ASSERT_EQ(whole.violations, std::vector<std::string>());
  ASSERT_EQ(whole.message, "");
  ASSERT_GT(whole.branches.size(), 1u) << "a real file that shows nothing proves nothing";
  std::set<std::size_t> lengths{bytes_.size()};
  const std::size_t stride = std::max<std::size_t>(1, bytes_.size() / 256);
  for (std::size_t length = 0; length < bytes_.size(); length += stride) lengths.insert(length);
  std::vector<std::size_t> dense = DirectoryOffsets(bytes_);
  dense.push_back(0);
  for (const std::size_t start : dense) {
    for (std::size_t length = start; length < std::min(start + kDenseCuts, bytes_.size()); ++length) {
      lengths.insert(length);
    }
  }
  OpenedImage previous = OpenInMemory({});
  for (const std::size_t length : lengths) {
    const OpenedImage cut = OpenInMemory(std::span(bytes_).first(length));
    ASSERT_EQ(cut.violations, std::vector<std::string>()) << "length " << length;
    ASSERT_EQ(cut.message == kMessageNotPe, length < ntHeaders_ + 4) << "length " << length;
    ASSERT_EQ(NotWithin(previous, cut), "") << "from one cut to the next, at length " << length;
    ASSERT_EQ(NotWithin(cut, whole), "") << "length " << length;
    previous = cut;
  }
  EXPECT_EQ(Describe(previous), Describe(whole));
}

TEST_P(RealFileTest, EveryHeaderAndDirectoryWordIsReadSafelyWhateverItHolds) {
  std::set<std::size_t> fields{kELfanewField};
  for (std::size_t at = ntHeaders_; at < ntHeaders_ + kHeaderWords; at += 4) fields.insert(at);
  for (const std::size_t directory : DirectoryOffsets(bytes_)) {
    for (std::size_t at = directory; at < directory + kDirectoryWords; at += 4) fields.insert(at);
  }
  const auto size = static_cast<std::uint32_t>(bytes_.size());
  for (const std::size_t at : fields) {
    if (at + 4 > bytes_.size()) continue;
    for (const std::uint32_t value : {0u, 0xFFFFFFFFu, 0x80000000u, size, size - 1}) {
      std::vector<std::uint8_t> changed = bytes_;
      for (std::size_t i = 0; i < 4; ++i) changed[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
      ASSERT_EQ(OpenInMemory(changed).violations, std::vector<std::string>()) << "word at " << at << " = " << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, RealFileTest, ::testing::ValuesIn(kRealFiles),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvane::testing
