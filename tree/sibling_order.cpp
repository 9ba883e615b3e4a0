#include "sibling_order.h"

#include <algorithm>
#include <numeric>

#include "node_kinds.h"
#include "text_collator.h"
#include "tree_nodes.h"

namespace corvane {

void SiblingOrder::Clear(Repeats repeats) {
  items_.clear();
  copies_.Reset();
  held_.clear();
  dropRepeats_ = repeats == Repeats::kDrop;
}

void SiblingOrder::Add(NodeTextView text, int group, Lifetime lifetime) {
  if (dropRepeats_ && held_.count({text, group}) != 0) return;
  const Item item{lifetime == Lifetime::kPassing ? copies_.Copy(text) : text, group};
  items_.push_back(item);
  if (dropRepeats_) held_.insert(item);
}

std::span<const std::uint32_t> SiblingOrder::Sort() {
  // Names of printable ASCII (nearly all) order by their collation weights:
  // the first eight in one number, most comparisons end there. Any other
  // set orders by the collator's sort keys, one per sibling; collating pair
  // by pair would cost a conversion and a call into ICU per comparison.
  const bool byWeights =
      std::all_of(items_.begin(), items_.end(), [this](const Item& item) { return collator_.HasWeights(item.text); });
  std::vector<Ranked>& ranked = ranked_;
  ranked.resize(items_.size());
  collationKeys_.clear();
  for (std::uint32_t position = 0; position < items_.size(); ++position) {
    const Item& item = items_[position];
    ranked[position] = {byWeights ? collator_.LeadingWeights(item.text) : 0, position, item.group};
    if (!byWeights) collationKeys_.push_back(collator_.SortKey(item.text));
  }
  const auto textOrder = [this, byWeights](const Ranked& a, const Ranked& b) {
    if (byWeights) {
      if (a.key != b.key) return a.key < b.key ? -1 : 1;
      return collator_.CompareWeights(items_[a.position].text, items_[b.position].text, TextCollator::kLeadingWeights);
    }
    const bool emptyA = items_[a.position].text.empty();
    const bool emptyB = items_[b.position].text.empty();
    if (emptyA || emptyB) return int{!emptyA} - int{!emptyB};
    return collationKeys_[a.position].compare(collationKeys_[b.position]);
  };
  // The position breaks every tie, so this sort gives the stable order.
  std::sort(ranked.begin(), ranked.end(), [&textOrder](const Ranked& a, const Ranked& b) {
    if (a.group != b.group) return a.group < b.group;
    if (const int order = textOrder(a, b); order != 0) return order < 0;
    return a.position < b.position;
  });
  positions_.resize(ranked.size());
  std::transform(ranked.begin(), ranked.end(), positions_.begin(), [](const Ranked& item) { return item.position; });
  return positions_;
}

void SortSiblings(std::span<TTreeNode*> siblings, SiblingOrder& order) {
  order.Clear(SiblingOrder::Repeats::kKeep);
  for (const TTreeNode* node : siblings) order.Add(node->TextView(), NodeOrderGroup(node));
  const std::span<const std::uint32_t> positions = order.Sort();
  const std::vector<TTreeNode*> given(siblings.begin(), siblings.end());
  std::transform(positions.begin(), positions.end(), siblings.begin(),
                 [&given](std::uint32_t position) { return given[position]; });
}

void SortChildrenInTreeOrder(TTreeNodes& items, TTreeNode* parent, const TextCollator& collator) {
  // Once per file and for the rare library that gains functions: the
  // order's buffers are not worth keeping between builds.
  SiblingOrder order(collator);
  items.SortChildren(parent, [&order](std::span<TTreeNode*> children) { SortSiblings(children, order); });
}

}  // namespace corvane
