// The column painter, checked on images of the painted tree: where cell
// texts land, what a refused row keeps, what gets cleared, how overlong
// texts are clipped, which background the columns get, and how often the
// application is asked per repaint.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>

#include "Treelistview.h"
#include "control_test_support.h"

namespace Treelistview {
namespace {

using support::FindInk;
using support::FrameOffsetOf;
using support::GrabTree;
using support::MakeShownView;

// Cell `column` of `node`'s row in tree client coordinates, as the painter
// lays it out: under the header section, one pixel in at top and bottom.
QRect CellRect(TTreeListView& view, const TTreeNode* node, int column) {
  const QRect row = view.pTreeView()->DisplayRect(node, false);
  const THeaderSection* section = view.ColumnsGet()->Item(column);
  const int offset = FrameOffsetOf(view);
  const int limit = row.x() + row.width() - offset;
  const int left = section->Left() - offset;
  const int right = std::min(section->Right() - offset, limit);
  return {left, row.top() + 1, right - left, row.height() - 2};
}

// A handler that answers `text` for one column and nothing for the others.
TTreeListView::TColumnDataGetEvent TextIn(int wantedColumn, const QString& text) {
  return [wantedColumn, text](TTreeListView*, TTreeNode*, int column, QString& asText) {
    if (column == wantedColumn) asText = text;
  };
}

struct AlignmentCase {
  const char* name;
  TAlignment alignment;
};

class CellAlignment : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(CellAlignment, PlacesTheCellTextInsideItsColumnAsTheSectionAligns) {
  auto view = MakeShownView(360, 160, {{"Name", 100}, {"Value", 120, GetParam().alignment}, {"Other", 100}});
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"a", "b"});
  view->OnColumnDataGet = TextIn(1, QStringLiteral("WW"));

  const QImage image = GrabTree(*view);
  const QRect cell = CellRect(*view, nodes[1], 1);
  const auto ink = FindInk(image, cell);
  ASSERT_TRUE(ink.has_value());
  const int right = cell.x() + cell.width();
  switch (GetParam().alignment) {
    case taLeftJustify:
      EXPECT_LE(ink->first - cell.x(), 2);
      break;
    case taRightJustify:
      EXPECT_LE(right - 1 - ink->last, 2);
      break;
    case taCenter:
      EXPECT_NEAR((ink->first + ink->last + 1) / 2.0, cell.x() + cell.width() / 2.0, 2.0);
      break;
  }
  EXPECT_FALSE(FindInk(image, CellRect(*view, nodes[1], 2)).has_value());
}

INSTANTIATE_TEST_SUITE_P(Alignments, CellAlignment,
                         ::testing::Values(AlignmentCase{"left", taLeftJustify}, AlignmentCase{"right", taRightJustify},
                                           AlignmentCase{"centre", taCenter}),
                         support::RowName());

TEST(ColumnPainting, ARefusedRowKeepsExactlyWhatTheTreePaintedAcrossAllColumns) {
  const QString overlong = QStringLiteral("an overlong node text that runs far under the columns");
  auto view = MakeShownView(360, 160, {{"Name", 80}, {"Value", 120}, {"Other", 100}});
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {overlong, overlong});
  view->OnColumnDataAdd = [refused = nodes[1]](TTreeListView*, TTreeNode* node) { return node != refused; };
  view->OnColumnDataGet = TextIn(2, QString());

  const QImage withColumns = GrabTree(*view);
  // With a single column the control paints nothing: the tree's own rows.
  view->ColumnsGet()->Delete(2);
  view->ColumnsGet()->Delete(1);
  const QImage treeAlone = GrabTree(*view);

  const QRect refusedRow = view->pTreeView()->DisplayRect(nodes[1], false);
  EXPECT_EQ(withColumns.copy(refusedRow), treeAlone.copy(refusedRow));
  EXPECT_TRUE(FindInk(withColumns, refusedRow.adjusted(100, 1, 0, -1)).has_value());
  const QRect allowedRow = view->pTreeView()->DisplayRect(nodes[0], false);
  EXPECT_FALSE(FindInk(withColumns, allowedRow.adjusted(80, 1, 0, -1)).has_value());
}

TEST(ColumnPainting, WithoutATextHandlerTheColumnAreaIsClearedWithTheTreeColour) {
  auto view = MakeShownView(360, 160, {{"Name", 60}, {"Value", 120}});
  const QList<TTreeNode*> nodes =
      support::AddTopNodes(*view, {QStringLiteral("a node text much wider than sixty pixels")});
  const QImage image = GrabTree(*view);
  const QRect cell = CellRect(*view, nodes[0], 1);
  EXPECT_FALSE(FindInk(image, cell).has_value());
  EXPECT_EQ(QColor(image.pixel(cell.center())), view->pTreeView()->Color());
}

