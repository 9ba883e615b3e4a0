#include "control_test_support.h"

#include <QApplication>
#include <QTest>

namespace Treelistview::support {

std::unique_ptr<TTreeListView> MakeShownView(int width, int height, std::initializer_list<ColumnDefinition> columns) {
  auto view = std::make_unique<TTreeListView>();
  for (const ColumnDefinition& column : columns)
    view->ColumnsGet()->Add(column.caption, column.width, column.alignment);
  view->resize(width, height);
  view->show();
  if (!QTest::qWaitForWindowExposed(view.get())) return view;
  QApplication::processEvents();
  return view;
}

QList<TTreeNode*> AddTopNodes(TTreeListView& view, const QStringList& texts) {
  QList<TTreeNode*> nodes;
  for (const QString& text : texts) nodes.append(view.pTreeView()->Items()->AddChild(nullptr, text));
  QApplication::processEvents();
  return nodes;
}

THeaderControl& HeaderOf(TTreeListView& view) { return *view.findChild<THeaderControl*>(); }

QImage GrabTree(TTreeListView& view) {
  return view.pTreeView()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int FrameOffsetOf(TTreeListView& view) { return view.pTreeView()->viewport()->geometry().left(); }

std::optional<InkExtent> FindInk(const QImage& image, const QRect& area) {
  std::optional<InkExtent> extent;
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (qGray(image.pixel(x, y)) >= 128) continue;
      if (!extent) extent = InkExtent{x, x};
      extent->first = std::min(extent->first, x);
      extent->last = std::max(extent->last, x);
    }
  }
  return extent;
}

}  // namespace Treelistview::support
