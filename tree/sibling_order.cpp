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
  slots_.clear();
  dropRepeats_ = repeats == Repeats::kDrop;
}

void SiblingOrder::Add(NodeTextView text, int group, Lifetime lifetime) {
  if (dropRepeats_ && HeldOrEntered(text, group)) return;
  items_.push_back({lifetime == Lifetime::kPassing ? copies_.Copy(text) : text, group});
}

bool SiblingOrder::HeldOrEntered(NodeTextView text, int group) {
  if (2 * (items_.size() + 1) > slots_.size()) {
    slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), kNoSibling);
    for (std::uint32_t position = 0; position < items_.size(); ++position) Enter(position);
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = FirstSlot(text, group);; slot = (slot + 1) & mask) {
    if (slots_[slot] == kNoSibling) {
      slots_[slot] = static_cast<std::uint32_t>(items_.size());
      return false;
    }
    const Item& held = items_[slots_[slot]];
    if (held.group == group && held.text == text) return true;
  }
}

std::size_t SiblingOrder::FirstSlot(NodeTextView text, int group) const {
  return (text.Hash() ^ static_cast<std::size_t>(group)) & (slots_.size() - 1);
}

void SiblingOrder::Enter(std::uint32_t position) {
  const Item& item = items_[position];
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = FirstSlot(item.text, item.group);
  while (slots_[slot] != kNoSibling) slot = (slot + 1) & mask;
  slots_[slot] = position;
}

std::span<const std::uint32_t> SiblingOrder::Sort() {
  // Names of printable ASCII (nearly all) order by their collation weights:
  // eight of them in one number, taken past the start all names share (a
  // library's functions often begin alike), so most comparisons end there.
  // Any other set orders by the collator's sort keys, one per sibling;
  // collating pair by pair would cost a conversion and a call into ICU per
  // comparison.
  const bool byWeights =
      std::all_of(items_.begin(), items_.end(), [this](const Item& item) { return collator_.HasWeights(item.text); });
  const std::size_t shared = byWeights ? SharedStart() : 0;
  std::vector<Ranked>& ranked = ranked_;
  ranked.resize(items_.size());
  collationKeys_.clear();
  for (std::uint32_t position = 0; position < items_.size(); ++position) {
    const Item& item = items_[position];
    ranked[position] = {byWeights ? collator_.LeadingWeights(item.text, shared) : 0, position, item.group};
    if (!byWeights) collationKeys_.push_back(collator_.SortKey(item.text));
  }
  const auto textOrder = [this, byWeights, shared](const Ranked& a, const Ranked& b) {
    if (byWeights) {
      if (a.key != b.key) return a.key < b.key ? -1 : 1;
      const std::size_t known = shared + TextCollator::kLeadingWeights;
      return collator_.CompareWeights(items_[a.position].text, items_[b.position].text, known);
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

std::size_t SiblingOrder::SharedStart() const {
  if (items_.empty()) return 0;
  const std::string_view first = items_.front().text.Latin1Bytes();
  std::size_t shared = first.size();
  for (const Item& item : items_) {
    const std::string_view bytes = item.text.Latin1Bytes();
    shared = static_cast<std::size_t>(
        std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(std::min(shared, bytes.size())),
                      bytes.begin())
            .first -
        first.begin());
  }
  return shared;
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