struct OverlongCase {
  const char* name;
  TAlignment alignment;
};

class OverlongCellText : public ::testing::TestWithParam<OverlongCase> {};

TEST_P(OverlongCellText, IsPlacedByItsAlignmentAndClippedToItsCell) {
  const QString text = QStringLiteral("1234567890123");
  auto view = MakeShownView(360, 160, {{"Name", 100}, {"Value", 30, GetParam().alignment}, {"Other", 100}});
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"n"});
  view->OnColumnDataGet = TextIn(1, text);
  const QImage image = GrabTree(*view);
  const QRect cell = CellRect(*view, nodes[0], 1);

  // The whole text drawn where its alignment puts it, then cut to the cell:
  // a right-justified text keeps its end, a centred one its middle.
  const int width = view->pTreeView()->fontMetrics().horizontalAdvance(text);
  ASSERT_GT(width, cell.width());
  int x = 0;
  if (GetParam().alignment == taRightJustify) x = cell.width() - width;
  if (GetParam().alignment == taCenter) x = (cell.width() - width) / 2;
  QImage expected(cell.size(), QImage::Format_RGB32);
  expected.fill(view->pTreeView()->Color());
  QPainter painter(&expected);
  painter.setFont(view->pTreeView()->font());
  painter.setPen(QApplication::palette(view->pTreeView()).color(QPalette::Active, QPalette::Text));
  painter.drawText(QPoint(x, view->pTreeView()->fontMetrics().ascent()), text);
  painter.end();
  EXPECT_EQ(image.copy(cell), expected);

  const int right = cell.x() + cell.width();
  EXPECT_FALSE(FindInk(image, QRect(cell.x() - 15, cell.y(), 15, cell.height())).has_value());
  EXPECT_FALSE(FindInk(image, QRect(right, cell.y(), 15, cell.height())).has_value());
}

INSTANTIATE_TEST_SUITE_P(Alignments, OverlongCellText,
                         ::testing::Values(OverlongCase{"right", taRightJustify}, OverlongCase{"centre", taCenter},
                                           OverlongCase{"left", taLeftJustify}),
                         support::RowName());

TEST(ColumnPainting, AColumnPastTheTreesRightEdgeIsCutThereAndALaterOneShowsNothing) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Wide", 400}, {"Beyond", 50}});
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"n"});
  int askedBeyond = 0;
  view->OnColumnDataGet = [&askedBeyond](TTreeListView*, TTreeNode*, int column, QString& text) {
    text = QString(40, QLatin1Char('W'));
    if (column == 2) ++askedBeyond;
  };
  const QImage image = GrabTree(*view);
  const QRect row = view->pTreeView()->DisplayRect(nodes[0], false);
  const int limit = row.width() - FrameOffsetOf(*view);
  const auto ink = FindInk(image, row.adjusted(100, 1, 0, -1));
  ASSERT_TRUE(ink.has_value());
  EXPECT_LT(ink->last, limit);
  EXPECT_EQ(askedBeyond, 1);
}

struct BackgroundCase {
  const char* name;
  bool showLines;
  bool rowSelect;
  bool fullRowColours;
};

class SelectedRowColumns : public ::testing::TestWithParam<BackgroundCase> {};

TEST_P(SelectedRowColumns, TakeTheItemsBrushOnlyForAFullRowSelection) {
  auto view = MakeShownView(360, 160, {{"Name", 120}, {"Value", 100}, {"Other", 100}});
  TTreeListViewTree* tree = view->pTreeView();
  tree->setShowLines(GetParam().showLines);
  tree->setRowSelect(GetParam().rowSelect);
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"a", "b"});
  tree->SetSelected(nodes[1]);
  view->OnColumnDataGet = TextIn(2, QStringLiteral("WW"));

  const QImage image = GrabTree(*view);
  const QColor emptyCell(image.pixel(CellRect(*view, nodes[1], 1).center()));
  // Inside the label's highlight: the brush the tree prepared for the item.
  const QRect label = tree->DisplayRect(nodes[1], true);
  const QColor itemBrush(image.pixel(label.left() + 1, label.top() + 1));
  ASSERT_NE(itemBrush, tree->Color()) << "the selection must show for the test to mean anything";
  EXPECT_EQ(emptyCell, GetParam().fullRowColours ? itemBrush : tree->Color());

  // The cell text is drawn in the window-text colour either way.
  const QColor text = QApplication::palette(tree).color(QPalette::Active, QPalette::Text);
  const QRect cell = CellRect(*view, nodes[1], 2);
  bool textColourFound = false;
  for (int y = cell.top(); y <= cell.bottom() && !textColourFound; ++y) {
    for (int x = cell.left(); x <= cell.right() && !textColourFound; ++x)
      textColourFound = image.pixel(x, y) == text.rgb();
  }
  EXPECT_TRUE(textColourFound);
}

