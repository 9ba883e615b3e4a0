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
#include <span>
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
  void Clear() { entries_.clear(); }
  // The next sibling, its position the number added before it. The text
  // must stay valid until Sort has returned.
  void Add(NodeTextView text, int group);
  // The positions of the siblings in order, equal ones in the order they
  // were added. With Repeats::kDrop, of the siblings with one group and
  // exactly one text only the first is kept. Valid until the next change.
  std::span<const std::uint32_t> Sort(Repeats repeats);

 private:
  struct Entry {
    // Weights of the eight characters after the prefix every weighted
    // sibling shares, the first in the high byte, zeros past the end:
    // weights are never zero, so a shorter text orders first, as it should.
    // Most comparisons end here.
    std::uint64_t key;
    NodeTextView text;
    std::uint32_t position;
    std::int16_t group;
    bool weighted;
  };

  // Negative, zero or positive: the tree's order, without the tie-break.
  int Compare(const Entry& a, const Entry& b) const;
  // True when every entry has weights.
  bool ComputeKeys();
  // Sorts entries that all have weights by group and key with a radix
  // sort, then each run of equal keys with `less`.
  template <class Less>
  void SortWeighted(Less less);
  // Drops each entry whose text repeats the one before it among entries
  // that order alike, then restores the order of addition among those.
  void DropRepeats();

  // A radix sort's element: group and key in one order, and the entry.
  struct RadixItem {
    std::uint64_t key;
    std::uint32_t entry;
    std::uint16_t group;
  };

  const TextCollator& collator_;
  std::vector<Entry> entries_;
  std::vector<Entry> sorted_;
  std::vector<RadixItem> items_;
  std::vector<RadixItem> itemsBuffer_;
  std::vector<std::uint32_t> positions_;
  // The weights every weighted entry shares before its key.
  std::size_t commonPrefix_ = 0;
};

// Sorts `siblings` into the tree's order.
void SortSiblings(std::span<TTreeNode*> siblings, SiblingOrder& order);

}  // namespace corvane
