// The tree inside the control: the node operations the columns rely on, and
// the events it raises with the parameter lists it publishes, including the
// ones whose handlers can refuse what is about to happen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include "Treelistview.h"
#include "control_test_support.h"

namespace Treelistview {
namespace {

using support::MakeShownView;

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = MakeShownView(300, 200, {{"Name", 150}, {"Value", 100}});
    tree_ = view_->pTreeView();
    nodes_ = support::AddTopNodes(*view_, {"alpha", "beta", "gamma"});
    child_ = tree_->Items()->AddChild(nodes_[0], QStringLiteral("child"));
    QApplication::processEvents();
  }

  QModelIndex IndexOf(int row) const { return tree_->model()->index(row, 0); }
  QPoint CentreOf(const TTreeNode* node) const { return tree_->DisplayRect(node, true).center(); }
  QPoint ButtonOf(int row) const {
    const QRect cell = tree_->visualRect(IndexOf(row));
    return {cell.left() - tree_->indentation() / 2, cell.center().y()};
  }

  std::unique_ptr<TTreeListView> view_;
  TTreeListViewTree* tree_ = nullptr;
  QList<TTreeNode*> nodes_;
  TTreeNode* child_ = nullptr;
};

TEST_F(TreeViewTest, ARowRectangleSpansTheViewportAndALabelStartsAfterTheIndentation) {
  const QRect row = tree_->DisplayRect(nodes_[1], false);
  EXPECT_EQ(row.left(), 0);
  EXPECT_EQ(row.width(), tree_->viewport()->width());
  const QRect label = tree_->DisplayRect(nodes_[1], true);
  EXPECT_EQ(label.top(), row.top());
  EXPECT_EQ(label.left(), tree_->indentation()) << "one slot for the root lines";
  EXPECT_GT(label.width(), tree_->fontMetrics().horizontalAdvance(QStringLiteral("beta")));
}

TEST_F(TreeViewTest, NodesNotShownAsRowsHaveEmptyRectangles) {
  EXPECT_TRUE(tree_->DisplayRect(child_, false).isEmpty()) << "under a collapsed parent";
  EXPECT_TRUE(tree_->DisplayRect(nullptr, false).isEmpty());
  for (int i = 0; i < 40; ++i) tree_->Items()->AddChild(nullptr, QStringLiteral("filler"));
  QApplication::processEvents();
  EXPECT_TRUE(tree_->DisplayRect(tree_->Items()->TopItem(42), false).isEmpty()) << "below the window";
}

TEST_F(TreeViewTest, TheTopItemAndNextVisibleFollowTheDisplayOrder) {
  EXPECT_EQ(tree_->GetTopItem(), nodes_[0]);
  EXPECT_EQ(tree_->GetNextVisible(nodes_[0]), nodes_[1]);
  nodes_[0]->SetExpanded(true);
  EXPECT_EQ(tree_->GetNextVisible(nodes_[0]), child_);
  EXPECT_EQ(tree_->GetNextVisible(child_), nodes_[1]);
  EXPECT_EQ(tree_->GetNextVisible(nodes_[2]), nullptr);
}

struct ChangeWay {
  const char* name;
  void (*change)(TTreeListViewTree& tree, TTreeNode* target, QPoint targetCentre);
};

void SelectFromProgram(TTreeListViewTree& tree, TTreeNode* target, QPoint) { tree.SetSelected(target); }

void SelectWithMouse(TTreeListViewTree& tree, TTreeNode*, QPoint targetCentre) {
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, targetCentre);
}

void SelectWithKeyboard(TTreeListViewTree& tree, TTreeNode*, QPoint) { QTest::keyClick(&tree, Qt::Key_Down); }

class RefusedChange : public TreeViewTest, public ::testing::WithParamInterface<ChangeWay> {};

