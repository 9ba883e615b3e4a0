#pragma once

// The kinds of node in the main tree. A node's kind is its icon index: the
// tree attaches nothing else to a node, so every rule that depends on a
// node's kind (what can be inspected, how siblings are ordered) reads it.

#include <cstdint>

namespace corvane {

class TTreeNode;

enum NodeIcon : int {
  kIconFile = 0,               // a file's root
  kIconLibrary = 1,            // an imported library, not inspected
  kIconInspectedLibrary = 2,   // an imported library after inspection
  kIconExports = 3,            // "Exported APIs"
  kIconExport = 4,             // an exported function
  kIconImport = 5,             // an imported function
  kIconStats = 6,              // "Stats"
  kIconStatsValue = 7,         // image base, code and data sizes
  kIconVersionValue = 8,       // version entries
};
inline constexpr int kNodeIconCount = 9;

// Sets the image, selected-image and state index of `node` to `icon`;
// nothing for a null node.
void SetNodeIcon(TTreeNode* node, int icon);

// The sort group of a node: branches that have children sort before plain
// entries, "Stats" and file roots first, then "Exported APIs", then
// libraries. Every node without children, and every other kind, is 100.
int NodeOrderGroup(const TTreeNode* node);

// Kilobytes from bytes, rounded to the nearest with halves up, on 32 bits.
constexpr std::uint32_t BytesToKb(std::uint32_t bytes) { return (bytes + 512u) >> 10; }

}  // namespace corvane
