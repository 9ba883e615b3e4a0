#pragma once

// The Modules pane below the tree: the closure of the file whose subtree
// holds the tree's selected row, as its dependency check made it when the
// file was opened, one module a row, sortable by any column. Activating a
// module selects its first row in the tree; Copy takes the selected modules
// as tab-separated lines.

#include <QTableView>

#include "modules_model.h"

class QSortFilterProxyModel;

namespace corvane {

class InfoTreeView;
class TTreeNode;
class ViewerCore;

class ModulesPane final : public QTableView {
  Q_OBJECT

 public:
  // Follows `tree`, which shows `core`'s store, and puts itself below the
  // tree in the tree's layout, hidden.
  ModulesPane(ViewerCore& core, InfoTreeView& tree, QWidget* parent);

  ModulesModel& Modules() { return *modules_; }
  // Shows the closure of the file the tree's selected row belongs to.
  void FollowTree();
  // The first row of the tree, in display order and among the rows shown,
  // that shows `module` of the closure shown: its file's root, or a
  // library's node named so (in any case); null when none does.
  const TTreeNode* TreeRowOf(std::size_t module) const;
  // The selected rows, in the order shown, under a header line; a tab
  // between the columns.
  QString SelectionAsText() const;

 protected:
  // A palette change (a light or dark theme chosen meanwhile) redraws the
  // marks in colours that read on the new base.
  void changeEvent(QEvent* event) override;

 private:
  void SelectInTree(const QModelIndex& index);

  ViewerCore& core_;
  InfoTreeView& tree_;
  ModulesModel* modules_;
  QSortFilterProxyModel* sorted_;
};

}  // namespace corvane