INSTANTIATE_TEST_SUITE_P(LinesAndRowSelect, SelectedRowColumns,
                         ::testing::Values(BackgroundCase{"full_row", false, true, true},
                                           BackgroundCase{"lines_shown", true, true, false}),
                         support::RowName());

TEST(ColumnPainting, NonFullRowSelectionLeavesTheColumnsOnTheTreeColour) {
  auto view = MakeShownView(360, 160, {{"Name", 120}, {"Value", 100}});
  TTreeListViewTree* tree = view->pTreeView();
  tree->setShowLines(false);
  tree->setRowSelect(false);
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"a"});
  tree->SetSelected(nodes[0]);
  const QImage image = GrabTree(*view);
  EXPECT_EQ(QColor(image.pixel(CellRect(*view, nodes[0], 1).center())), tree->Color());
}

struct FrameCase {
  const char* name;
  TBorderStyle border;
  int borderWidth;
  int rows;  // enough rows give the tree a vertical scroll bar
};

class CellsUnderHeaders : public ::testing::TestWithParam<FrameCase> {};

TEST_P(CellsUnderHeaders, StayUnderTheirSectionsWhateverTheTreesFrame) {
  auto view = MakeShownView(360, 160, {{"Name", 100}, {"Value", 100}});
  TTreeListViewTree* tree = view->pTreeView();
  tree->setBorderStyle(GetParam().border);
  tree->setBorderWidth(GetParam().borderWidth);
  QStringList texts;
  for (int i = 0; i < GetParam().rows; ++i) texts << QStringLiteral("n%1").arg(i);
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, texts);
  view->OnColumnDataGet = TextIn(1, QStringLiteral("WW"));

  const QImage image = GrabTree(*view);
  const auto ink = FindInk(image, CellRect(*view, nodes[0], 1));
  ASSERT_TRUE(ink.has_value());
  const int inkInHeader = ink->first + FrameOffsetOf(*view);
  EXPECT_GE(inkInHeader, view->ColumnsGet()->Item(1)->Left());
  EXPECT_LE(inkInHeader, view->ColumnsGet()->Item(1)->Left() + 2);
}

INSTANTIATE_TEST_SUITE_P(Frames, CellsUnderHeaders,
                         ::testing::Values(FrameCase{"single_border", bsSingle, 0, 2},
                                           FrameCase{"no_border", bsNone, 0, 2},
                                           FrameCase{"wide_inner_border", bsSingle, 5, 2},
                                           FrameCase{"vertical_scroll_bar", bsSingle, 0, 40}),
                         support::RowName());

struct CallCountCase {
  const char* name;
  int sections;
};

class ColumnEventsPerRepaint : public ::testing::TestWithParam<CallCountCase> {};

TEST_P(ColumnEventsPerRepaint, AskOncePerRowAndOncePerCellBeyondColumnZero) {
  // Narrow enough that the last columns lie past the tree's right edge.
  auto view = MakeShownView(300, 160);
  for (int i = 0; i < GetParam().sections; ++i) view->ColumnsGet()->Add(QStringLiteral("c%1").arg(i), 90);
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"a", "b", "c"});
  int adds = 0;
  int gets = 0;
  view->OnColumnDataAdd = [&adds](TTreeListView*, TTreeNode*) {
    ++adds;
    return true;
  };
  view->OnColumnDataGet = [&gets](TTreeListView*, TTreeNode*, int, QString&) { ++gets; };

  GrabTree(*view);
  const int rows = static_cast<int>(nodes.size());
  const int paintingColumns = GetParam().sections >= 2 ? GetParam().sections - 1 : 0;
  EXPECT_EQ(adds, paintingColumns > 0 ? rows : 0);
  EXPECT_EQ(gets, rows * paintingColumns);
}

INSTANTIATE_TEST_SUITE_P(SectionCounts, ColumnEventsPerRepaint,
                         ::testing::Values(CallCountCase{"none", 0}, CallCountCase{"one", 1}, CallCountCase{"two", 2},
                                           CallCountCase{"six", 6}),
                         support::RowName());

}  // namespace
}  // namespace Treelistview
