#include "only_problems.h"

#include <QItemSelectionModel>

#include "info_tree_view.h"
#include "tree_nodes_model.h"

namespace corvane {

ProblemsOnly::ProblemsOnly(InfoTreeView& tree, QObject* parent) : QObject(parent), tree_(tree) {
  const auto forget = [this] {
    if (!switching_) selectedBefore_ = nullptr;
  };
  connect(tree_.selectionModel(), &QItemSelectionModel::currentChanged, this, forget);
  connect(&tree_.Nodes(), &QAbstractItemModel::modelAboutToBeReset, this, forget);
}

void ProblemsOnly::Set(bool on) {
  TreeNodesModel& model = tree_.Nodes();
  if (on == model.Filtered()) return;
  switching_ = true;
  TTreeNode* selected = tree_.SelectedNode();
  if (on) {
    selectedBefore_ = selected;
    model.SetFilter([](const TTreeNode& node) { return node.Mark() != 0; });
    // The row itself may be hidden: the nearest one above it that shows.
    while (selected != nullptr && !model.Shown(selected)) selected = selected->Parent();
    tree_.GoTo(selected);
  } else {
    const TTreeNode* restored = selectedBefore_ != nullptr ? selectedBefore_ : selected;
    model.SetFilter({});
    tree_.GoTo(restored);
    selectedBefore_ = nullptr;
  }
  switching_ = false;
}

}  // namespace corvane
