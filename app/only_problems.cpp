#include "only_problems.h"

#include <QItemSelectionModel>
#include <QTreeView>

#include "tree_nodes_model.h"

namespace corvane {

ProblemsOnly::ProblemsOnly(QTreeView& tree, TreeNodesModel& model, QObject* parent)
    : QObject(parent), tree_(tree), model_(model) {
  const auto forget = [this] {
    if (!switching_) selectedBefore_ = nullptr;
  };
  connect(tree_.selectionModel(), &QItemSelectionModel::currentChanged, this, forget);
  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, forget);
}

TTreeNode* ProblemsOnly::Selected() const {
  const QModelIndexList selected = tree_.selectionModel()->selectedIndexes();
  return selected.isEmpty() ? nullptr : model_.NodeAt(selected.front());
}

void ProblemsOnly::Select(const TTreeNode* node) {
  const QModelIndex index = model_.IndexOf(node);
  if (!index.isValid()) return;
  tree_.setCurrentIndex(index);
  tree_.scrollTo(index);
}

void ProblemsOnly::Set(bool on) {
  if (on == model_.Filtered()) return;
  switching_ = true;
  TTreeNode* selected = Selected();
  if (on) {
    selectedBefore_ = selected;
    model_.SetFilter([](const TTreeNode& node) { return node.Mark() != 0; });
    // The row itself may be hidden: the nearest one above it that shows.
    while (selected != nullptr && !model_.Shown(selected)) selected = selected->Parent();
    Select(selected);
  } else {
    const TTreeNode* restored = selectedBefore_ != nullptr ? selectedBefore_ : selected;
    model_.SetFilter({});
    Select(restored);
    selectedBefore_ = nullptr;
  }
  switching_ = false;
}

}  // namespace corvane
