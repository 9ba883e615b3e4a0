#include "text_collator.h"

#include <algorithm>
#include <string_view>

namespace corvane {
namespace {

// The printable ASCII characters in the order of the Unicode default
// collation with punctuation not ignored: space, punctuation and symbols,
// digits, then letters. Upper and lower case of a letter share a weight, as
// case is no difference here. A text that begins another comes first.
constexpr std::string_view kAsciiCollationOrder = R"( _-,;:!?.'"()[]{}@*/\&#%`^+<=>|~$0123456789abcdefghijklmnopqrstuvwxyz)";

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

QLocale TextCollator::DefaultLocale() {
  const QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
  return system;
}

TextCollator::TextCollator(const QLocale& locale) : collator_(locale) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  collator_.setNumericMode(false);
  collator_.setIgnorePunctuation(false);
  // English keeps printable ASCII on one fixed weight per character, so
  // those texts compare without ICU (docs/performance.md); other languages
  // may tailor ASCII (Czech "ch", Danish "aa"), so they always ask ICU.
  asciiByWeights_ = locale.language() == QLocale::English;
  for (std::size_t i = 0; i < kAsciiCollationOrder.size(); ++i) {
    const auto c = static_cast<unsigned char>(kAsciiCollationOrder[i]);
    const auto weight = static_cast<std::uint8_t>(i + 1);
    asciiWeights_[c] = weight;
    if (c >= 'a' && c <= 'z') asciiWeights_[c - 'a' + 'A'] = weight;
  }
}

int TextCollator::Compare(NodeTextView a, NodeTextView b) const {
  if (HasWeights(a) && HasWeights(b)) return CompareWeights(a, b, 0);
  ++collatorCalls_;
  if (!a.IsLatin1() && !b.IsLatin1()) return Sign(collator_.compare(a.Utf16(), b.Utf16()));
  return Sign(collator_.compare(a.ToString(), b.ToString()));
}

int TextCollator::CompareWeights(NodeTextView a, NodeTextView b, std::size_t from) const {
  const std::string_view bytesA = a.Latin1Bytes();
  const std::string_view bytesB = b.Latin1Bytes();
  const std::size_t common = std::min(bytesA.size(), bytesB.size());
  for (std::size_t i = from; i < common; ++i) {
    const int weightA = Weight(bytesA[i]);
    const int weightB = Weight(bytesB[i]);
    if (weightA != weightB) return weightA < weightB ? -1 : 1;
  }
  if (bytesA.size() == bytesB.size()) return 0;
  return bytesA.size() < bytesB.size() ? -1 : 1;
}

std::uint64_t TextCollator::LeadingWeights(NodeTextView text, std::size_t from) const {
  const std::string_view bytes = text.Latin1Bytes();
  std::uint64_t key = 0;
  for (std::size_t at = from; at < from + kLeadingWeights; ++at) {
    key = (key << 8) | (at < bytes.size() ? Weight(bytes[at]) : 0u);
  }
  return key;
}

QCollatorSortKey TextCollator::SortKey(NodeTextView text) const {
  ++collatorCalls_;
  return collator_.sortKey(text.ToString());
}

}  // namespace corvane