TEST_P(RefusedChange, KeepsTheSelectedNodeWhicheverWayTheChangeComes) {
  tree_->SetSelected(nodes_[0]);
  int changes = 0;
  QList<TTreeNode*> asked;
  tree_->OnChanging = [&asked](TObject*, TTreeNode* node, bool& allow) {
    asked << node;
    allow = false;
  };
  tree_->OnChange = [&changes](TObject*, TTreeNode*) { ++changes; };
  GetParam().change(*tree_, nodes_[1], CentreOf(nodes_[1]));
  EXPECT_EQ(tree_->Selected(), nodes_[0]);
  EXPECT_FALSE(tree_->selectionModel()->isSelected(IndexOf(1)));
  EXPECT_EQ(asked, QList<TTreeNode*>({nodes_[1]}));
  EXPECT_EQ(changes, 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, RefusedChange,
                         ::testing::Values(ChangeWay{"program", SelectFromProgram}, ChangeWay{"mouse", SelectWithMouse},
                                           ChangeWay{"keyboard", SelectWithKeyboard}),
                         support::RowName());

TEST_F(TreeViewTest, AnAllowedChangeIsReportedWithTheNewNode) {
  QList<TTreeNode*> changed;
  tree_->OnChange = [&changed](TObject*, TTreeNode* node) { changed << node; };
  QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, CentreOf(nodes_[2]));
  EXPECT_EQ(tree_->Selected(), nodes_[2]);
  EXPECT_EQ(changed, QList<TTreeNode*>({nodes_[2]}));
}

TEST_F(TreeViewTest, AChangeDelayDefersTheChangeEvent) {
  tree_->setChangeDelay(20);
  int changes = 0;
  tree_->OnChange = [&changes](TObject*, TTreeNode*) { ++changes; };
  tree_->SetSelected(nodes_[1]);
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(QTest::qWaitFor([&changes] { return changes == 1; }));
}

struct ExpansionWay {
  const char* name;
  void (*expand)(TTreeListViewTree& tree, TTreeNode* node, QPoint button);
};

void ExpandInStore(TTreeListViewTree&, TTreeNode* node, QPoint) { node->SetExpanded(true); }

void ExpandWithButton(TTreeListViewTree& tree, TTreeNode*, QPoint button) {
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, button);
}

void ExpandWithKeyboard(TTreeListViewTree& tree, TTreeNode* node, QPoint) {
  tree.SetSelected(node);
  QTest::keyClick(&tree, Qt::Key_Right);
}

class Expansion : public TreeViewTest, public ::testing::WithParamInterface<ExpansionWay> {};

TEST_P(Expansion, AskedFirstCanBeRefusedAndIsReportedWhenDone) {
  QStringList events;
  tree_->OnExpanding = [&events](TObject*, TTreeNode* node, bool& allow) {
    events << QStringLiteral("expanding ") + node->Text();
    allow = false;
  };
  tree_->OnExpanded = [&events](TObject*, TTreeNode* node) { events << QStringLiteral("expanded ") + node->Text(); };
  GetParam().expand(*tree_, nodes_[0], ButtonOf(0));
  EXPECT_FALSE(tree_->isExpanded(IndexOf(0)));
  EXPECT_FALSE(nodes_[0]->Expanded());
  EXPECT_EQ(events, QStringList({QStringLiteral("expanding alpha")}));

  events.clear();
  tree_->OnExpanding = nullptr;
  GetParam().expand(*tree_, nodes_[0], ButtonOf(0));
  EXPECT_TRUE(tree_->isExpanded(IndexOf(0)));
  EXPECT_TRUE(nodes_[0]->Expanded()) << "the store follows the view";
  EXPECT_EQ(events, QStringList({QStringLiteral("expanded alpha")}));
}

INSTANTIATE_TEST_SUITE_P(Ways, Expansion,
                         ::testing::Values(ExpansionWay{"store", ExpandInStore},
                                           ExpansionWay{"button", ExpandWithButton},
                                           ExpansionWay{"keyboard", ExpandWithKeyboard}),
                         support::RowName());

