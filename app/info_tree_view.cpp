#include "info_tree_view.h"

#include <algorithm>

#include "tree_nodes_model.h"

namespace corvane {

InfoTreeView::InfoTreeView(TreeNodesModel& nodes, QWidget* parent) : QTreeView(parent), nodes_(nodes) {
  setModel(&nodes);
}

TTreeNode* InfoTreeView::SelectedNode() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? nullptr : nodes_.NodeAt(selected.front());
}

void InfoTreeView::GoTo(const TTreeNode* node) {
  const QModelIndex index = nodes_.IndexOf(node);
  if (!index.isValid()) return;
  setCurrentIndex(index);
  scrollTo(index);
}

int InfoTreeView::sizeHintForColumn(int column) const {
  return std::max(QTreeView::sizeHintForColumn(column), viewport()->width());
}

// The header sizes the column when rows are laid out, not when they
// scroll: rows scrolled into view widen it if they need more. Scrolling
// never narrows it, so the horizontal scroll bar stays put.
void InfoTreeView::scrollContentsBy(int dx, int dy) {
  QTreeView::scrollContentsBy(dx, dy);
  if (dy == 0) return;
  int width = columnWidth(0);
  const int bottom = viewport()->height();
  for (QModelIndex index = indexAt(QPoint(0, 0)); index.isValid(); index = indexBelow(index)) {
    const QRect row = visualRect(index);
    if (row.top() >= bottom) break;
    width = std::max(width, row.left() - columnViewportPosition(0) + sizeHintForIndex(index).width());
  }
  if (width > columnWidth(0)) setColumnWidth(0, width);
}

}  // namespace corvane
