#pragma once

// Finding a node by the words of its text, as the window's find bar does.

#include <QString>

#include <functional>
#include <optional>

#include "tree_nodes.h"

namespace corvane {

// The first node after `from` in display order (depth first, a node before
// its children, collapsed branches included) whose text holds every
// whitespace-separated word of `query`, ignoring case; the search wraps
// around at the end and may come back to `from` itself. `backwards` searches
// in reverse display order. A null `from` starts before the first node, or
// after the last going backwards. Null when no node matches or `query` holds
// no word. One pass over the nodes at most. A node whose `otherSpelling`
// holds every word matches too. With `shown`, only nodes it holds for are
// found.
TTreeNode* FindNode(const TTreeNodes& items, const TTreeNode* from, const QString& query, bool backwards,
                    const NodeName& otherSpelling = {}, const NodeShown& shown = {});

}  // namespace corvane
