#include "cstring_finder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

ByteView ViewOf(const std::vector<std::byte>& bytes) { return ByteView(bytes.data(), bytes.size()); }

TEST(CStringFinder, FindsWhatTheViewsOwnScanFindsForEveryOffsetInAnyOrder) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    // Long runs without NUL, as a hostile file has them, between short names.
    std::vector<std::byte> bytes(4000 + random() % 4000);
    for (auto& byte : bytes) byte = std::byte{static_cast<unsigned char>('a' + random() % 26)};
    for (int nul = 0; nul < 6; ++nul) bytes[random() % bytes.size()] = std::byte{0};
    const ByteView view = ViewOf(bytes);
    CStringFinder finder(view);
    for (int lookup = 0; lookup < 3000; ++lookup) {
      const std::uint64_t offset = random() % (bytes.size() + 10);
      ASSERT_EQ(finder.At(offset), view.CString(offset)) << "round " << round << " offset " << offset;
    }
  }
}

}  // namespace
}  // namespace corvane
