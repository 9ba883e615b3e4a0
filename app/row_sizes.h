#pragma once

#include <QFont>
#include <QHash>
#include <QSize>
#include <QString>
#include <QStyledItemDelegate>

class QTreeView;

namespace corvane {

// The size of each row of the window's tree. Laying out a row's text is
// the dearest part of showing a tree, so a row whose text cannot reach past
// the view is not laid out, and the size of any other text is kept until
// the tree is rebuilt (docs/performance.md).
class RowSizes final : public QStyledItemDelegate {
 public:
  explicit RowSizes(QTreeView& view);

  // The tree was rebuilt: sizes kept are stale.
  void Forget() { sizes_.clear(); }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  static constexpr qsizetype kMaxTexts = 4096;

  void Measure(const QStyleOptionViewItem& option) const;
  bool WithinView(const QString& text, const QModelIndex& index) const;

  const QTreeView& view_;
  mutable QFont font_;
  mutable qreal widest_ = 0;
  mutable int besideText_ = 0;
  mutable int height_ = 0;
  mutable QHash<QString, QSize> sizes_;
};

}  // namespace corvane
