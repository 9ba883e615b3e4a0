#pragma once

// The node store behind the main tree: nodes with a text, three icon
// indexes, ordered children, an expanded flag and a data slot, and the
// collection operations the tree logic relies on. It knows nothing of any
// display; a view follows it through TreeNodesObserver.

#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "node_text.h"

namespace corvane {
Q_NAMESPACE

class TTreeNodes;
class TTreeNode;

// A node's children, in order. Most nodes are leaves, so a list costs one
// pointer until it holds something.
class ChildList {
 public:
  std::size_t size() const { return items_ ? items_->size() : 0; }
  bool empty() const { return size() == 0; }
  TTreeNode* operator[](std::size_t index) const { return (*items_)[index]; }
  TTreeNode* front() const { return items_->front(); }
  TTreeNode* const* begin() const { return items_ ? items_->data() : nullptr; }
  TTreeNode* const* end() const { return begin() + size(); }
  std::span<TTreeNode*> Span() { return items_ ? std::span<TTreeNode*>(*items_) : std::span<TTreeNode*>(); }

  void Insert(std::size_t position, TTreeNode* node);
  void Reserve(std::size_t capacity);
  void Erase(std::size_t position);
  void Clear() { items_.reset(); }

 private:
  std::unique_ptr<std::vector<TTreeNode*>> items_;
};

class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  QString Text() const { return text_.ToString(); }
  // The text as stored, without a copy; valid until the collection changes.
  NodeTextView TextView() const { return text_; }
  // Sets the text, then re-sorts this node's siblings when the collection
  // sorts by text. Deeper levels are not touched.
  void SetText(const QString& text);
  // Changes the text in place: the node keeps its place among its siblings.
  void AppendText(QStringView tail);
  void SetTextInPlace(QStringView text);

  int ImageIndex() const { return imageIndex_; }
  int SelectedIndex() const { return selectedIndex_; }
  int StateIndex() const { return stateIndex_; }
  void SetImageIndex(int index);
  void SetSelectedIndex(int index);
  void SetStateIndex(int index);
  // All three indexes at once, with one notification.
  void SetIndexes(int image, int selected, int state);

  // The parent, or null for a top-level node.
  TTreeNode* Parent() const;
  TTreeNodes* Owner() const;
  int Level() const;
  // Position among the siblings.
  int Index() const { return index_; }
  int Count() const { return static_cast<int>(children_.size()); }
  TTreeNode* Item(int index) const { return children_[static_cast<std::size_t>(index)]; }
  bool GetChildren() const { return !children_.empty(); }
  TTreeNode* getFirstChild() const { return children_.empty() ? nullptr : children_.front(); }
  // The child that follows `child` among this node's children, or null.
  TTreeNode* GetNextChild(const TTreeNode* child) const;
  TTreeNode* getNextSibling() const;

  bool Expanded() const { return expanded_; }
  void SetExpanded(bool expanded);

  // A mark a view may draw the node with: 0 for none, higher for graver.
  // It belongs to the node: a node made later in a deleted one's place
  // starts without.
  int Mark() const { return mark_; }
  void SetMark(int mark);

  // A block attached to the node and owned by it. Nothing attaches one today;
  // the slot exists so that deletion can release what a caller attached.
  void* Data() const { return data_.get(); }
  void SetData(std::unique_ptr<std::byte[]> block) { data_ = std::move(block); }

 private:
  friend class TTreeNodes;
  TTreeNode(TTreeNodes* owner, TTreeNode* parent, NodeTextView text);
  // Nodes live in their collection's pool, which alone ends them.
  ~TTreeNode();

  // Only the hidden root of a collection knows its owner; other nodes find it
  // through their ancestors, which keeps every node a pointer smaller.
  TTreeNodes* owner_ = nullptr;
  TTreeNode* parent_ = nullptr;
  ChildList children_;                // owned by the collection's pool
  NodeTextView text_;                 // owned by the collection's text store
  std::unique_ptr<std::byte[]> data_;
  int index_ = 0;
  short imageIndex_ = -1;
  short selectedIndex_ = -1;
  short stateIndex_ = -1;
  bool expanded_ = false;
  std::uint8_t mark_ = 0;
  // The batch update the node was added in (0 outside any); a view cannot
  // have seen a node added in the batch still running.
  unsigned batch_ = 0;
};

