#include "sibling_order.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "node_kinds.h"
#include "text_collator.h"
#include "tree_nodes.h"

namespace corvane {
namespace {

struct SortEntry {
  // Eight weights after the prefix every weighted sibling shares, the first
  // in the high byte, zeros past the end: weights are never zero, so a
  // shorter text orders first, as it should. Most comparisons end here.
  std::uint64_t key;
  TTreeNode* node;
  std::size_t weightsStart;
  std::uint32_t weightsSize;
  std::int16_t group;
  bool weighted;
};

// The length of the prefix all weighted texts share.
std::size_t CommonPrefix(const std::vector<SortEntry>& entries, std::string_view weights) {
  std::string_view first;
  bool seen = false;
  std::size_t common = 0;
  for (const SortEntry& entry : entries) {
    if (!entry.weighted) continue;
    const std::string_view text = weights.substr(entry.weightsStart, entry.weightsSize);
    if (!seen) {
      first = text;
      common = text.size();
      seen = true;
      continue;
    }
    common = static_cast<std::size_t>(std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(common),
                                                    text.begin(), text.end())
                                          .first -
                                      first.begin());
    if (common == 0) break;
  }
  return common;
}

std::uint64_t KeyAt(std::string_view text, std::size_t from) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = from + i;
    key = (key << 8) | (at < text.size() ? static_cast<unsigned char>(text[at]) : 0u);
  }
  return key;
}

}  // namespace

void SortSiblings(std::span<TTreeNode*> siblings, const TextCollator& collator) {
  std::vector<SortEntry> entries;
  entries.reserve(siblings.size());
  std::size_t textSize = 0;
  for (const TTreeNode* node : siblings) textSize += static_cast<std::size_t>(node->TextView().size());
  std::string weights;
  weights.reserve(textSize);
  for (TTreeNode* node : siblings) {
    const std::size_t start = weights.size();
    const bool weighted = collator.AppendWeights(node->TextView(), weights);
    entries.push_back({0, node, start, static_cast<std::uint32_t>(weights.size() - start),
                       static_cast<std::int16_t>(NodeOrderGroup(node)), weighted});
  }
  const std::string_view allWeights = weights;
  const std::size_t common = CommonPrefix(entries, allWeights);
  for (SortEntry& entry : entries) {
    if (entry.weighted) entry.key = KeyAt(allWeights.substr(entry.weightsStart, entry.weightsSize), common);
  }

  const auto less = [&](const SortEntry& a, const SortEntry& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.weighted && b.weighted) {
      if (a.key != b.key) return a.key < b.key;
      const std::size_t skip = common + 8;
      const std::string_view restA = a.weightsSize > skip ? allWeights.substr(a.weightsStart + skip, a.weightsSize - skip) : std::string_view();
      const std::string_view restB = b.weightsSize > skip ? allWeights.substr(b.weightsStart + skip, b.weightsSize - skip) : std::string_view();
      return restA < restB;
    }
    const NodeTextView textA = a.node->TextView();
    const NodeTextView textB = b.node->TextView();
    if (textA.empty() || textB.empty()) return textA.empty() && !textB.empty();
    return collator.Compare(textA, textB) < 0;
  };
  // Linkers usually list a library's functions in order already.
  if (std::is_sorted(entries.begin(), entries.end(), less)) return;
  std::stable_sort(entries.begin(), entries.end(), less);
  std::transform(entries.begin(), entries.end(), siblings.begin(), [](const SortEntry& entry) { return entry.node; });
}

}  // namespace corvane
