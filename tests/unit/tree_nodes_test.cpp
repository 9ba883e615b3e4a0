#include "tree_nodes.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>
#include <vector>

namespace corvane {
namespace {

QStringList ChildTexts(const TTreeNodes& items, const TTreeNode* parent) {
  QStringList texts;
  for (int i = 0; i < (parent ? parent->Count() : items.TopCount()); ++i) texts << (parent ? parent->Item(i) : items.TopItem(i))->Text();
  return texts;
}

// Records what a view would hear, one word per notification.
class RecordingObserver final : public TreeNodesObserver {
 public:
  std::vector<std::string> events;
  void BatchUpdateStarted() override { events.push_back("begin"); }
  void BatchUpdateEnded() override { events.push_back("end"); }
  void NodesDeletingInBatch() override { events.push_back("deleting-in-batch"); }
  void NodesInserting(TTreeNode*, int first, int) override { events.push_back("inserting@" + std::to_string(first)); }
  void NodesInserted() override { events.push_back("inserted"); }
  void NodeRemoving(TTreeNode*) override { events.push_back("removing"); }
  void NodeRemoved() override { events.push_back("removed"); }
  void NodeChanged(TTreeNode*) override { events.push_back("changed"); }
  void ChildrenReordering(TTreeNode*) override { events.push_back("reordering"); }
  void ChildrenReordered(TTreeNode*) override { events.push_back("reordered"); }
  void ExpandedChanged(TTreeNode*) override { events.push_back("expanded"); }
};

TEST(TreeNodes, AddFirstPutsNewTopLevelNodesAboveTheOthersAndDeleteAndClearRaiseOnDeletionOncePerNode) {
  TTreeNodes items;
  std::vector<QString> deleted;
  items.OnDeletion = [&](TTreeNode* node) { deleted.push_back(node->Text()); };
  TTreeNode* a = items.AddFirst(nullptr, "a");
  items.AddFirst(nullptr, "b");
  TTreeNode* a1 = items.AddChild(a, "a1");
  items.AddChild(a1, "a1x");
  items.AddChild(a, "a2");
  items.AddChild(nullptr, "last");
  EXPECT_EQ(ChildTexts(items, nullptr), QStringList({"b", "a", "last"}));
  EXPECT_EQ(ChildTexts(items, a), QStringList({"a1", "a2"}));
  EXPECT_EQ(a->Item(1)->Level(), 1);
  EXPECT_EQ(a->getNextSibling()->Text(), "last");

  items.Delete(a1);
  EXPECT_EQ(deleted.size(), 2u);
  EXPECT_EQ(items.GetCount(), 4);
  EXPECT_EQ(a->Item(0)->Index(), 0) << "siblings after a deleted node move up";
  deleted.clear();
  items.Clear();
  EXPECT_EQ(deleted.size(), 4u);
  EXPECT_EQ(items.TopCount(), 0);
}

// Only renaming a node sorts, and only its siblings, keeping the order of
// those that compare equal; adding and appending to a text never sort.
TEST(TreeNodes, SetTextStablyResortsOnlyTheNodesSiblingsWhenSortingByText) {
  TTreeNodes items;
  items.SortType = TSortType::stText;
  items.OnCompare = [](TTreeNode* a, TTreeNode* b, int, int& compare) {
    compare = a->Text().compare(b->Text(), Qt::CaseInsensitive);
  };
  TTreeNode* c = items.AddChild(nullptr, "c");
  items.AddChild(c, "z");
  items.AddChild(c, "y");
  for (const char* text : {"B", "a", "b", "A"}) items.AddChild(nullptr, text);
  items.TopItem(4)->AppendText(u"0");
  EXPECT_EQ(ChildTexts(items, nullptr), QStringList({"c", "B", "a", "b", "A0"}));
  items.TopItem(1)->SetText("B");
  EXPECT_EQ(ChildTexts(items, nullptr), QStringList({"a", "A0", "B", "b", "c"}));
  EXPECT_EQ(ChildTexts(items, c), QStringList({"z", "y"})) << "a deeper level is not sorted";
}

// Outside a batch a view hears each change; inside one it hears nothing
// until the outermost end but a warning before nodes it may still show go.
TEST(TreeNodes, AViewHearsEachChangeOutsideABatchAndInsideOneOnlyThatNodesItMayShowGo) {
  TTreeNodes items;
  items.SortType = TSortType::stText;
  RecordingObserver view;
  items.SetObserver(&view);
  TTreeNode* b = items.AddChild(nullptr, "b");
  TTreeNode* a = items.AddFirst(nullptr, "a");
  b->SetText("c");
  b->SetExpanded(true);
  items.Delete(items.AddChild(nullptr, "d"));
  EXPECT_EQ(view.events, std::vector<std::string>({"inserting@0", "inserted", "inserting@0", "inserted", "changed", "reordering",
                                                   "reordered", "expanded", "inserting@2", "inserted", "removing", "removed"}));
  view.events.clear();
  items.BeginUpdate();
  items.BeginUpdate();
  TTreeNode* root = items.AddFirst(nullptr, "root");
  items.AddChild(root, "child")->SetText("renamed");
  root->SetExpanded(true);
  items.Delete(items.AddChild(a, "added in this batch"));
  items.EndUpdate();
  EXPECT_EQ(view.events, std::vector<std::string>({"begin"})) << "no view can know a node of the running batch";
  items.Delete(a);
  items.Clear();
  items.EndUpdate();
  EXPECT_EQ(view.events, std::vector<std::string>({"begin", "deleting-in-batch", "deleting-in-batch", "end"}));
  EXPECT_FALSE(items.Updating());
}

}  // namespace
}  // namespace corvane
