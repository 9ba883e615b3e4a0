#pragma once

#include <QTreeView>

namespace corvane {

// The window's tree. Its one column is as wide as the rows about those in
// view need (the header sizes it to them), so that a long text is read by
// scrolling sideways rather than cut short, and never narrower than the
// view, so that a row takes clicks across the whole view.
class InfoTreeView final : public QTreeView {
 public:
  using QTreeView::QTreeView;

 protected:
  int sizeHintForColumn(int column) const override;
  void scrollContentsBy(int dx, int dy) override;
};

}  // namespace corvane
