#pragma once

// Finds a node's child by its exact text in constant time, for builds that
// add tens of thousands of children and must not add one twice. One flat
// table serves every parent: a file with thousands of libraries would
// otherwise pay for a table per library.

#include <cstddef>
#include <vector>

#include "node_text.h"

namespace corvane {

class TTreeNode;

class ChildTextIndex {
 public:
  // Indexes `child` under its parent, unless a child of that text is
  // indexed already. The index holds the node until the index ends: the
  // node must outlive it.
  void Add(TTreeNode* child);
  // The indexed child of `parent` whose text equals `text`; when there is
  // none, the node `make()` returns (with that parent and text), indexed.
  // One lookup where Find and Add would take two. `make` may return null to
  // add nothing.
  template <class Make>
  TTreeNode* FindOrAdd(const TTreeNode* parent, NodeTextView text, Make make) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const std::size_t hash = KeyHash(parent, text);
    Slot& slot = slots_[Probe(hash, parent, text)];
    if (slot.node != nullptr) return slot.node;
    TTreeNode* made = make();
    if (made != nullptr) {
      slot = {hash, made};
      ++used_;
    }
    return made;
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    TTreeNode* node = nullptr;
  };
  static std::size_t KeyHash(const TTreeNode* parent, NodeTextView text);
  // The slot holding the match, or the empty slot where it would go.
  std::size_t Probe(std::size_t hash, const TTreeNode* parent, NodeTextView text) const;
  void Grow();

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace corvane
