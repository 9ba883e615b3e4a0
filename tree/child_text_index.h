#pragma once

// Finds a child of one node by its exact text in constant time, for builds
// that add tens of thousands of children and must not add one twice. A
// slot is eight bytes (part of the hash and the child's position), so that
// the table of a large library stays small in memory and cache.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "node_text.h"
#include "tree_nodes.h"

namespace corvane {

class ChildTextIndex {
 public:
  // Indexes children of `parent`, which must outlive the index and keep
  // the indexed children in their places (adding after them is fine).
  explicit ChildTextIndex(TTreeNode* parent) : parent_(parent) {}

  // Indexes the children `parent` has now for which `wanted` holds.
  template <class Wanted>
  void AddExistingChildren(Wanted wanted) {
    for (int i = 0; i < parent_->Count(); ++i) {
      TTreeNode* child = parent_->Item(i);
      if (wanted(child)) FindOrAdd(child->TextView(), [child] { return child; });
    }
  }
  // The indexed child whose text equals `text`; when there is none, the
  // child `make()` adds (the parent's last child, with that text), indexed.
  // `make` may return null to add nothing.
  template <class Make>
  TTreeNode* FindOrAdd(NodeTextView text, Make make) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const std::uint32_t hash = Hash(text);
    Slot& slot = slots_[Probe(hash, text)];
    if (slot.position != kEmpty) return Child(slot.position);
    TTreeNode* made = make();
    if (made != nullptr) {
      slot = {hash, static_cast<std::uint32_t>(made->Index())};
      ++used_;
    }
    return made;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t position = kEmpty;
  };
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

  static std::uint32_t Hash(NodeTextView text) { return static_cast<std::uint32_t>(text.Hash()); }
  TTreeNode* Child(std::uint32_t position) const { return parent_->Item(static_cast<int>(position)); }
  // The slot holding the match, or the empty slot where it would go.
  std::size_t Probe(std::uint32_t hash, NodeTextView text) const;
  void Grow();

  TTreeNode* parent_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace corvane