TEST_F(TreeViewTest, ARefusedCollapseKeepsTheNodeOpen) {
  nodes_[0]->SetExpanded(true);
  tree_->OnCollapsing = [](TObject*, TTreeNode*, bool& allow) { allow = false; };
  int collapsed = 0;
  tree_->OnCollapsed = [&collapsed](TObject*, TTreeNode*) { ++collapsed; };
  QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, ButtonOf(0));
  EXPECT_TRUE(tree_->isExpanded(IndexOf(0)));
  EXPECT_TRUE(nodes_[0]->Expanded());
  EXPECT_EQ(collapsed, 0);
}

TEST_F(TreeViewTest, WithoutButtonsAClickWhereTheButtonWouldBeDoesNotExpand) {
  tree_->setShowButtons(false);
  QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, ButtonOf(0));
  EXPECT_FALSE(tree_->isExpanded(IndexOf(0)));
}

TEST_F(TreeViewTest, NodesAddedOutsideABatchAreAnnouncedAndEveryDeletedNodeToo) {
  QStringList added;
  QStringList deleted;
  tree_->OnAddition = [&added](TObject*, TTreeNode* node) { added << node->Text(); };
  tree_->OnDeletion = [&deleted](TObject*, TTreeNode* node) { deleted << node->Text(); };
  tree_->Items()->AddChild(nodes_[2], QStringLiteral("new"));
  EXPECT_EQ(added, QStringList({QStringLiteral("new")}));

  tree_->Items()->Delete(nodes_[0]);
  EXPECT_EQ(deleted, QStringList({QStringLiteral("child"), QStringLiteral("alpha")}));
  deleted.clear();
  view_.reset();
  EXPECT_EQ(deleted.size(), 3) << "the tree's own end deletes the remaining nodes";
}

TEST_F(TreeViewTest, SortingUsesTheCompareHandler) {
  tree_->OnCompare = [](TObject*, TTreeNode* node1, TTreeNode* node2, int, int& compare) {
    compare = node2->Text().compare(node1->Text());
  };
  tree_->setSortType(stText);
  EXPECT_EQ(tree_->Items()->TopItem(0), nodes_[2]);
  EXPECT_EQ(tree_->Items()->TopItem(2), nodes_[0]);
}

TEST_F(TreeViewTest, EditingCanBeRefusedAndTheEditedTextChangedByTheHandler) {
  tree_->setReadOnly(false);
  tree_->OnEditing = [this](TObject*, TTreeNode* node, bool& allow) { allow = node != nodes_[0]; };
  tree_->OnEdited = [](TObject*, TTreeNode*, QString& text) { text = text.toUpper(); };

  EXPECT_FALSE(tree_->EditText(nodes_[0]));
  EXPECT_FALSE(tree_->IsEditing());
  ASSERT_TRUE(tree_->EditText(nodes_[1]));
  auto* editor = tree_->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("renamed"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(nodes_[1]->Text(), QStringLiteral("RENAMED"));
}

TEST_F(TreeViewTest, AReadOnlyTreeStartsNoEdit) {
  int asked = 0;
  tree_->OnEditing = [&asked](TObject*, TTreeNode*, bool&) { ++asked; };
  EXPECT_FALSE(tree_->EditText(nodes_[1]));
  EXPECT_FALSE(tree_->IsEditing());
  EXPECT_EQ(asked, 0);
}

TEST_F(TreeViewTest, AKeyHandlerCanSwallowOrReplaceTheKey) {
  tree_->SetSelected(nodes_[0]);
  tree_->OnKeyDown = [](TObject*, int& key, TShiftState) {
    if (key == Qt::Key_Down) key = 0;
    if (key == Qt::Key_PageDown) key = Qt::Key_End;
  };
  QTest::keyClick(tree_, Qt::Key_Down);
  EXPECT_EQ(tree_->Selected(), nodes_[0]);
  QTest::keyClick(tree_, Qt::Key_PageDown);
  EXPECT_EQ(tree_->Selected(), nodes_[2]);
}

TEST_F(TreeViewTest, MouseEventsComeInTheirOrderWithClientCoordinates) {
  QStringList events;
  tree_->OnMouseDown = [&events](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
    events << QStringLiteral("down %1 %2 %3,%4").arg(button).arg(shift.testFlag(ssDouble)).arg(x).arg(y);
  };
  tree_->OnMouseUp = [&events](TObject*, TMouseButton, TShiftState, int, int) { events << QStringLiteral("up"); };
  tree_->OnClick = [&events](TObject*) { events << QStringLiteral("click"); };
  tree_->OnDblClick = [&events](TObject*) { events << QStringLiteral("double"); };
  QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, QPoint(60, 5));
  EXPECT_EQ(events, QStringList({"down 0 0 60,5", "click", "up"}));
  events.clear();
  QTest::mouseDClick(tree_->viewport(), Qt::LeftButton, {}, QPoint(60, 5));
  ASSERT_FALSE(events.isEmpty());
  EXPECT_EQ(events.last(), QStringLiteral("double"));
}

