#pragma once

// Shared by the control's tests: a shown TTreeListView with columns, and
// measurements on grabbed images of its tree.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <memory>

#include "Treelistview.h"

// Failure messages show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace Treelistview::support {

struct ColumnDefinition {
  QString caption;
  int width;
  TAlignment alignment = taLeftJustify;
};

// A top-level control of the given size, shown (offscreen), with the given
// columns and top-level nodes.
inline std::unique_ptr<TTreeListView> MakeShownView(int width, int height,
                                                    std::initializer_list<ColumnDefinition> columns = {},
                                                    const QStringList& nodes = {}) {
  auto view = std::make_unique<TTreeListView>();
  for (const ColumnDefinition& column : columns) view->ColumnsGet()->Add(column.caption, column.width, column.alignment);
  for (const QString& text : nodes) view->pTreeView()->Items()->AddChild(nullptr, text);
  view->resize(width, height);
  view->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  QApplication::processEvents();
  return view;
}

inline TTreeNode* Node(TTreeListView& view, int row) { return view.pTreeView()->Items()->TopItem(row); }

inline THeaderControl& HeaderOf(TTreeListView& view) { return *view.findChild<THeaderControl*>(); }

// The tree's viewport as painted now.
inline QImage GrabTree(TTreeListView& view) {
  return view.pTreeView()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Where the tree's client coordinates start, in header coordinates.
inline int FrameOffsetOf(TTreeListView& view) { return view.pTreeView()->viewport()->geometry().left(); }

// Cell `column` of `node`'s row in tree client coordinates: under the header
// section, one pixel in at top and bottom, cut at the row's right end.
inline QRect CellRect(TTreeListView& view, const TTreeNode* node, int column) {
  const QRect row = view.pTreeView()->DisplayRect(node, false);
  const THeaderSection* section = view.ColumnsGet()->Item(column);
  const int left = section->Left() - FrameOffsetOf(view);
  const int right = std::min(section->Right() - FrameOffsetOf(view), row.right() + 1 - FrameOffsetOf(view));
  return {left, row.top() + 1, right - left, row.height() - 2};
}

// Whether `area` holds any dark ("ink") pixel.
inline bool HasInk(const QImage& image, const QRect& area) {
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) return true;
    }
  }
  return false;
}

}  // namespace Treelistview::support
