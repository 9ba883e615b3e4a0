// Real files cut short: the reader must treat every prefix as a file of its
// own, read nothing past its end, and report only what the prefix still
// holds. Real linkers lay files out in ways the PE writer does not (tables
// packed into one section, names after the thunks, debug sections at the
// end), which is why these run on real files too.

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "image_hlp.h"
#include "node_kinds.h"
#include "pe_layout.h"
#include "real_files.h"
#include "temp_files.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane::testing {
namespace {

// Where a cut can change what the reader sees, every length is tried; in
// between, a stride. A cut changes something only where the reader reads:
// the headers and section table, and the sections that hold the export,
// import and resource directories, where real linkers keep every table,
// name and thunk the walkers follow. Cutting inside code, data or debug
// sections that nothing points into only moves the end of the file, and a
// few hundred such cuts per file show that as well as a hundred thousand.
constexpr std::size_t kDenseLimit = 2048;  // per stretch, to bound the time under the sanitizers
constexpr std::size_t kStrideCuts = 256;

struct Stretch {
  std::size_t begin;
  std::size_t end;
};

// The file stretch of the section whose raw data holds `offset`, or the
// stretch from there when none does.
Stretch SectionAround(ByteView view, std::uint32_t ntHeaders, std::uint64_t offset) {
  const std::uint16_t count = view.Read<std::uint16_t>(ntHeaders + pe::kNumberOfSections).value_or(0);
  const std::uint64_t table =
      ntHeaders + pe::kOptionalHeaderOffset + view.Read<std::uint16_t>(ntHeaders + pe::kSizeOfOptionalHeader).value_or(0);
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::uint64_t header = table + std::uint64_t{index} * pe::kSectionHeaderSize;
    const auto rawSize = view.Read<std::uint32_t>(header + pe::kSectionSizeOfRawData);
    const auto rawPointer = view.Read<std::uint32_t>(header + pe::kSectionPointerToRawData);
    if (!rawSize || !rawPointer) break;
    if (offset >= *rawPointer && offset - *rawPointer < *rawSize) {
      return {*rawPointer, std::uint64_t{*rawPointer} + *rawSize};
    }
  }
  return {static_cast<std::size_t>(offset), static_cast<std::size_t>(offset) + kDenseLimit};
}

std::vector<std::size_t> CutLengths(ByteView file) {
  std::vector<Stretch> dense{{0, 1024}};
  const auto ntHeaders = ImageNtHeader(file);
  if (ntHeaders) {
    const auto optionalHeader = *ntHeaders + std::uint64_t{pe::kOptionalHeaderOffset};
    dense.push_back({0, file.Read<std::uint32_t>(optionalHeader + pe::kSizeOfHeaders).value_or(0)});
    for (std::uint16_t index : {pe::kDirectoryExport, pe::kDirectoryImport, pe::kDirectoryResource}) {
      if (const auto offset = ImageDirectoryEntryToData(file, false, index, nullptr)) {
        dense.push_back(SectionAround(file, *ntHeaders, *offset));
      }
    }
  }
  std::set<std::size_t> lengths;
  for (const Stretch& stretch : dense) {
    const std::size_t end = std::min({stretch.end + 1, stretch.begin + kDenseLimit, file.Size() + 1});
    for (std::size_t length = stretch.begin; length < end; ++length) lengths.insert(length);
  }
  const std::size_t stride = std::max<std::size_t>(1, file.Size() / kStrideCuts);
  for (std::size_t length = 0; length <= file.Size(); length += stride) lengths.insert(length);
  lengths.insert(file.Size());
  return {lengths.begin(), lengths.end()};
}

class RealFileTest : public ::testing::TestWithParam<RealFile> {
 protected:
  void SetUp() override { bytes_ = ReadWholeFile(GetParam().path); }
  std::vector<std::uint8_t> bytes_;
};

TEST_P(RealFileTest, TheWholeFileReportsExportsOrImportsWithoutBreakingARule) {
  TruncatableCopy copy(bytes_);
  const probe::ImageProbe whole = probe::ProbeImage(copy.Prefix(copy.Size()));
  EXPECT_TRUE(whole.violations.empty()) << whole.violations.front();
  ASSERT_TRUE(whole.pe);
  EXPECT_FALSE(whole.exports.empty() && whole.libraries.empty()) << "a real file that shows nothing proves nothing";
}

