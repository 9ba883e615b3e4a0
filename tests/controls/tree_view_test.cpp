// The tree inside the control: the events it raises with the parameter
// lists it publishes, reached the way a user or a program reaches them,
// including the ones whose handlers can refuse what is about to happen.

#include <QMenu>

#include <functional>

#include "control_test_support.h"

namespace Treelistview {
namespace {

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = support::MakeShownView(300, 200, {{"Name", 150}, {"Value", 100}}, {"alpha", "beta", "gamma"});
    tree_ = view_->pTreeView();
    for (int row = 0; row < 3; ++row) nodes_ << support::Node(*view_, row);
    tree_->Items()->AddChild(nodes_[0], QStringLiteral("child"));
    QApplication::processEvents();
  }

  QModelIndex IndexOf(int row) const { return tree_->model()->index(row, 0); }
  QPoint ButtonOf(int row) const {
    const QRect cell = tree_->visualRect(IndexOf(row));
    return {cell.left() - tree_->indentation() / 2, cell.center().y()};
  }

  std::unique_ptr<TTreeListView> view_;
  TTreeListViewTree* tree_ = nullptr;
  QList<TTreeNode*> nodes_;
};

TEST_F(TreeViewTest, ExpandingAndCollapsingAreAskedFirstWhicheverWayTheyComeAndReportedOnceDone) {
  struct Way {
    const char* name;
    std::function<void(bool expand)> toggleAlpha;
  };
  const Way ways[] = {
      {"store", [this](bool expand) { nodes_[0]->SetExpanded(expand); }},
      {"button", [this](bool) { QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, ButtonOf(0)); }},
      {"keyboard",
       [this](bool expand) {
         tree_->SetSelected(nodes_[0]);
         QTest::keyClick(tree_, expand ? Qt::Key_Right : Qt::Key_Left);
       }},
  };
  QStringList events;
  bool allow = false;
  tree_->OnExpanding = [&](TObject*, TTreeNode* node, bool& allowChange) {
    events << QStringLiteral("expanding ") + node->Text();
    allowChange = allow;
  };
  tree_->OnCollapsing = [&](TObject*, TTreeNode* node, bool& allowChange) {
    events << QStringLiteral("collapsing ") + node->Text();
    allowChange = allow;
  };
  tree_->OnExpanded = [&events](TObject*, TTreeNode* node) { events << QStringLiteral("expanded ") + node->Text(); };
  tree_->OnCollapsed = [&events](TObject*, TTreeNode* node) { events << QStringLiteral("collapsed ") + node->Text(); };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    events.clear();
    for (const bool expand : {true, false}) {
      allow = false;
      way.toggleAlpha(expand);
      EXPECT_EQ(tree_->isExpanded(IndexOf(0)), !expand);
      EXPECT_EQ(nodes_[0]->Expanded(), !expand);
      allow = true;
      way.toggleAlpha(expand);
      EXPECT_EQ(tree_->isExpanded(IndexOf(0)), expand);
      EXPECT_EQ(nodes_[0]->Expanded(), expand) << "the store follows the view";
    }
    EXPECT_EQ(events, QStringList({"expanding alpha", "expanding alpha", "expanded alpha", "collapsing alpha",
                                   "collapsing alpha", "collapsed alpha"}));
  }
}

TEST_F(TreeViewTest, NodesAddedOutsideABatchAreAnnouncedAndEveryDeletedNodeToo) {
  QStringList added;
  QStringList deleted;
  auto form = std::make_unique<QObject>();
  tree_->OnAddition = {form.get(), [&added](TObject*, TTreeNode* node) { added << node->Text(); }};
  tree_->OnDeletion = [&deleted](TObject*, TTreeNode* node) { deleted << node->Text(); };
  tree_->Items()->AddChild(nodes_[2], QStringLiteral("new"));
  // The view learns of a batch only at its end, expansions made in the
  // store meanwhile included.
  tree_->Items()->BeginUpdate();
  tree_->Items()->AddChild(nodes_[1], QStringLiteral("in a batch"));
  nodes_[0]->SetExpanded(true);
  tree_->Items()->EndUpdate();
  QApplication::processEvents();
  EXPECT_EQ(added, QStringList({QStringLiteral("new")}));
  EXPECT_TRUE(tree_->isExpanded(IndexOf(0)));
  // A handler bound to an object that is gone counts as empty.
  form.reset();
  tree_->Items()->AddChild(nodes_[2], QStringLiteral("unannounced"));
  EXPECT_EQ(added.size(), 1);

  tree_->Items()->Delete(nodes_[0]);
  EXPECT_EQ(deleted, QStringList({QStringLiteral("child"), QStringLiteral("alpha")}));
  deleted.clear();
  view_.reset();
  EXPECT_EQ(deleted.size(), 5) << "the tree's own end deletes the remaining nodes";
}

