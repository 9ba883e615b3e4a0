#include "sibling_order.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "node_kinds.h"
#include "text_collator.h"
#include "tree_nodes.h"

namespace corvane {
namespace {

struct SortEntry {
  TTreeNode* node;
  int group;
  bool weighted;
  std::size_t weightsStart;
  std::size_t weightsSize;
};

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
    entries.push_back({node, NodeOrderGroup(node), weighted, start, weights.size() - start});
  }
  const std::string_view allWeights = weights;
  std::stable_sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.weighted && b.weighted) {
      return allWeights.substr(a.weightsStart, a.weightsSize) < allWeights.substr(b.weightsStart, b.weightsSize);
    }
    const NodeTextView textA = a.node->TextView();
    const NodeTextView textB = b.node->TextView();
    if (textA.empty() || textB.empty()) return textA.empty() && !textB.empty();
    return collator.Compare(textA, textB) < 0;
  });
  std::transform(entries.begin(), entries.end(), siblings.begin(), [](const SortEntry& entry) { return entry.node; });
}

}  // namespace corvane
