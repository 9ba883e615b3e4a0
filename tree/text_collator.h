#pragma once

// Case-insensitive, linguistic comparison of node texts in the user's
// locale. Under the C/POSIX locale, where Qt would compare code points,
// English collation is used instead, so the order is linguistic everywhere.

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>

#include "node_text.h"

namespace corvane {

class TextCollator {
 public:
  // The locale whose collation orders node texts by default.
  static QLocale DefaultLocale();

  explicit TextCollator(const QLocale& locale = DefaultLocale());
  // -1, 0 or 1.
  int Compare(NodeTextView a, NodeTextView b) const;
  // Whether `text` orders by weights: one per character, never zero, such
  // that comparing weights, then lengths, orders it as Compare does against
  // every other text that has weights. Only the collator can place the others.
  bool HasWeights(NodeTextView text) const { return asciiByWeights_ && text.IsPrintableAscii(); }
  // The weight of a character of a text that has weights.
  std::uint8_t Weight(char c) const { return asciiWeights_[static_cast<unsigned char>(c)]; }
  // Compare for two texts that have weights, the first `from` of which are
  // known to be equal.
  int CompareWeights(NodeTextView a, NodeTextView b, std::size_t from) const;
  // The weights of kLeadingWeights characters of a text that has weights,
  // from character `from` on, the first in the high byte, zeros past its
  // end: comparing them as numbers compares texts that far, when the first
  // `from` are known to be equal.
  static constexpr std::size_t kLeadingWeights = 8;
  std::uint64_t LeadingWeights(NodeTextView text, std::size_t from) const;
  // The collator's key for any text: comparing keys compares the texts as
  // Compare does.
  QCollatorSortKey SortKey(NodeTextView text) const;
  // How often the collator itself was asked, to compare or for a key.
  std::size_t CollatorCalls() const { return collatorCalls_; }

 private:
  QCollator collator_;
  mutable std::size_t collatorCalls_ = 0;
  // Primary weights of the printable ASCII characters, 0 for every other
  // byte; used only when the locale's collation orders printable ASCII as
  // the Unicode default does (asciiByWeights_).
  std::array<std::uint8_t, 256> asciiWeights_{};
  bool asciiByWeights_ = false;
};

}  // namespace corvane
