#include "child_text_index.h"

#include <bit>
#include <cstdint>
#include <functional>

#include "tree_nodes.h"

namespace corvane {

std::size_t ChildTextIndex::KeyHash(const TTreeNode* parent, NodeTextView text) {
  const std::size_t parentHash = std::hash<const TTreeNode*>{}(parent) * 0x9E3779B97F4A7C15ull;
  return text.Hash() ^ std::rotl(parentHash, 29);
}

std::size_t ChildTextIndex::Probe(std::size_t hash, const TTreeNode* parent, NodeTextView text) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.node == nullptr) return i;
    if (slot.hash == hash && slot.node->Parent() == parent && slot.node->TextView() == text) return i;
  }
}

void ChildTextIndex::Add(TTreeNode* child) {
  FindOrAdd(child->Parent(), child->TextView(), [child] { return child; });
}

void ChildTextIndex::Grow() {
  std::vector<Slot> old(slots_.empty() ? 64 : 2 * slots_.size());
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.node == nullptr) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].node != nullptr) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace corvane
