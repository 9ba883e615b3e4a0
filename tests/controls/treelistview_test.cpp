// TTreeListView: what it fixes about itself, how header and tree share its
// height, and the order in which it ends; then its columns, checked on
// images of the painted tree and on the widths a fit gives: where cell texts
// land and how they are clipped, what a refused row keeps, and which rows a
// fit measures.

#include <QPainter>

#include "control_test_support.h"

namespace Treelistview {
namespace {

using support::CellRect;
using support::FrameOffsetOf;
using support::GrabTree;
using support::HasInk;
using support::HeaderOf;
using support::MakeShownView;
using support::Node;

TEST(TreeListView, StartsWithTheValuesItDeclaresRegistersOnItsPageAndDestroysTheTreeBeforeTheHeader) {
  auto view = std::make_unique<TTreeListView>();
  TTreeListViewTree* tree = view->pTreeView();
  struct Row {
    const QObject* object;
    const char* property;
    QVariant value;
  };
  const Row rows[] = {
      {view.get(), "BevelOuter", QVariant::fromValue(bvNone)},
      {view.get(), "TabStop", true},
      {view.get(), "ColumnsVisible", true},
      // Set by the control's constructor.
      {tree, "HideSelection", false},
      {tree, "ReadOnly", true},
      {tree, "RowSelect", true},
  };
  for (const Row& row : rows) EXPECT_EQ(row.object->property(row.property), row.value) << row.property;

  const TComponentPage page = Register();
  EXPECT_EQ(page.Name, QStringLiteral("Varnhold xCtl"));
  ASSERT_EQ(page.Classes.size(), 1);
  EXPECT_STREQ(page.Classes.front()->className(), "Treelistview::TTreeListView");

  QStringList order;
  QObject::connect(tree, &QObject::destroyed, [&order] { order << QStringLiteral("tree"); });
  QObject::connect(&HeaderOf(*view), &QObject::destroyed, [&order] { order << QStringLiteral("header"); });
  view.reset();
  EXPECT_EQ(order, QStringList({QStringLiteral("tree"), QStringLiteral("header")}));
}

TEST(TreeListView, GivesTheTreeTheHeightBelowTheHeader) {
  auto view = MakeShownView(200, 100);
  TTreeListViewTree* tree = view->pTreeView();
  const int header = HeaderOf(*view).height();
  struct Row {
    int extraHeight;  // control height minus header height
    bool treeShown;
  };
  // Hidden at the header's height or less, back as soon as there is room.
  for (const Row row : {Row{-1, false}, {0, false}, {1, true}, {0, false}, {80, true}}) {
    view->resize(200, header + row.extraHeight);
    QApplication::processEvents();
    EXPECT_EQ(tree->isVisibleTo(view.get()), row.treeShown) << row.extraHeight;
    if (row.treeShown) {
      EXPECT_EQ(tree->geometry(), QRect(0, header, 200, row.extraHeight));
    }
    EXPECT_EQ(HeaderOf(*view).geometry(), QRect(0, 0, 200, header));
  }
}

TEST(ColumnPainting, DrawsTheTextOnePixelBelowTheRowTopPlacedByTheAlignmentAndClippedToItsCell) {
  struct Row {
    TAlignment alignment;
    QString text;
    TBorderStyle border = bsSingle;
    int borderWidth = 0;
    int rows = 1;  // enough rows give the tree a vertical scroll bar
  };
  const QString overlong = QStringLiteral("1234567890123");
  const Row rows[] = {
      {taLeftJustify, "WW"}, {taRightJustify, "WW"}, {taCenter, "WW"},
      {taLeftJustify, overlong}, {taRightJustify, overlong}, {taCenter, overlong},
      // Cells stay under their sections whatever the tree's frame.
      {taLeftJustify, "WW", bsNone}, {taLeftJustify, "WW", bsSingle, 5}, {taRightJustify, "WW", bsSingle, 0, 40},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    auto view = MakeShownView(360, 160, {{"Name", 100}, {"Value", 60, row.alignment}, {"Other", 100}},
                              QStringList(row.rows, QStringLiteral("n")));
    TTreeListViewTree* tree = view->pTreeView();
    tree->setBorderStyle(row.border);
    tree->setBorderWidth(row.borderWidth);
    view->OnColumnDataGet = [&row](TTreeListView*, TTreeNode*, int column, QString& text) {
      if (column == 1) text = row.text;
    };
    const QImage image = GrabTree(*view);
    const QRect cell = CellRect(*view, Node(*view, 0), 1);

    // The whole text drawn where its alignment puts it, then cut to the
    // cell: an overlong right-justified text keeps its end, a centred one
    // its middle.
    const int width = tree->fontMetrics().horizontalAdvance(row.text);
    int x = 0;
    if (row.alignment == taRightJustify) x = cell.width() - width;
    if (row.alignment == taCenter) x = (cell.width() - width) / 2;
    QImage expected(cell.size(), QImage::Format_RGB32);
    expected.fill(tree->Color());
    QPainter painter(&expected);
    painter.setFont(tree->font());
    painter.setPen(QApplication::palette(tree).color(QPalette::Active, QPalette::Text));
    painter.drawText(QPoint(x, tree->fontMetrics().ascent()), row.text);
    painter.end();
    EXPECT_EQ(image.copy(cell), expected);
    EXPECT_FALSE(HasInk(image, QRect(cell.x() - 15, cell.y(), 15, cell.height())));
    EXPECT_FALSE(HasInk(image, QRect(cell.x() + cell.width(), cell.y(), 15, cell.height())));
  }
}

TEST(ColumnPainting, ARefusedRowKeepsWhatTheTreePaintedAndOtherRowsAreClearedRightOfColumnZero) {
  const QString overlong = QStringLiteral("an overlong node text that runs far under the columns");
  auto view = MakeShownView(360, 160, {{"Name", 80}, {"Value", 120}, {"Other", 100}}, {overlong, overlong});
  view->OnColumnDataAdd = [refused = Node(*view, 1)](TTreeListView*, TTreeNode* node) { return node != refused; };
  const QImage withColumns = GrabTree(*view);
  // With a single column the control paints nothing: the tree's own rows.
  view->ColumnsGet()->Delete(2);
  view->ColumnsGet()->Delete(1);
  const QImage treeAlone = GrabTree(*view);

  const QRect refusedRow = view->pTreeView()->DisplayRect(Node(*view, 1), false);
  EXPECT_EQ(withColumns.copy(refusedRow), treeAlone.copy(refusedRow));
  EXPECT_TRUE(HasInk(withColumns, refusedRow.adjusted(100, 1, 0, -1)));
  const QRect allowedRow = view->pTreeView()->DisplayRect(Node(*view, 0), false);
  EXPECT_FALSE(HasInk(withColumns, allowedRow.adjusted(80, 1, 0, -1)));
}

TEST(ColumnFit, GivesTheWidestTextOrTheMinimumPlusOneAskingOncePerRowWithTheColumnNumber) {
  struct Row {
    int minimum;
    QStringList texts;  // one row each
    int widthBeyondWidest;
  };
  const Row rows[] = {
      {-1, {}, 30}, {0, {}, 1}, {12, {}, 13}, {0, {"", ""}, 1}, {0, {"short", "the widest text", ""}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.minimum << " " << row.texts.join('|').toStdString());
    auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 50}, {"Other", 77}}, row.texts);
    QList<int> askedColumns;
    // Fitting measures rows that painting would leave without columns.
    view->OnColumnDataAdd = [](TTreeListView*, TTreeNode*) { return false; };
    view->OnColumnDataGet = [&](TTreeListView*, TTreeNode* node, int column, QString& text) {
      askedColumns << column;
      text = row.texts.at(node->Index());
    };
    view->ColumnFit(view->ColumnsGet()->Item(2), row.minimum);
    int widest = 0;
    for (const QString& text : row.texts) widest = std::max(widest, view->pTreeView()->fontMetrics().horizontalAdvance(text));
    EXPECT_EQ(view->ColumnsGet()->Item(2)->Width(), widest + row.widthBeyondWidest);
    EXPECT_EQ(askedColumns, QList<int>(row.texts.size(), 2));
  }
}