TEST_F(TreeViewTest, ARightClickSelectsOnlyWhenAskedTo) {
  tree_->SetSelected(nodes_[0]);
  QTest::mouseClick(tree_->viewport(), Qt::RightButton, {}, CentreOf(nodes_[2]));
  EXPECT_EQ(tree_->Selected(), nodes_[0]);
  tree_->setRightClickSelect(true);
  QTest::mouseClick(tree_->viewport(), Qt::RightButton, {}, CentreOf(nodes_[2]));
  EXPECT_EQ(tree_->Selected(), nodes_[2]);
}

TEST_F(TreeViewTest, AHandledContextPopupKeepsThePopupMenuClosed) {
  QMenu menu;
  tree_->setPopupMenu(&menu);
  QPoint asked;
  tree_->OnContextPopup = [&asked](TObject*, const QPoint& position, bool& handled) {
    asked = position;
    handled = true;
  };
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 7), tree_->viewport()->mapToGlobal(QPoint(20, 7)));
  QApplication::sendEvent(tree_->viewport(), &event);
  EXPECT_EQ(asked, QPoint(20, 7));
  EXPECT_FALSE(menu.isVisible());
}

TEST_F(TreeViewTest, ImageHandlersMaySetTheNodesImageWithoutPaintingForEver) {
  TCustomImageList images(nullptr, QSize(8, 8));
  images.Add(QIcon());
  tree_->setImages(&images);
  // The new row height is laid out in steps; let them all pass.
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  int asked = 0;
  tree_->OnGetImageIndex = [&asked](TObject*, TTreeNode* node) {
    ++asked;
    node->SetImageIndex(asked);
  };
  support::GrabTree(*view_);
  const int afterOnePaint = asked;
  EXPECT_EQ(afterOnePaint, 3);
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_EQ(asked, afterOnePaint) << "setting an index from the handler must not schedule another paint";
}

TEST_F(TreeViewTest, AnItemHandlerCanTakeOverARowsPainting) {
  tree_->OnCustomDrawItem = [this](TCustomTreeView*, TTreeNode* node, TCustomDrawState, bool& defaultDraw) {
    defaultDraw = node != nodes_[1];
  };
  const QImage image = support::GrabTree(*view_);
  EXPECT_FALSE(support::FindInk(image, tree_->DisplayRect(nodes_[1], false)).has_value());
  EXPECT_TRUE(support::FindInk(image, tree_->DisplayRect(nodes_[2], false)).has_value());
}

