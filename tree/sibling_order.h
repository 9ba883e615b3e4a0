#pragma once

// The order of a node's children in the viewer's tree, for a whole set of
// siblings at once. The order is the one ViewerCore::InfoTreeCompare gives
// pair by pair (sort group, then empty texts first, then collation, stable);
// here each sibling's group and leading collation weights are worked out
// once rather than in every comparison, which makes sorting a library of
// 100,000 imported functions several times faster.
//
// A build orders a library's function names before it makes their nodes,
// dropping the names read twice on the way, so that the nodes are made once
// and in their places.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "node_text.h"

namespace corvane {

class TTreeNode;
class TextCollator;

class SiblingOrder {
 public:
  enum class Repeats { kKeep, kDrop };

  // The collator must outlive the order.
  explicit SiblingOrder(const TextCollator& collator) : collator_(collator) {}
  SiblingOrder(const SiblingOrder&) = delete;
  SiblingOrder& operator=(const SiblingOrder&) = delete;

  // Starts a new set of siblings; the buffers stay, as a build orders
  // thousands of sets.
  void Clear();
  // The next sibling, its position the number added before it. The text
  // must stay valid while the order holds it. Its key is worked out here,
  // while its bytes are at hand.
  void Add(NodeTextView text, int group);
  std::size_t Size() const { return texts_.size(); }
  NodeTextView Text(std::uint32_t position) const { return texts_[position]; }
  // The positions of the siblings in order, equal ones in the order they
  // were added. With Repeats::kDrop, of the siblings with one group and
  // exactly one text only the first is kept. Valid until the next change;
  // the set is then done with, and Clear starts the next.
  std::span<const std::uint32_t> Sort(Repeats repeats);
  // Sorts with repeats dropped and holds what is left as the set, in that
  // order, each text as `keep` gives it back: a caller adding a great many
  // repeats condenses now and then to stay small. The order of siblings
  // that order alike is still the order in which they were first added.
  void Condense(const std::function<NodeTextView(NodeTextView)>& keep);

 private:
  // A sibling as the sort moves it.
  struct Item {
    // Weights of the eight characters after the prefix every weighted
    // sibling shares, the first in the high byte, zeros past the end:
    // weights are never zero, so a shorter text orders first, as it should.
    // Most comparisons end here.
    std::uint64_t key;
    std::uint32_t position;
    // The group with its sign bit flipped: unsigned order is then the
    // groups' order, which the radix sort goes by.
    std::uint16_t group;
    bool weighted;
  };

  // Negative, zero or positive: the tree's order, without the tie-break.
  int Compare(const Item& a, const Item& b) const;
  std::uint64_t KeyOf(NodeTextView text) const;
  void RedoKeys();
  // Narrows the prefix every weighted text shares to what `bytes` shares.
  void NarrowCommonPrefix(std::string_view bytes);
  // Sorts items that all have weights by group and key with a radix sort,
  // then each run of equal keys with `less`.
  template <class Less>
  void SortWeighted(Less less);
  // Drops each item whose text repeats the one before it among items that
  // order alike, then restores the order of addition among those.
  void DropRepeats();

  const TextCollator& collator_;
  std::vector<NodeTextView> texts_;
  std::vector<Item> items_;  // in the order of addition until sorted
  std::vector<Item> itemsBuffer_;
  std::vector<std::uint32_t> positions_;
  // The first weighted text, and how much of it every weighted text shares.
  std::string_view firstWeighted_;
  std::size_t commonPrefix_ = 0;
  bool anyWeighted_ = false;
  bool allWeighted_ = true;
  // The common prefix narrowed after the keys of many texts were worked
  // out: they are worked out again, once, when the set is sorted.
  bool keysStale_ = false;
};

// Sorts `siblings` into the tree's order.
void SortSiblings(std::span<TTreeNode*> siblings, SiblingOrder& order);

}  // namespace corvane
