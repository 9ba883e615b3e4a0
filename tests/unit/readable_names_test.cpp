// The bounds around the demangler: names shaped to run it out of stack,
// time or memory stay as they are, and names just inside the bounds decode.

#include <gtest/gtest.h>

#include <string>

#include "hostile_names.h"
#include "readable_names.h"

namespace corvane {
namespace {

TEST(ReadableNames, HostileNamesStayRawAndNamesJustInsideTheBoundsDecode) {
  using testing::ItaniumDoubling;
  using testing::MicrosoftFanOut;
  const struct {
    const char* what;
    std::string raw;
    bool decodes;
  } kCases[] = {
      {"Itanium nested as deep as allowed", testing::ItaniumNested(kMaxDecoratedNesting - 2), true},
      {"Itanium nested past the bound", testing::ItaniumNested(kMaxDecoratedNesting), false},
      {"pointers past the bound", "_Z1f" + std::string(kMaxDecoratedNesting + 1, 'P') + "i", false},
      // Parsed 2,000 levels deep, then refused for what it would print.
      {"an expression nested once per two characters up to the length bound",
       "_Z1fIX" + testing::Repeated("ng", (kMaxDecoratedLength - 16) / 2) + "Li1EEEvv", false},
      {"an expression nested 900 deep", "_Z1fIX" + testing::Repeated("ng", 900) + "Li1EEEvv", true},
      {"one character past the length bound", "_ZN" + testing::Repeated("1a", kMaxDecoratedLength / 2) + "E", false},
      {"Itanium doubling to 2 KB", ItaniumDoubling(8), true},
      {"Itanium doubling past 64 KB", ItaniumDoubling(14), false},
      {"Itanium doubling to terabytes", ItaniumDoubling(40), false},
      {"Microsoft templates repeating their inner template", MicrosoftFanOut(3), true},
      {"Microsoft templates repeating their inner template past the bound", MicrosoftFanOut(6), false},
      {"Rust back-references past the bound", "_RNv" + testing::Repeated("B0_", 14) + "C1a", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(UndecoratedName(c.raw).has_value(), c.decodes) << c.what;
    EXPECT_EQ(ShownName(c.raw) == c.raw, !c.decodes) << c.what;
  }
}

}  // namespace
}  // namespace corvane
