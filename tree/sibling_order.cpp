#include "sibling_order.h"

#include <algorithm>
#include <array>
#include <utility>
#include <string_view>

#include "node_kinds.h"
#include "text_collator.h"
#include "tree_nodes.h"

namespace corvane {

void SiblingOrder::Add(NodeTextView text, int group) {
  entries_.push_back({0, text, static_cast<std::uint32_t>(entries_.size()), static_cast<std::int16_t>(group),
                      collator_.HasWeights(text)});
}

int SiblingOrder::Compare(const Entry& a, const Entry& b) const {
  if (a.group != b.group) return a.group < b.group ? -1 : 1;
  if (a.weighted && b.weighted) {
    if (a.key != b.key) return a.key < b.key ? -1 : 1;
    return collator_.CompareWeights(a.text, b.text, commonPrefix_ + 8);
  }
  if (a.text.empty() || b.text.empty()) return int{!a.text.empty()} - int{!b.text.empty()};
  return collator_.Compare(a.text, b.text);
}

bool SiblingOrder::ComputeKeys() {
  // The prefix every weighted text shares carries no order: keys start after it.
  std::string_view first;
  std::size_t common = 0;
  bool seen = false;
  for (const Entry& entry : entries_) {
    if (!entry.weighted) continue;
    const std::string_view bytes = entry.text.Latin1Bytes();
    if (!seen) {
      first = bytes;
      common = bytes.size();
      seen = true;
      continue;
    }
    const std::size_t limit = std::min(common, bytes.size());
    // Equal bytes weigh alike; only where the bytes part (in case alone,
    // say) are the weights asked.
    std::size_t same = static_cast<std::size_t>(
        std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(limit), bytes.begin()).first -
        first.begin());
    while (same < limit && collator_.Weight(first[same]) == collator_.Weight(bytes[same])) ++same;
    common = same;
    if (common == 0) break;
  }
  commonPrefix_ = common;
  bool allWeighted = true;
  for (Entry& entry : entries_) {
    allWeighted &= entry.weighted;
    if (!entry.weighted) continue;
    const std::string_view bytes = entry.text.Latin1Bytes();
    std::uint64_t key = 0;
    for (std::size_t at = common; at < common + 8; ++at) {
      key = (key << 8) | (at < bytes.size() ? collator_.Weight(bytes[at]) : 0u);
    }
    entry.key = key;
  }
  return allWeighted;
}

template <class Less>
void SiblingOrder::SortWeighted(Less less) {
  const std::size_t count = entries_.size();
  items_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    // The flipped sign bit makes the unsigned order of groups their signed order.
    items_[i] = {entries_[i].key, static_cast<std::uint32_t>(i),
                 static_cast<std::uint16_t>(static_cast<std::uint16_t>(entries_[i].group) ^ 0x8000u)};
  }
  // Least significant byte first, the key's eight and then the group's two;
  // a byte every item shares leaves the order as it is and is skipped.
  constexpr int kDigits = 10;
  const auto digit = [](const RadixItem& item, int d) -> unsigned {
    return d < 8 ? static_cast<unsigned>(item.key >> (8 * d)) & 0xFFu : (item.group >> (8 * (d - 8))) & 0xFFu;
  };
  std::array<std::array<std::uint32_t, 256>, kDigits> counts{};
  for (const RadixItem& item : items_) {
    for (int d = 0; d < kDigits; ++d) ++counts[d][digit(item, d)];
  }
  itemsBuffer_.resize(count);
  for (int d = 0; d < kDigits; ++d) {
    std::array<std::uint32_t, 256>& next = counts[d];
    if (next[digit(items_.front(), d)] == count) continue;
    std::uint32_t start = 0;
    for (std::uint32_t& slot : next) start += std::exchange(slot, start);
    for (const RadixItem& item : items_) itemsBuffer_[next[digit(item, d)]++] = item;
    items_.swap(itemsBuffer_);
  }
  sorted_.resize(count);
  for (std::size_t i = 0; i < count; ++i) sorted_[i] = entries_[items_[i].entry];
  entries_.swap(sorted_);
  // The radix sort kept the order of addition among equal keys; what
  // orders them is past the key.
  for (auto run = entries_.begin(); run != entries_.end();) {
    auto end = run + 1;
    while (end != entries_.end() && end->key == run->key && end->group == run->group) ++end;
    if (end - run > 1) std::sort(run, end, less);
    run = end;
  }
}

void SiblingOrder::DropRepeats() {
  // Sorted with the text as tie-break, a repeated text stands right after
  // the text it repeats; the first of them, added first, is kept.
  std::size_t kept = 0;
  for (const Entry& next : entries_) {
    if (kept > 0) {
      const Entry& last = entries_[kept - 1];
      // Different keys (most neighbours) are different texts.
      const bool sameKey = !(last.weighted && next.weighted) || last.key == next.key;
      if (sameKey && last.group == next.group && last.text == next.text) continue;
    }
    entries_[kept++] = next;
  }
  entries_.resize(kept);
  // Texts that order alike without being the same (case apart) go back to
  // the order they were added in.
  for (auto run = entries_.begin(); run != entries_.end();) {
    auto end = run + 1;
    while (end != entries_.end() && Compare(*run, *end) == 0) ++end;
    if (end - run > 1) {
      std::sort(run, end, [](const Entry& a, const Entry& b) { return a.position < b.position; });
    }
    run = end;
  }
}

// Below this, clearing and summing the radix sort's 2,560 counters costs
// more than comparing.
constexpr std::size_t kRadixFrom = 256;

std::span<const std::uint32_t> SiblingOrder::Sort(Repeats repeats) {
  const bool allWeighted = ComputeKeys();
  const bool drop = repeats == Repeats::kDrop;
  // The position breaks every tie, so an unstable sort gives the stable
  // order; when repeats go, the text breaks ties first, bringing repeats
  // together.
  const auto less = [this, drop](const Entry& a, const Entry& b) {
    if (const int order = Compare(a, b); order != 0) return order < 0;
    if (drop) {
      if (const int text = a.text.CompareCharacters(b.text); text != 0) return text < 0;
    }
    return a.position < b.position;
  };
  // Linkers usually list a library's functions in order already.
  if (std::is_sorted(entries_.begin(), entries_.end(), less)) {
    // Nothing to do.
  } else if (allWeighted && entries_.size() >= kRadixFrom) {
    SortWeighted(less);
  } else {
    std::sort(entries_.begin(), entries_.end(), less);
  }
  if (drop) DropRepeats();
  positions_.resize(entries_.size());
  std::transform(entries_.begin(), entries_.end(), positions_.begin(),
                 [](const Entry& entry) { return entry.position; });
  return positions_;
}

void SortSiblings(std::span<TTreeNode*> siblings, SiblingOrder& order) {
  order.Clear();
  for (const TTreeNode* node : siblings) order.Add(node->TextView(), NodeOrderGroup(node));
  const std::span<const std::uint32_t> positions = order.Sort(SiblingOrder::Repeats::kKeep);
  const std::vector<TTreeNode*> given(siblings.begin(), siblings.end());
  std::transform(positions.begin(), positions.end(), siblings.begin(),
                 [&given](std::uint32_t position) { return given[position]; });
}

}  // namespace corvane
