#include "child_text_index.h"

namespace corvane {

std::size_t ChildTextIndex::Probe(std::uint32_t hash, NodeTextView text) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.position == kEmpty) return i;
    if (slot.hash == hash && Child(slot.position)->TextView() == text) return i;
  }
}

void ChildTextIndex::Grow() {
  // Most libraries import a handful of functions: start small.
  std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.position == kEmpty) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].position != kEmpty) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace corvane
