#pragma once

#include <QTreeView>

namespace corvane {

class TTreeNode;
class TreeNodesModel;

// The window's tree. Its one column is as wide as the rows about those in
// view need (the header sizes it to them), so that a long text is read by
// scrolling sideways rather than cut short, and never narrower than the
// view, so that a row takes clicks across the whole view.
class InfoTreeView final : public QTreeView {
 public:
  InfoTreeView(TreeNodesModel& nodes, QWidget* parent);

  TreeNodesModel& Nodes() const { return nodes_; }
  // The node of the first selected row; null when none is selected.
  TTreeNode* SelectedNode() const;
  // Makes `node`'s row current and scrolls to it, which opens the branches
  // above it; a node that no row shows is passed over.
  void GoTo(const TTreeNode* node);

 protected:
  int sizeHintForColumn(int column) const override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  TreeNodesModel& nodes_;
};

}  // namespace corvane
