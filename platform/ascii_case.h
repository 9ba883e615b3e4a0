#pragma once

#include <string>
#include <string_view>

namespace corvane {

// `text` with ASCII letters in lower case, every other byte as it is:
// library and API set names compare so, as on Windows.
inline std::string FoldedAscii(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace corvane
