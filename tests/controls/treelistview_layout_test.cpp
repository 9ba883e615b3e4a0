// The control's structure: what a new control holds, how header and tree
// share its height, the column accessors, and the order in which it ends.

#include <gtest/gtest.h>

#include <QApplication>

#include "Treelistview.h"
#include "control_test_support.h"

namespace Treelistview {
namespace {

using support::HeaderOf;
using support::MakeShownView;

TEST(TreeListViewStructure, StartsWithTheDeclaredDefaultsAndTheTreeTheConstructorSetsUp) {
  TTreeListView view;
  EXPECT_EQ(view.BevelOuter(), bvNone);
  EXPECT_TRUE(view.TabStop());
  EXPECT_TRUE(view.ColumnsVisibleGet());
  EXPECT_EQ(view.ColumnsStyleGet(), hsButtons);
  EXPECT_EQ(view.ColumnsGet()->Count(), 0);
  EXPECT_EQ(view.ColumnsIListGet(), nullptr);
  EXPECT_FALSE(view.OnColumnDataAdd);
  EXPECT_FALSE(view.OnColumnDataGet);

  TTreeListViewTree* tree = view.pTreeView();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->parentWidget(), &view);
  EXPECT_FALSE(tree->HideSelection());
  EXPECT_TRUE(tree->ReadOnly());
  EXPECT_TRUE(tree->RowSelect());
  EXPECT_EQ(tree->Items()->GetCount(), 0);
  // Everything else keeps the tree view's own defaults.
  EXPECT_TRUE(tree->ShowLines());
  EXPECT_TRUE(tree->ShowButtons());
  EXPECT_TRUE(tree->ShowRoot());
  EXPECT_EQ(tree->Indent(), 19);
  EXPECT_EQ(tree->BorderStyle(), bsSingle);
}

TEST(TreeListViewStructure, PropertiesAreReachableByNameAsFormsSetThem) {
  TTreeListView view;
  EXPECT_TRUE(view.setProperty("ColumnsVisible", false));
  EXPECT_FALSE(view.ColumnsVisibleGet());
  EXPECT_TRUE(view.setProperty("BevelOuter", QStringLiteral("bvRaised")));
  EXPECT_EQ(view.BevelOuter(), bvRaised);
  EXPECT_EQ(view.property("pTreeView").value<TTreeListViewTree*>(), view.pTreeView());
  EXPECT_EQ(view.property("Columns").value<THeaderSections*>(), view.ColumnsGet());
}

struct LayoutCase {
  const char* name;
  int extraHeight;  // control height minus header height
  bool treeShown;
};

class TreeListViewLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TreeListViewLayout, GivesTheTreeTheHeightBelowTheHeaderOrHidesIt) {
  const LayoutCase& test = GetParam();
  auto view = MakeShownView(200, 100);
  const int headerHeight = HeaderOf(*view).height();
  ASSERT_GT(headerHeight, 0);
  view->resize(200, headerHeight + test.extraHeight);
  QApplication::processEvents();

  TTreeListViewTree* tree = view->pTreeView();
  EXPECT_EQ(tree->isVisibleTo(view.get()), test.treeShown);
  EXPECT_TRUE(HeaderOf(*view).isVisibleTo(view.get()));
  EXPECT_EQ(HeaderOf(*view).geometry(), QRect(0, 0, 200, headerHeight));
  if (test.treeShown) {
    EXPECT_EQ(tree->geometry(), QRect(0, headerHeight, 200, test.extraHeight));
  }
}

INSTANTIATE_TEST_SUITE_P(HeightAroundTheHeader, TreeListViewLayout,
                         ::testing::Values(LayoutCase{"well_below", -10, false}, LayoutCase{"one_below", -1, false},
                                           LayoutCase{"equal", 0, false}, LayoutCase{"one_above", 1, true},
                                           LayoutCase{"roomy", 80, true}),
                         support::RowName());

