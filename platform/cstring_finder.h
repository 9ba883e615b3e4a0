#pragma once

// Finds the NUL-terminated strings of one view, many times over, in time
// that grows with the view's size rather than with the product of the
// number of lookups and the length scanned by each. A file can point a
// hundred thousand names at the start of one megabyte-long run of bytes;
// scanning that run once per name would take minutes.

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "byte_view.h"

namespace corvane {

class CStringFinder {
 public:
  CStringFinder() = default;
  explicit CStringFinder(ByteView view) : view_(view) {}

  // The same result as view.CString(offset).
  std::optional<std::string_view> At(std::uint64_t offset);

 private:
  // Real names are short: a lookup scans this far on its own and remembers
  // nothing. Only longer scans are remembered, so that no byte is scanned
  // twice by them.
  static constexpr std::uint64_t kShortScan = 256;

  std::optional<std::string_view> StringEndingAt(std::uint64_t offset, std::uint64_t end) const;

  ByteView view_;
  // Scanned runs: start -> position of the NUL that ends every string
  // starting in [start, that position], or the view's size when none does.
  std::map<std::uint64_t, std::uint64_t> runs_;
};

}  // namespace corvane
