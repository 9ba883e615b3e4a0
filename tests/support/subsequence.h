#pragma once

#include <algorithm>
#include <vector>

namespace corvane::testing {

// True when every item of `part` appears in `whole`, in the same order,
// not necessarily next to each other: what a truncated or damaged file may
// still show of the whole one.
template <class T>
bool IsSubsequence(const std::vector<T>& part, const std::vector<T>& whole) {
  auto at = whole.begin();
  for (const T& item : part) {
    at = std::find(at, whole.end(), item);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

}  // namespace corvane::testing
