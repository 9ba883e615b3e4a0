// Fitting a column to the rows on screen: the widths it gives, which rows
// it measures, what it asks the application, and the header click that
// starts it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Treelistview.h"
#include "control_test_support.h"

namespace Treelistview {
namespace {

using support::FrameOffsetOf;
using support::HeaderOf;
using support::MakeShownView;

struct MinimumCase {
  const char* name;
  int minimum;
  int width;
};

class FitOfAnEmptyTree : public ::testing::TestWithParam<MinimumCase> {};

TEST_P(FitOfAnEmptyTree, GivesTheMinimumPlusOnePixel) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 77}});
  view->ColumnFit(view->ColumnsGet()->Item(1), GetParam().minimum);
  EXPECT_EQ(view->ColumnsGet()->Item(1)->Width(), GetParam().width);
}

INSTANTIATE_TEST_SUITE_P(Minimums, FitOfAnEmptyTree,
                         ::testing::Values(MinimumCase{"negative_means_29", -1, 30}, MinimumCase{"zero", 0, 1},
                                           MinimumCase{"twelve", 12, 13}),
                         support::RowName());

TEST(ColumnFit, OnlyEmptyTextsWithMinimumZeroMakeTheColumnOnePixelWide) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 77}});
  support::AddTopNodes(*view, {"a", "b"});
  view->OnColumnDataGet = [](TTreeListView*, TTreeNode*, int, QString&) {};
  view->ColumnFit(view->ColumnsGet()->Item(1), 0);
  EXPECT_EQ(view->ColumnsGet()->Item(1)->Width(), 1);
}

TEST(ColumnFit, AColumnBeyondZeroGetsItsWidestTextPlusOneAskingOncePerRowWithItsNumber) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 50}, {"Other", 50}});
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"a", "b", "c"});
  const QHash<const TTreeNode*, QString> texts = {
      {nodes[0], QStringLiteral("short")}, {nodes[1], QStringLiteral("the widest text")}, {nodes[2], QString()}};
  QList<int> askedColumns;
  view->OnColumnDataAdd = [](TTreeListView*, TTreeNode*) { return false; };
  view->OnColumnDataGet = [&](TTreeListView*, TTreeNode* node, int column, QString& text) {
    askedColumns << column;
    text = texts.value(node);
  };

  view->ColumnFit(view->ColumnsGet()->Item(2), 0);
  const int widest = view->pTreeView()->fontMetrics().horizontalAdvance(QStringLiteral("the widest text"));
  EXPECT_EQ(view->ColumnsGet()->Item(2)->Width(), widest + 1);
  EXPECT_EQ(askedColumns, QList<int>({2, 2, 2}));
}

TEST(ColumnFit, ColumnZeroMeasuresTheTreesOwnTextLabelsAndNeverAsks) {
  auto view = MakeShownView(300, 160, {{"Name", 40}, {"Value", 50}});
  TTreeListViewTree* tree = view->pTreeView();
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, {"parent", "x"});
  TTreeNode* child = tree->Items()->AddChild(nodes[0], QStringLiteral("a deeper child node"));
  nodes[0]->SetExpanded(true);
  QApplication::processEvents();
  int asked = 0;
  view->OnColumnDataGet = [&asked](TTreeListView*, TTreeNode*, int, QString&) { ++asked; };

  view->ColumnFit(view->ColumnsGet()->Item(0), -1);
  const QRect label = tree->DisplayRect(child, true);
  ASSERT_GT(label.width(), 0);
  EXPECT_EQ(view->ColumnsGet()->Item(0)->Width(), label.x() + label.width() + FrameOffsetOf(*view) + 1);
  EXPECT_EQ(asked, 0);
}

TEST(ColumnFit, MeasuresOnlyRowsFromTheTopRowDownThatTheTreeShows) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 50}});
  TTreeListViewTree* tree = view->pTreeView();
  QStringList texts;
  for (int i = 0; i < 60; ++i) texts << QStringLiteral("row %1").arg(i);
  const QList<TTreeNode*> nodes = support::AddTopNodes(*view, texts);
  TTreeNode* hidden = tree->Items()->AddChild(nodes[20], QStringLiteral("under a collapsed parent"));
  tree->scrollTo(tree->model()->index(15, 0), QAbstractItemView::PositionAtTop);
  QApplication::processEvents();
  ASSERT_EQ(tree->GetTopItem(), nodes[15]);

  QList<const TTreeNode*> measured;
  view->OnColumnDataGet = [&measured](TTreeListView*, TTreeNode* node, int, QString&) { measured << node; };
  view->ColumnFit(view->ColumnsGet()->Item(1), -1);

  ASSERT_FALSE(measured.isEmpty());
  EXPECT_EQ(measured.front(), nodes[15]);
  EXPECT_FALSE(measured.contains(nodes[14]));
  EXPECT_FALSE(measured.contains(hidden));
  EXPECT_FALSE(measured.contains(nodes.back())) << "rows below the window are not on screen";
  for (const TTreeNode* node : measured) EXPECT_FALSE(tree->DisplayRect(node, false).isEmpty());
}

TEST(ColumnFit, AHeaderClickFitsTheColumnToAtLeastThirtyPixels) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 90}});
  support::AddTopNodes(*view, {"a"});
  view->OnColumnDataGet = [](TTreeListView*, TTreeNode*, int, QString& text) { text = QStringLiteral("1"); };
  THeaderControl& header = HeaderOf(*view);
  QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, QPoint(140, header.height() / 2));
  EXPECT_EQ(view->ColumnsGet()->Item(1)->Width(), 30);
}

TEST(ColumnFit, AFitRepaintsTheTree) {
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 90}});
  support::AddTopNodes(*view, {"a"});
  int gets = 0;
  view->OnColumnDataGet = [&gets](TTreeListView*, TTreeNode*, int, QString&) { ++gets; };
  view->ColumnFit(view->ColumnsGet()->Item(1), -1);
  gets = 0;
  QApplication::processEvents();
  EXPECT_EQ(gets, 1) << "one row repainted";
}

}  // namespace
}  // namespace Treelistview
