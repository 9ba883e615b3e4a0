#define WORDCOUNT_BUILDING
#include "wordcount.h"

#include <cctype>

std::map<std::string, int> CountWords(const std::string& text) {
  std::map<std::string, int> counts;
  std::string word;
  for (const char c : text + ' ') {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!word.empty()) {
      ++counts[word];
      word.clear();
    }
  }
  return counts;
}
