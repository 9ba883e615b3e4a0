// The probe that the fuzzer and the tests above rely on reads what the tree
// build reads: if it walked some other path, a clean fuzzing run would prove
// nothing about the viewer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_probe.h"
#include "pe_writer.h"
#include "real_files.h"

namespace corvane::testing {
namespace {

probe::ImageProbe ProbeBytes(const std::vector<std::uint8_t>& bytes) {
  TruncatableCopy copy(bytes);
  return probe::ProbeImage(copy.Prefix(bytes.size()));
}

TEST(ImageProbe, ReportsStatsVersionExportsAndEachLibraryOnceWithTheUnionOfItsFunctions) {
  const FixedFileInfo version{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004, .fileFlagsMask = 0x3,
                              .fileFlags = 0x22};
  const struct {
    Layout layout;
    const char* stats;
  } layouts[] = {{Layout::Pe32, "base 10000000 code 512 data 1536\n"},
                 {Layout::Pe32Plus, "base 180000000 code 512 data 1536\n"}};
  for (const auto& [layout, stats] : layouts) {
    const probe::ImageProbe probe = ProbeBytes(PeWriter(layout)
                                                   .ImageBase(layout == Layout::Pe32 ? 0x10000000 : 0x180000000)
                                                   .Export("beta", 2)
                                                   .Export("alpha", 0)
                                                   .Import("K.dll", {ByName("Sleep"), ByOrdinal(17)})
                                                   .Import("U.dll", {ByName("Box")}, ThunkTables::FirstThunkOnly)
                                                   .Import("K.dll", {ByName("Exit"), ByName("Sleep")})
                                                   .Version(version)
                                                   .Build()
                                                   .bytes);
    EXPECT_TRUE(probe.violations.empty());
    EXPECT_EQ(probe::Describe(probe), std::string(stats) +
                                          "version 10002.30004 product 0.0 flags 2 type 2\n"
                                          "exports: beta (2) alpha (0)\n"
                                          "imports:\n"
                                          "  K.dll: [Sleep] [    17 (ordinal)] [Exit]\n"
                                          "  U.dll: [Box]\n");
  }
}

TEST(ImageProbe, FindsNothingAndBreaksNoRuleInBytesThatAreNoPeImage) {
  const std::vector<std::vector<std::uint8_t>> inputs{
      {}, {'M'}, {'M', 'Z'}, std::vector<std::uint8_t>(64, 0xFF), std::vector<std::uint8_t>(4096, 0)};
  for (const auto& bytes : inputs) {
    const probe::ImageProbe probe = ProbeBytes(bytes);
    EXPECT_TRUE(probe.violations.empty()) << bytes.size();
    EXPECT_EQ(probe::Describe(probe), "not PE\n") << bytes.size();
  }
}

}  // namespace
}  // namespace corvane::testing
