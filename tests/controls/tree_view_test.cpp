// The tree inside the control: the events it raises with the parameter
// lists it publishes, reached the way a user or a program reaches them,
// including the ones whose handlers can refuse what is about to happen.

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

}  // namespace
}  // namespace Treelistview
