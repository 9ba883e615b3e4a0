#include "node_kinds.h"

#include "tree_nodes.h"

namespace corvane {

void SetNodeIcon(TTreeNode* node, int icon) {
  if (node == nullptr) return;
  node->SetIndexes(icon, icon, icon);
}

int NodeOrderGroup(const TTreeNode* node) {
  constexpr int kUngrouped = 100;
  if (node == nullptr || !node->GetChildren()) return kUngrouped;
  switch (node->ImageIndex()) {
    case kIconFile:
    case kIconStats:
      return 0;
    case kIconExports:
    case kIconStatsValue:
      return 1;
    case kIconInspectedLibrary:
    case kIconLibrary:
    case kIconVersionValue:
      return 2;
    default:
      return kUngrouped;
  }
}

}  // namespace corvane
