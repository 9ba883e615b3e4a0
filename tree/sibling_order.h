#pragma once

// The order of a node's children in the viewer's tree, for a whole set of
// siblings at once: the order ViewerCore::InfoTreeCompare gives pair by pair
// (sort group, then empty texts first, then collation, stable), with each
// sibling's collation key worked out once rather than in every comparison.
//
// A build orders a library's function names before it makes their nodes,
// dropping the names read twice as they come, so that the nodes are made
// once and in their places, and a file naming a few functions millions of
// times holds each of them once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <QCollatorSortKey>

#include "node_text.h"

namespace corvane {

class TTreeNode;
class TTreeNodes;
class TextCollator;

class SiblingOrder {
 public:
  enum class Repeats { kKeep, kDrop };
  // Whether a text given to Add stays valid while the order holds it, or
  // must be copied (a text decoded or composed for the moment).
  enum class Lifetime { kLasting, kPassing };

  // The collator must outlive the order.
  explicit SiblingOrder(const TextCollator& collator) : collator_(collator) {}
  SiblingOrder(const SiblingOrder&) = delete;
  SiblingOrder& operator=(const SiblingOrder&) = delete;

  // Starts a new set of siblings. With Repeats::kDrop, of the siblings with
  // one group and exactly one text only the first is kept.
  void Clear(Repeats repeats);
  // The next sibling, its position the number held before it.
  void Add(NodeTextView text, int group, Lifetime lifetime = Lifetime::kLasting);
  std::size_t Size() const { return items_.size(); }
  NodeTextView Text(std::uint32_t position) const { return items_[position].text; }
  // The positions of the siblings in order, equal ones in the order they
  // were added. Valid until the next change.
  std::span<const std::uint32_t> Sort();

 private:
  struct Item {
    NodeTextView text;
    int group;
  };

  // How many leading bytes every text shares; only for texts with weights.
  std::size_t SharedStart() const;

  const TextCollator& collator_;
  std::vector<Item> items_;
  // With Repeats::kDrop, the positions of the siblings held, by text and
  // group: open addressing over a power-of-two table at most half full, so
  // that a name costs a hash and no allocation.
  static constexpr std::uint32_t kNoSibling = ~std::uint32_t{0};
  // True when `text` in `group` is held already; otherwise it is entered as
  // the sibling at the next position.
  bool HeldOrEntered(NodeTextView text, int group);
  void Enter(std::uint32_t position);
  // Where the probe for `text` in `group` starts.
  std::size_t FirstSlot(NodeTextView text, int group) const;
  bool dropRepeats_ = false;
  std::vector<std::uint32_t> slots_;
  NodeTextStore copies_;
  std::vector<QCollatorSortKey> collationKeys_;
  struct Ranked {
    std::uint64_t key;
    std::uint32_t position;
    int group;
  };
  std::vector<Ranked> ranked_;
  std::vector<std::uint32_t> positions_;
};

// Sorts `siblings` into the tree's order.
void SortSiblings(std::span<TTreeNode*> siblings, SiblingOrder& order);
// Sorts the children of `parent` into the tree's order.
void SortChildrenInTreeOrder(TTreeNodes& items, TTreeNode* parent, const TextCollator& collator);

}  // namespace corvane