TEST_F(TreeViewTest, ADropFromAnotherTreeNamesThatTreeAsItsSource) {
  TTreeListView other;
  QStringList events;
  tree_->OnDragOver = [&](TObject*, TObject* source, int, int, TDragState state, bool& accept) {
    events << QStringLiteral("over %1 %2").arg(state).arg(source == other.pTreeView());
    accept = true;
  };
  tree_->OnDragDrop = [&](TObject*, TObject* source, int x, int y) {
    events << QStringLiteral("drop %1 %2,%3").arg(source == other.pTreeView()).arg(x).arg(y);
  };
  QMimeData data;
  const QPointF at(30, 12);
  QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(tree_->viewport(), &enter);
  QDragMoveEvent move(at.toPoint(), Qt::MoveAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(tree_->viewport(), &move);
  EXPECT_TRUE(move.isAccepted());
  // Events built here carry no source widget; the source of a drag from a
  // tree of this process is that tree.
  QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(tree_->viewport(), &drop);
  EXPECT_EQ(events, QStringList({"over 0 0", "over 2 0", "drop 0 30,12"}));
}

TEST_F(TreeViewTest, WithoutADragOverHandlerNothingCanBeDropped) {
  QMimeData data;
  QDragEnterEvent enter(QPoint(30, 12), Qt::MoveAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(tree_->viewport(), &enter);
  QDragMoveEvent move(QPoint(30, 12), Qt::MoveAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(tree_->viewport(), &move);
  EXPECT_FALSE(move.isAccepted());
}

TEST(TreeViewEvents, AHandlerBoundToAnObjectThatIsGoneCountsAsEmpty) {
  TTreeListViewTree tree;
  auto receiver = std::make_unique<QObject>();
  int calls = 0;
  tree.OnClick = {receiver.get(), [&calls](TObject*) { ++calls; }};
  ASSERT_TRUE(tree.OnClick);
  receiver.reset();
  EXPECT_FALSE(tree.OnClick);
}

struct KeptProperty {
  const char* name;
  QVariant value;
};

class PropertyWithoutEffect : public ::testing::TestWithParam<KeptProperty> {};

TEST_P(PropertyWithoutEffect, IsKeptAndReadBackByName) {
  TTreeListViewTree tree;
  ASSERT_TRUE(tree.setProperty(GetParam().name, GetParam().value));
  EXPECT_EQ(tree.property(GetParam().name), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PropertyWithoutEffect,
    ::testing::Values(KeptProperty{"Anchors", QVariant::fromValue(TAnchors(akLeft | akBottom))},
                      KeptProperty{"BevelEdges", QVariant::fromValue(TBevelEdges(beTop))},
                      KeptProperty{"BevelInner", QVariant::fromValue(bvSpace)},
                      KeptProperty{"BevelKind", QVariant::fromValue(bkFlat)}, KeptProperty{"BevelWidth", 3},
                      KeptProperty{"DragKind", QVariant::fromValue(dkDock)},
                      KeptProperty{"DragCursor", QVariant::fromValue(Qt::ForbiddenCursor)},
                      KeptProperty{"MultiSelectStyle", QVariant::fromValue(TMultiSelectStyles(msShiftSelect))},
                      KeptProperty{"ParentCtl3D", false}, KeptProperty{"ParentShowHint", false},
                      KeptProperty{"ShowHint", true}, KeptProperty{"TabOrder", 4}),
    support::RowName());

TEST(TreeViewProperties, MappedPropertiesActOnTheQtView) {
  TTreeListViewTree tree;
  tree.setProperty("Indent", 25);
  tree.setProperty("ShowRoot", false);
  tree.setProperty("MultiSelect", true);
  tree.setProperty("BorderStyle", QVariant::fromValue(bsNone));
  tree.setProperty("Color", QColor(Qt::yellow));
  tree.setProperty("TabStop", false);
  EXPECT_EQ(tree.indentation(), 25);
  EXPECT_FALSE(tree.rootIsDecorated());
  EXPECT_EQ(tree.selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(tree.frameShape(), QFrame::NoFrame);
  EXPECT_EQ(tree.palette().color(QPalette::Base), QColor(Qt::yellow));
  EXPECT_EQ(tree.focusPolicy(), Qt::ClickFocus);

  EXPECT_TRUE(tree.ParentFont());
  tree.setProperty("Font", QFont(QStringLiteral("Serif"), 20));
  EXPECT_FALSE(tree.ParentFont());
  tree.setParentFont(true);
  EXPECT_TRUE(tree.ParentFont());
}

}  // namespace
}  // namespace Treelistview
