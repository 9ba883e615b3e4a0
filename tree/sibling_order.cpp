#include "sibling_order.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "node_kinds.h"
#include "text_collator.h"
#include "tree_nodes.h"

namespace corvane {
namespace {

// Below this, clearing and summing the radix sort's 2,560 counters costs
// more than comparing.
constexpr std::size_t kRadixFrom = 256;

// Groups with the sign bit flipped, so that their unsigned order, which the
// radix sort goes by, is their signed order.
std::uint16_t RadixGroup(int group) { return static_cast<std::uint16_t>(static_cast<std::uint16_t>(group) ^ 0x8000u); }
int GroupOf(std::uint16_t radixGroup) { return static_cast<std::int16_t>(radixGroup ^ 0x8000u); }

}  // namespace

void SiblingOrder::Clear() {
  texts_.clear();
  items_.clear();
  firstWeighted_ = {};
  commonPrefix_ = 0;
  anyWeighted_ = false;
  allWeighted_ = true;
  keysStale_ = false;
}

void SiblingOrder::Add(NodeTextView text, int group) {
  const bool weighted = collator_.HasWeights(text);
  allWeighted_ &= weighted;
  if (weighted) NarrowCommonPrefix(text.Latin1Bytes());
  texts_.push_back(text);
  items_.push_back(
      {weighted && !keysStale_ ? KeyOf(text) : 0, static_cast<std::uint32_t>(items_.size()), RadixGroup(group), weighted});
}

void SiblingOrder::NarrowCommonPrefix(std::string_view bytes) {
  if (!anyWeighted_) {
    anyWeighted_ = true;
    firstWeighted_ = bytes;
    commonPrefix_ = bytes.size();
    return;
  }
  // Equal bytes weigh alike; a shorter prefix than the weights would allow
  // (where texts differ in case alone) orders just as well.
  const std::size_t limit = std::min(commonPrefix_, bytes.size());
  const auto same = static_cast<std::size_t>(
      std::mismatch(firstWeighted_.begin(), firstWeighted_.begin() + static_cast<std::ptrdiff_t>(limit), bytes.begin())
          .first -
      firstWeighted_.begin());
  if (same == commonPrefix_) return;
  commonPrefix_ = same;
  // The prefix settles within the first few texts of a set; keys already
  // worked out are then cheap to redo. Later, they are redone once, at the end.
  constexpr std::size_t kRedoNow = 64;
  if (keysStale_ || items_.size() > kRedoNow) {
    keysStale_ = true;
    return;
  }
  RedoKeys();
}

void SiblingOrder::RedoKeys() {
  for (Item& item : items_) {
    if (item.weighted) item.key = KeyOf(texts_[item.position]);
  }
}

std::uint64_t SiblingOrder::KeyOf(NodeTextView text) const {
  const std::string_view bytes = text.Latin1Bytes();
  std::uint64_t key = 0;
  for (std::size_t at = commonPrefix_; at < commonPrefix_ + 8; ++at) {
    key = (key << 8) | (at < bytes.size() ? collator_.Weight(bytes[at]) : 0u);
  }
  return key;
}

int SiblingOrder::Compare(const Item& a, const Item& b) const {
  if (a.group != b.group) return a.group < b.group ? -1 : 1;
  if (a.weighted && b.weighted) {
    if (a.key != b.key) return a.key < b.key ? -1 : 1;
    return collator_.CompareWeights(texts_[a.position], texts_[b.position], commonPrefix_ + 8);
  }
  const NodeTextView textA = texts_[a.position];
  const NodeTextView textB = texts_[b.position];
  if (textA.empty() || textB.empty()) return int{!textA.empty()} - int{!textB.empty()};
  return collator_.Compare(textA, textB);
}

template <class Less>
void SiblingOrder::SortWeighted(Less less) {
  // Least significant byte first, the key's eight and then the group's two;
  // a byte every item shares leaves the order as it is and is skipped.
  constexpr int kDigits = 10;
  const auto digit = [](const Item& item, int d) -> unsigned {
    return d < 8 ? static_cast<unsigned>(item.key >> (8 * d)) & 0xFFu : (item.group >> (8 * (d - 8))) & 0xFFu;
  };
  std::array<std::array<std::uint32_t, 256>, kDigits> counts{};
  for (const Item& item : items_) {
    for (int d = 0; d < kDigits; ++d) ++counts[d][digit(item, d)];
  }
  const std::size_t count = items_.size();
  itemsBuffer_.resize(count);
  for (int d = 0; d < kDigits; ++d) {
    std::array<std::uint32_t, 256>& next = counts[d];
    if (next[digit(items_.front(), d)] == count) continue;
    std::uint32_t start = 0;
    for (std::uint32_t& slot : next) start += std::exchange(slot, start);
    for (const Item& item : items_) itemsBuffer_[next[digit(item, d)]++] = item;
    items_.swap(itemsBuffer_);
  }
  // The radix sort kept the order of addition among equal keys; what
  // orders them is past the key.
  for (auto run = items_.begin(); run != items_.end();) {
    auto end = run + 1;
    while (end != items_.end() && end->key == run->key && end->group == run->group) ++end;
    if (end - run > 1) std::sort(run, end, less);
    run = end;
  }
}

void SiblingOrder::DropRepeats() {
  // Sorted with the text as tie-break, a repeated text stands right after
  // the text it repeats; the first of them, added first, is kept.
  std::size_t kept = 0;
  for (const Item& next : items_) {
    if (kept > 0) {
      const Item& last = items_[kept - 1];
      // Different keys (most neighbours) are different texts.
      const bool sameKey = !(last.weighted && next.weighted) || last.key == next.key;
      if (sameKey && last.group == next.group && texts_[last.position] == texts_[next.position]) continue;
    }
    items_[kept++] = next;
  }
  items_.resize(kept);
  // Texts that order alike without being the same (case apart) go back to
  // the order they were added in.
  for (auto run = items_.begin(); run != items_.end();) {
    auto end = run + 1;
    while (end != items_.end() && Compare(*run, *end) == 0) ++end;
    if (end - run > 1) std::sort(run, end, [](const Item& a, const Item& b) { return a.position < b.position; });
    run = end;
  }
}

std::span<const std::uint32_t> SiblingOrder::Sort(Repeats repeats) {
  if (keysStale_) {
    RedoKeys();
    keysStale_ = false;
  }
  const bool drop = repeats == Repeats::kDrop;
  // The position breaks every tie, so an unstable sort gives the stable
  // order; when repeats go, the text breaks ties first, bringing repeats
  // together.
  const auto less = [this, drop](const Item& a, const Item& b) {
    if (const int order = Compare(a, b); order != 0) return order < 0;
    if (drop) {
      const int text = texts_[a.position].CompareCharacters(texts_[b.position]);
      if (text != 0) return text < 0;
    }
    return a.position < b.position;
  };
  // Linkers usually list a library's functions in order already.
  if (std::is_sorted(items_.begin(), items_.end(), less)) {
    // Nothing to do.
  } else if (allWeighted_ && items_.size() >= kRadixFrom) {
    SortWeighted(less);
  } else {
    std::sort(items_.begin(), items_.end(), less);
  }
  if (drop) DropRepeats();
  positions_.resize(items_.size());
  std::transform(items_.begin(), items_.end(), positions_.begin(), [](const Item& item) { return item.position; });
  return positions_;
}

void SiblingOrder::Condense(const std::function<NodeTextView(NodeTextView)>& keep) {
  Sort(Repeats::kDrop);
  std::vector<Item> kept = items_;
  std::vector<NodeTextView> texts;
  texts.swap(texts_);
  Clear();
  for (const Item& item : kept) Add(keep(texts[item.position]), GroupOf(item.group));
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
