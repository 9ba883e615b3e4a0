#pragma once

// The order of a node's children in the viewer's tree, for a whole set of
// siblings at once. The order is the one ViewerCore::InfoTreeCompare gives
// pair by pair (sort group, then empty texts first, then collation, stable);
// here each node's group and collation weights are worked out once rather
// than in every comparison, which makes sorting a library of 100,000
// imported functions several times faster.

#include <span>

namespace corvane {

class TTreeNode;
class TextCollator;

void SortSiblings(std::span<TTreeNode*> siblings, const TextCollator& collator);

}  // namespace corvane