TEST_F(TreeViewTest, SortingByNameUsesTheCompareHandler) {
  tree_->OnCompare = [](TObject*, TTreeNode* node1, TTreeNode* node2, int, int& compare) {
    compare = node2->Text().compare(node1->Text());
  };
  ASSERT_TRUE(tree_->setProperty("SortType", QStringLiteral("stText")));
  EXPECT_EQ(tree_->Items()->TopItem(0), nodes_[2]);
  nodes_[2]->SetText(QStringLiteral("a renamed gamma"));
  EXPECT_EQ(tree_->Items()->TopItem(2), nodes_[2]) << "a renamed node is sorted again";
}

// Real mouse and key events on the tree: what each handler hears, in order,
// and what a handler's answer does to the event.
TEST_F(TreeViewTest, MouseAndKeyHandlersHearTheEventsInOrderAndCanSwallowOrReplaceKeys) {
  QStringList log;
  const auto mouse = [&log](const char* what) {
    return [&log, what](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
      log << QStringLiteral("%1 %2 %3 %4,%5").arg(what).arg(button).arg(shift.toInt()).arg(x).arg(y);
    };
  };
  tree_->OnMouseDown = mouse("down");
  tree_->OnMouseUp = mouse("up");
  tree_->OnClick = [&log](TObject*) { log << QStringLiteral("click"); };
  tree_->OnDblClick = [&log](TObject*) { log << QStringLiteral("double"); };
  tree_->OnChange = [&log](TObject*, TTreeNode* node) { log << QStringLiteral("change ") + node->Text(); };
  int replaceKey = -1;  // -1: leave the key alone
  QChar replaceCharacter = u'?';  // '?': leave the character alone
  tree_->OnKeyDown = [&](TObject*, int& key, TShiftState shift) {
    log << QStringLiteral("key down %1 %2").arg(key).arg(shift.toInt());
    if (replaceKey >= 0) key = replaceKey;
  };
  tree_->OnKeyPress = [&](TObject*, QChar& character) {
    log << QStringLiteral("key press ") + character;
    if (replaceCharacter != u'?') character = replaceCharacter;
  };
  tree_->OnKeyUp = [&](TObject*, int& key, TShiftState) { log << QStringLiteral("key up %1").arg(key); };
  const QPoint beta = tree_->visualRect(IndexOf(1)).center();
  const QString at = QStringLiteral(" %1,%2").arg(beta.x()).arg(beta.y());
  const QPoint outside(tree_->viewport()->width() + 5, beta.y());
  struct Case {
    const char* what;
    std::function<void()> act;
    QStringList heard;
    QString current;  // afterwards
  };
  const QString left = QString::number(mbLeft);
  const QString right = QString::number(mbRight);
  const Case cases[] = {
      {"left click", [&] { QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, beta); },
       {"down " + left + " 8" + at, "change beta", "click", "up " + left + " 0" + at}, "beta"},
      {"shift+right click", [&] { QTest::mouseClick(tree_->viewport(), Qt::RightButton, Qt::ShiftModifier, beta); },
       {"down " + right + " 17" + at, "up " + right + " 1" + at}, "alpha"},
      {"released outside the tree",
       [&] {
         QTest::mousePress(tree_->viewport(), Qt::LeftButton, {}, beta);
         QTest::mouseRelease(tree_->viewport(), Qt::LeftButton, {}, outside);
       },
       {"down " + left + " 8" + at, "change beta",
        QStringLiteral("up %1 0 %2,%3").arg(left).arg(outside.x()).arg(outside.y())},
       "beta"},
      {"double click", [&] { QTest::mouseDClick(tree_->viewport(), Qt::LeftButton, {}, beta); },
       {"down " + left + " 72" + at, "double"}, "alpha"},
      {"Down", [&] { QTest::keyClick(tree_, Qt::Key_Down); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_Down), "change beta", QStringLiteral("key up %1").arg(Qt::Key_Down)},
       "beta"},
      {"Down swallowed", [&] { replaceKey = 0; QTest::keyClick(tree_, Qt::Key_Down, Qt::ControlModifier); },
       {QStringLiteral("key down %1 4").arg(Qt::Key_Control), QStringLiteral("key down %1 4").arg(Qt::Key_Down),
        QStringLiteral("key up %1").arg(Qt::Key_Down), QStringLiteral("key up %1").arg(Qt::Key_Control)},
       "alpha"},
      {"Up turned into End", [&] { replaceKey = Qt::Key_End; QTest::keyClick(tree_, Qt::Key_Up); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_Up), "change gamma", QStringLiteral("key up %1").arg(Qt::Key_Up)},
       "gamma"},
      {"'g' searches", [&] { QTest::keyClick(tree_, Qt::Key_G); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_G), "key press g", "change gamma",
        QStringLiteral("key up %1").arg(Qt::Key_G)},
       "gamma"},
      {"'g' swallowed on key down", [&] { replaceKey = 0; QTest::keyClick(tree_, Qt::Key_G); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_G), QStringLiteral("key up %1").arg(Qt::Key_G)}, "alpha"},
      {"'g' swallowed", [&] { replaceCharacter = QChar(); QTest::keyClick(tree_, Qt::Key_G); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_G), "key press g", QStringLiteral("key up %1").arg(Qt::Key_G)},
       "alpha"},
      {"'g' turned into 'b'", [&] { replaceCharacter = u'b'; QTest::keyClick(tree_, Qt::Key_G); },
       {QStringLiteral("key down %1 0").arg(Qt::Key_G), "key press g", "change beta",
        QStringLiteral("key up %1").arg(Qt::Key_G)},
       "beta"},
  };
  for (const Case& c : cases) {
    tree_->keyboardSearch({});  // a new search for each case
    tree_->SetSelected(nodes_[0]);
    log.clear();
    c.act();
    replaceKey = -1;
    replaceCharacter = u'?';
    EXPECT_EQ(log, c.heard) << c.what;
    EXPECT_EQ(tree_->Selected()->Text(), c.current) << c.what;
  }
  // A key release is the view's unless the handler swallows it.
  for (const bool swallow : {false, true}) {
    tree_->OnKeyUp = [swallow](TObject*, int& key, TShiftState) { key = swallow ? 0 : key; };
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(tree_, &release);
    EXPECT_EQ(release.isAccepted(), swallow);
  }
}

