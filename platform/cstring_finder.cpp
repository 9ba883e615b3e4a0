#include "cstring_finder.h"

#include <algorithm>
#include <cstring>

namespace corvane {

std::optional<std::string_view> CStringFinder::StringEndingAt(std::uint64_t offset, std::uint64_t end) const {
  if (end >= view_.Size()) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(view_.Data() + offset), static_cast<std::size_t>(end - offset));
}

std::optional<std::string_view> CStringFinder::At(std::uint64_t offset) {
  const std::uint64_t size = view_.Size();
  if (offset >= size) return std::nullopt;
  const std::uint64_t window = std::min(kShortScan, size - offset);
  if (const void* nul = std::memchr(view_.Data() + offset, 0, static_cast<std::size_t>(window))) {
    return StringEndingAt(offset, static_cast<std::uint64_t>(static_cast<const std::byte*>(nul) - view_.Data()));
  }

  auto next = runs_.upper_bound(offset);
  if (next != runs_.begin()) {
    const auto previous = std::prev(next);
    if (offset <= previous->second) return StringEndingAt(offset, previous->second);
  }
  // Scan what no earlier long lookup has; reaching a scanned run means its
  // end is this string's end too.
  const std::uint64_t from = offset + window;
  const std::uint64_t limit = next != runs_.end() ? next->first : size;
  std::uint64_t end = size;
  const void* nul = from < limit ? std::memchr(view_.Data() + from, 0, static_cast<std::size_t>(limit - from)) : nullptr;
  if (nul != nullptr) {
    end = static_cast<std::uint64_t>(static_cast<const std::byte*>(nul) - view_.Data());
  } else if (next != runs_.end()) {
    end = next->second;
    runs_.erase(next);
  }
  runs_.emplace(offset, end);
  return StringEndingAt(offset, end);
}

}  // namespace corvane