TEST_P(RealFileTest, EveryPrefixReportsOnlyWhatTheWholeFileReports) {
  TruncatableCopy copy(bytes_);
  const probe::ImageProbe whole = probe::ProbeImage(copy.Prefix(copy.Size()));
  const std::uint32_t peSignatureEnd = static_cast<std::uint32_t>(bytes_[0x3C] | bytes_[0x3D] << 8) + 4;
  probe::ImageProbe previous;
  for (const std::size_t length : CutLengths(copy.Prefix(copy.Size()))) {
    const probe::ImageProbe cut = probe::ProbeImage(copy.Prefix(length));
    ASSERT_TRUE(cut.violations.empty()) << "length " << length << ": " << cut.violations.front();
    ASSERT_EQ(cut.pe, length >= peSignatureEnd) << "length " << length;
    const std::string lost = NotWithin(previous, cut);
    ASSERT_EQ(lost, "") << "from one cut to the next, at length " << length << "\n"
                        << probe::Describe(previous) << "---\n"
                        << probe::Describe(cut);
    ASSERT_EQ(NotWithin(cut, whole), "") << "length " << length;
    previous = cut;
  }
  EXPECT_EQ(probe::Describe(previous), probe::Describe(whole));
}

// The window's logic on the same cuts, through a real file on disk: the tree
// shows the exports, libraries and functions the reader reports, however the
// file ends.
std::set<std::string> TreeTexts(const TTreeNode* root) {
  std::set<std::string> texts;
  for (TTreeNode* child = root->getFirstChild(); child != nullptr; child = root->GetNextChild(child)) {
    if (child->ImageIndex() == kIconExports) {
      for (TTreeNode* e = child->getFirstChild(); e != nullptr; e = child->GetNextChild(e)) {
        texts.insert("export " + e->Text().toStdString());
      }
    } else if (child->ImageIndex() == kIconLibrary) {
      texts.insert("library " + child->Text().toStdString());
      for (TTreeNode* f = child->getFirstChild(); f != nullptr; f = child->GetNextChild(f)) {
        texts.insert(child->Text().toStdString() + ": " + f->Text().toStdString());
      }
    }
  }
  return texts;
}

std::set<std::string> ProbeTexts(const probe::ImageProbe& probe) {
  std::set<std::string> texts;
  for (const std::string& name : probe.exports) texts.insert("export " + name);
  for (const probe::ImportedLibrary& library : probe.libraries) {
    texts.insert("library " + library.name);
    for (const std::string& function : library.functions) texts.insert(library.name + ": " + function);
  }
  return texts;
}

TEST_P(RealFileTest, TheTreeOfEveryStridedPrefixShowsWhatTheReaderReports) {
  const TempDir dir;
  TruncatableCopy copy(bytes_);
  const std::size_t stride = std::max<std::size_t>(1, bytes_.size() / 64);
  for (std::size_t length = 0; length <= bytes_.size(); length += stride) {
    const probe::ImageProbe cut = probe::ProbeImage(copy.Prefix(length));
    const std::string path = dir.Write("cut.dll", std::span(bytes_).first(length));
    TestViewer viewer;
    viewer.core.ProcessFile(nullptr, path);
    const auto& errors = viewer.shell.errors;
    if (!cut.pe) {
      ASSERT_EQ(errors.size(), 1u) << "length " << length;
      EXPECT_TRUE(errors[0].text == kMessageNotPe || (length == 0 && errors[0].text == kMessageCannotMap))
          << "length " << length << ": " << errors[0].text.toStdString();
      continue;
    }
    ASSERT_TRUE(errors.empty()) << "length " << length;
    ASSERT_NE(viewer.core.Items().GetFirstNode(), nullptr);
    EXPECT_EQ(TreeTexts(viewer.core.Items().GetFirstNode()), ProbeTexts(cut)) << "length " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, RealFileTest, ::testing::ValuesIn(kRealFiles),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvane::testing