TEST(TreeListViewLayoutChanges, AHiddenTreeComesBackWhenTheControlGrowsAgain) {
  auto view = MakeShownView(200, 100);
  const int headerHeight = HeaderOf(*view).height();
  view->resize(200, headerHeight);
  QApplication::processEvents();
  ASSERT_FALSE(view->pTreeView()->isVisibleTo(view.get()));
  view->resize(200, headerHeight + 40);
  QApplication::processEvents();
  EXPECT_TRUE(view->pTreeView()->isVisibleTo(view.get()));
  EXPECT_EQ(view->pTreeView()->height(), 40);
}

TEST(TreeListViewLayoutChanges, HidingTheColumnsGivesTheTreeTheWholeHeightAtOnce) {
  auto view = MakeShownView(200, 100);
  view->ColumnsVisibleSet(false);
  EXPECT_FALSE(view->ColumnsVisibleGet());
  EXPECT_EQ(view->pTreeView()->geometry(), QRect(0, 0, 200, 100));
  view->ColumnsVisibleSet(true);
  EXPECT_EQ(view->pTreeView()->geometry(), QRect(0, HeaderOf(*view).height(), 200, 100 - HeaderOf(*view).height()));
}

TEST(TreeListViewLayoutChanges, OnlyASizeChangeOrARealChangeOfColumnsVisibleRelaysOut) {
  auto view = MakeShownView(200, 100);
  TTreeListViewTree* tree = view->pTreeView();
  // A tree height that no layout would give it shows whether a layout ran.
  tree->resize(tree->width(), 7);

  view->ColumnsVisibleSet(true);
  view->ColumnsStyleSet(hsFlat);
  HeaderOf(*view).resize(HeaderOf(*view).width(), HeaderOf(*view).height() + 5);
  EXPECT_EQ(tree->height(), 7);

  view->ColumnsVisibleSet(false);
  EXPECT_EQ(tree->height(), 100);
}

TEST(TreeListViewLifetime, DestroysTheTreeBeforeTheHeader) {
  auto view = std::make_unique<TTreeListView>();
  QStringList order;
  QObject::connect(view->pTreeView(), &QObject::destroyed, [&order] { order << QStringLiteral("tree"); });
  QObject::connect(&HeaderOf(*view), &QObject::destroyed, [&order] { order << QStringLiteral("header"); });
  view.reset();
  EXPECT_EQ(order, QStringList({QStringLiteral("tree"), QStringLiteral("header")}));
}

TEST(TreeListViewColumns, TheColumnsAreTheHeadersLiveSections) {
  TTreeListView view;
  view.ColumnsGet()->Add(QStringLiteral("Name"), 120);
  view.ColumnsGet()->Add(QStringLiteral("Size"), 60, taRightJustify);
  const THeaderControl& header = HeaderOf(view);
  ASSERT_EQ(header.count(), 2);
  EXPECT_EQ(header.sectionSize(1), 60);
  EXPECT_EQ(header.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));

  view.ColumnsGet()->Item(1)->SetWidth(75);
  EXPECT_EQ(header.sectionSize(1), 75);
  EXPECT_EQ(view.ColumnsGet()->Item(1)->Left(), 120);
  EXPECT_EQ(view.ColumnsGet()->Item(1)->Right(), 195);
}

TEST(TreeListViewColumns, AssigningColumnsCopiesThemAndIgnoresNull) {
  TTreeListView view;
  THeaderSections source;
  source.Add(QStringLiteral("A"), 40);
  source.Add(QStringLiteral("B"), 50, taCenter);
  view.ColumnsSet(&source);
  source.Item(0)->SetText(QStringLiteral("changed later"));

  ASSERT_EQ(view.ColumnsGet()->Count(), 2);
  EXPECT_EQ(view.ColumnsGet()->Item(0)->Text(), QStringLiteral("A"));
  EXPECT_EQ(view.ColumnsGet()->Item(1)->Alignment(), taCenter);
  view.ColumnsSet(nullptr);
  EXPECT_EQ(view.ColumnsGet()->Count(), 2);
}

TEST(TreeListViewRegistration, RegistersTheControlOnTheVarnholdPage) {
  const TComponentPage page = Register();
  EXPECT_EQ(page.Name, QStringLiteral("Varnhold xCtl"));
  ASSERT_EQ(page.Classes.size(), 1);
  EXPECT_STREQ(page.Classes.front()->className(), "Treelistview::TTreeListView");
}

}  // namespace
}  // namespace Treelistview