// A menu asked for by mouse or keyboard: the position the handler hears, and
// whether the event counts as handled.
TEST_F(TreeViewTest, TheContextPopupHandlerHearsWhereAndDecidesWhetherTheMenuEventIsTaken) {
  QMenu menu;
  tree_->setPopupMenu(&menu);
  QContextMenuEvent unhandled(QContextMenuEvent::Mouse, QPoint(12, 7), tree_->viewport()->mapToGlobal(QPoint(12, 7)));
  QApplication::sendEvent(tree_->viewport(), &unhandled);
  EXPECT_TRUE(menu.isVisible()) << "without a handler the menu shows";
  menu.close();
  QPoint heard;
  bool answer = false;
  tree_->OnContextPopup = [&](TObject*, const QPoint& position, bool& handled) {
    heard = position;
    handled = answer;
  };
  for (const bool withMenu : {false, true}) {
    tree_->setPopupMenu(withMenu ? &menu : nullptr);
    for (const bool handledByHandler : {false, true}) {
      for (const auto reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
        answer = handledByHandler;
        QContextMenuEvent event(reason, QPoint(12, 7), tree_->viewport()->mapToGlobal(QPoint(12, 7)));
        QApplication::sendEvent(tree_->viewport(), &event);
        EXPECT_EQ(heard, reason == QContextMenuEvent::Mouse ? QPoint(12, 7) : QPoint(-1, -1));
        EXPECT_EQ(event.isAccepted(), withMenu || handledByHandler) << withMenu << handledByHandler;
        EXPECT_EQ(menu.isVisible(), withMenu && !handledByHandler) << withMenu << handledByHandler;
        menu.close();
      }
    }
  }
}

}  // namespace
}  // namespace Treelistview