TEST(ColumnFit, ColumnZeroMeasuresTheTreesOwnTextLabels) {
  auto view = MakeShownView(300, 160, {{"Name", 40}, {"Value", 50}}, {"parent", "x"});
  TTreeListViewTree* tree = view->pTreeView();
  TTreeNode* child = tree->Items()->AddChild(Node(*view, 0), QStringLiteral("a deeper child node"));
  Node(*view, 0)->SetExpanded(true);
  QApplication::processEvents();
  view->ColumnFit(view->ColumnsGet()->Item(0), -1);
  const QRect label = tree->DisplayRect(child, true);
  EXPECT_EQ(view->ColumnsGet()->Item(0)->Width(), label.x() + label.width() + FrameOffsetOf(*view) + 1);
}

TEST(ColumnFit, AHeaderClickFitsTheColumnToTheRowsOnScreenAndRepaintsThemAsARefreshOrAResizeDoes) {
  QStringList texts;
  for (int i = 0; i < 60; ++i) texts << QStringLiteral("row %1").arg(i);
  auto view = MakeShownView(300, 160, {{"Name", 100}, {"Value", 90}}, texts);
  TTreeListViewTree* tree = view->pTreeView();
  TTreeNode* hidden = tree->Items()->AddChild(Node(*view, 20), QStringLiteral("under a collapsed parent"));
  tree->scrollTo(tree->model()->index(15, 0), QAbstractItemView::PositionAtTop);
  QApplication::processEvents();
  ASSERT_EQ(tree->GetTopItem(), Node(*view, 15));
  QList<const TTreeNode*> asked;
  view->OnColumnDataGet = [&asked](TTreeListView*, TTreeNode* node, int, QString& text) {
    asked << node;
    text = QStringLiteral("1");
  };

  THeaderControl& header = HeaderOf(*view);
  QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, QPoint(140, header.height() / 2));
  EXPECT_EQ(view->ColumnsGet()->Item(1)->Width(), 30);
  EXPECT_EQ(asked.value(0), Node(*view, 15));
  EXPECT_FALSE(asked.contains(hidden));
  EXPECT_FALSE(asked.contains(Node(*view, 59))) << "rows below the window are not on screen";
  // What repaints the rows on screen: the fit, ColumnsRefresh and a resize
  // in the header; a width set by the program or a new style does not.
  struct Step {
    const char* name;
    std::function<void()> run;
    bool repaints;
  };
  const Step steps[] = {
      {"the fit", [] {}, true},
      {"ColumnsRefresh", [&] { view->ColumnsRefresh(); }, true},
      {"a resize in the header", [&] { header.resizeSection(1, 80); }, true},
      {"a width set by the program", [&] { view->ColumnsGet()->Item(1)->SetWidth(50); }, false},
      {"a new header style", [&] { view->ColumnsStyleSet(hsFlat); }, false},
  };
  const qsizetype rowsOnScreen = asked.size();
  for (const Step& step : steps) {
    asked.clear();
    step.run();
    QApplication::processEvents();
    EXPECT_EQ(asked.size(), step.repaints ? rowsOnScreen : 0) << step.name;
  }
  EXPECT_EQ(view->ColumnsGet()->Item(1)->Width(), 50);
}

}  // namespace
}  // namespace Treelistview