// What a view needs to follow the store. Single changes are reported only
// outside a batch update; inside one, the view hears nothing until the
// outermost update ends, and then learns once that everything may have
// changed. The one exception: nodes the view may have seen that are about to
// be freed inside an update are announced, so that the view can let go
// before it could touch freed memory. Nodes added in the same batch are
// freed silently: no view knows them yet.
class TreeNodesObserver {
 public:
  virtual ~TreeNodesObserver() = default;
  virtual void BatchUpdateStarted() = 0;
  virtual void BatchUpdateEnded() = 0;
  virtual void NodesDeletingInBatch() = 0;
  // `parent` null means the top level.
  virtual void NodesInserting(TTreeNode* parent, int first, int last) = 0;
  virtual void NodesInserted() = 0;
  virtual void NodeRemoving(TTreeNode* node) = 0;
  virtual void NodeRemoved() = 0;
  virtual void NodeChanged(TTreeNode* node) = 0;
  virtual void ChildrenReordering(TTreeNode* parent) = 0;
  virtual void ChildrenReordered(TTreeNode* parent) = 0;
  virtual void ExpandedChanged(TTreeNode* node) = 0;
};

// When a store re-sorts a node's siblings by itself: with stText or stBoth
// whenever the node's text changes. The store keeps no data to sort on, so
// stData alone never does. Registered so that a view can publish it as a
// property whose values are read and written by name.
enum TSortType { stNone, stData, stText, stBoth };
Q_ENUM_NS(TSortType)

class TTreeNodes {
 public:
  // Negative when the first node goes first, 0 when equal, positive after.
  using CompareEvent = std::function<void(TTreeNode* node1, TTreeNode* node2, int data, int& compare)>;
  using DeletionEvent = std::function<void(TTreeNode* node)>;

  TTreeNodes();
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;
  ~TTreeNodes();

  // A new top-level node before all others (`sibling` is accepted for the
  // familiar signature and must be null).
  TTreeNode* AddFirst(TTreeNode* sibling, const QString& text);
  // A new last child of `parent` (null: a new last top-level node). Adding
  // never sorts.
  TTreeNode* AddChild(TTreeNode* parent, const QString& text);
  // The same for a text in Latin-1, without a conversion on the way.
  TTreeNode* AddChild(TTreeNode* parent, QLatin1StringView text);
  TTreeNode* AddChild(TTreeNode* parent, NodeTextView text);
  // Makes room for `count` more children of `parent`, so that a caller
  // about to add many does not have the list grow again and again.
  void ReserveChildren(TTreeNode* parent, std::size_t count);
  // Removes the node and its subtree, raising OnDeletion once per node.
  void Delete(TTreeNode* node);
  // Removes every node, raising OnDeletion once per node.
  void Clear();
  // Number of nodes at every level.
  int GetCount() const { return count_; }

  int TopCount() const { return root_.Count(); }
  TTreeNode* TopItem(int index) const { return root_.Item(index); }
  TTreeNode* GetFirstNode() const { return root_.getFirstChild(); }

  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateDepth_ > 0; }

  // Sorts the children of `parent` (null: the top level) with OnCompare. The
  // sort is stable: nodes that compare equal keep their order.
  void SortChildren(TTreeNode* parent);
  // Puts the children of `parent` in the order `sorter` leaves them in. The
  // sorter may only permute them.
  using ChildrenSorter = std::function<void(std::span<TTreeNode*> children)>;
  void SortChildren(TTreeNode* parent, const ChildrenSorter& sorter);

  TSortType SortType = TSortType::stNone;
  CompareEvent OnCompare;
  DeletionEvent OnDeletion;

  // The view that follows this store, or null. Not owned.
  void SetObserver(TreeNodesObserver* observer) { observer_ = observer; }

 private:
  friend class TTreeNode;
  class NodePool;

  TTreeNode* Insert(TTreeNode* parent, std::size_t position, NodeTextView text);
  void ReplaceText(TTreeNode* node, NodeTextView text);
  void CompactTextsIfWorthIt();
  void CopyTexts(TTreeNode* node, NodeTextStore& into);
  void RaiseDeletion(TTreeNode* node);
  void Destroy(TTreeNode* node);
  void Renumber(TTreeNode* parent, std::size_t from);
  TTreeNode* ParentOrRoot(TTreeNode* parent) { return parent != nullptr ? parent : &root_; }
  TreeNodesObserver* LiveObserver() const { return updateDepth_ == 0 ? observer_ : nullptr; }
  void NodeChanged(TTreeNode* node);
  void ExpandedChanged(TTreeNode* node);
  void WarnBeforeFreeing(const TTreeNode* node);

  // Nodes are allocated in blocks, for speed (docs/performance.md).
  std::unique_ptr<NodePool> pool_;
  NodeTextStore texts_;
  TTreeNode root_;
  int count_ = 0;
  int updateDepth_ = 0;
  unsigned batch_ = 0;  // the running batch update, numbered from 1
  TreeNodesObserver* observer_ = nullptr;
};

// Whether a view shows a node, for work that acts on what is shown.
using NodeShown = std::function<bool(const TTreeNode* node)>;
// A name a node's row stands for besides its text (the raw name of a row
// shown decoded, say), for work that reads both; none for most nodes.
using NodeName = std::function<std::optional<QString>(const TTreeNode* node)>;

}  // namespace corvane
