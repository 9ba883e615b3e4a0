#pragma once

// Case-insensitive, linguistic comparison of node texts in the user's
// locale. Under the C/POSIX locale, where Qt would compare code points,
// English collation is used instead, so the order is linguistic everywhere.

#include <QCollator>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

#include "node_text.h"

namespace corvane {

class TextCollator {
 public:
  // The locale whose collation orders node texts by default.
  static QLocale DefaultLocale();

  explicit TextCollator(const QLocale& locale = DefaultLocale());
  // -1, 0 or 1.
  int Compare(NodeTextView a, NodeTextView b) const;
  // Appends the collation weights of `text`, one byte per character, when
  // comparing those bytes (then lengths) orders it as Compare does against
  // every other text that has weights; false, and nothing appended, for a
  // text only the collator can place.
  bool AppendWeights(NodeTextView text, std::string& weights) const;

 private:
  int CompareWithCollator(NodeTextView a, NodeTextView b) const;

  QCollator collator_;
  // Primary weights of the printable ASCII characters, when the locale's
  // collation orders them as the Unicode default does; 0 when it does not.
  std::array<std::uint8_t, 128> asciiWeights_{};
  bool asciiByWeights_ = false;
};

}  // namespace corvane
