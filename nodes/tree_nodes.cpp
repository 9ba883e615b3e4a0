#include "tree_nodes.h"

#include <algorithm>


namespace corvane {

class TTreeNodes::NodePool {
 public:
  TTreeNode* Create(TTreeNode* parent, NodeTextView text) {
    void* slot = nullptr;
    if (!free_.empty()) {
      slot = free_.back();
      free_.pop_back();
    } else {
      if (used_ == kBlockSize) {
        blocks_.push_back(std::make_unique_for_overwrite<Slot[]>(kBlockSize));
        used_ = 0;
      }
      slot = &blocks_.back()[used_++];
    }
    return new (slot) TTreeNode(nullptr, parent, text);
  }

  void Release(TTreeNode* node) {
    node->~TTreeNode();
    free_.push_back(node);
  }

  // Every node must have been destroyed before.
  void Reset() {
    blocks_.clear();
    free_.clear();
    used_ = kBlockSize;
  }

 private:
  struct alignas(TTreeNode) Slot {
    std::byte bytes[sizeof(TTreeNode)];
  };
  static constexpr std::size_t kBlockSize = 1024;
  std::vector<std::unique_ptr<Slot[]>> blocks_;
  std::size_t used_ = kBlockSize;
  std::vector<void*> free_;
};

void ChildList::Insert(std::size_t position, TTreeNode* node) {
  if (!items_) items_ = std::make_unique<std::vector<TTreeNode*>>();
  items_->insert(items_->begin() + static_cast<std::ptrdiff_t>(position), node);
}

void ChildList::Reserve(std::size_t capacity) {
  if (!items_) items_ = std::make_unique<std::vector<TTreeNode*>>();
  items_->reserve(capacity);
}

void ChildList::Erase(std::size_t position) {
  items_->erase(items_->begin() + static_cast<std::ptrdiff_t>(position));
  if (items_->empty()) items_.reset();
}

TTreeNode::TTreeNode(TTreeNodes* owner, TTreeNode* parent, NodeTextView text)
    : owner_(owner), parent_(parent), text_(text) {}

TTreeNode::~TTreeNode() = default;

void TTreeNode::SetText(const QString& text) {
  TTreeNodes* owner = Owner();
  owner->ReplaceText(this, owner->texts_.Store(QStringView(text)));
  owner->NodeChanged(this);
  if (owner->SortType == stText || owner->SortType == stBoth) owner->SortChildren(Parent());
}

void TTreeNode::AppendText(QStringView tail) {
  TTreeNodes* owner = Owner();
  QString text = text_.ToString();
  text.append(tail);
  owner->ReplaceText(this, owner->texts_.Store(QStringView(text)));
  owner->NodeChanged(this);
}

void TTreeNode::SetTextInPlace(QStringView text) {
  TTreeNodes* owner = Owner();
  owner->ReplaceText(this, owner->texts_.Store(text));
  owner->NodeChanged(this);
}

void TTreeNode::SetImageIndex(int index) {
  imageIndex_ = static_cast<short>(index);
  Owner()->NodeChanged(this);
}

void TTreeNode::SetMark(int mark) {
  mark_ = static_cast<std::uint8_t>(mark);
  Owner()->NodeChanged(this);
}

void TTreeNode::SetSelectedIndex(int index) {
  selectedIndex_ = static_cast<short>(index);
  Owner()->NodeChanged(this);
}

void TTreeNode::SetStateIndex(int index) {
  stateIndex_ = static_cast<short>(index);
  Owner()->NodeChanged(this);
}

void TTreeNode::SetIndexes(int image, int selected, int state) {
  imageIndex_ = static_cast<short>(image);
  selectedIndex_ = static_cast<short>(selected);
  stateIndex_ = static_cast<short>(state);
  Owner()->NodeChanged(this);
}

TTreeNode* TTreeNode::Parent() const {
  // The hidden root is the only node that knows its owner.
  return parent_ != nullptr && parent_->owner_ == nullptr ? parent_ : nullptr;
}

TTreeNodes* TTreeNode::Owner() const {
  const TTreeNode* node = this;
  while (node->owner_ == nullptr) node = node->parent_;
  return node->owner_;
}

int TTreeNode::Level() const {
  int level = 0;
  for (const TTreeNode* node = Parent(); node != nullptr; node = node->Parent()) ++level;
  return level;
}

TTreeNode* TTreeNode::GetNextChild(const TTreeNode* child) const {
  if (child == nullptr || child->parent_ != this) return nullptr;
  const auto next = static_cast<std::size_t>(child->index_) + 1;
  return next < children_.size() ? children_[next] : nullptr;
}

TTreeNode* TTreeNode::getNextSibling() const { return parent_ != nullptr ? parent_->GetNextChild(this) : nullptr; }

void TTreeNode::SetExpanded(bool expanded) {
  if (expanded_ == expanded) return;
  expanded_ = expanded;
  Owner()->ExpandedChanged(this);
}

TTreeNodes::TTreeNodes() : pool_(std::make_unique<NodePool>()), root_(this, nullptr, NodeTextView()) {}

TTreeNodes::~TTreeNodes() {
  // The view must not hear of nodes going while the store itself goes.
  observer_ = nullptr;
  Clear();
}

void TTreeNodes::Destroy(TTreeNode* node) {
  for (TTreeNode* child : node->children_) Destroy(child);
  texts_.GiveUp(node->text_);
  pool_->Release(node);
}

void TTreeNodes::ReplaceText(TTreeNode* node, NodeTextView text) {
  texts_.GiveUp(node->text_);
  node->text_ = text;
  CompactTextsIfWorthIt();
}

void TTreeNodes::CompactTextsIfWorthIt() {
  if (!texts_.WorthCompacting()) return;
  NodeTextStore compacted;
  CopyTexts(&root_, compacted);
  texts_ = std::move(compacted);
}

void TTreeNodes::CopyTexts(TTreeNode* node, NodeTextStore& into) {
  node->text_ = into.Copy(node->text_);
  for (TTreeNode* child : node->children_) CopyTexts(child, into);
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* sibling, const QString& text) {
  (void)sibling;
  return Insert(nullptr, 0, texts_.Store(QStringView(text)));
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const QString& text) {
  return Insert(parent, static_cast<std::size_t>(ParentOrRoot(parent)->Count()), texts_.Store(QStringView(text)));
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, QLatin1StringView text) {
  return Insert(parent, static_cast<std::size_t>(ParentOrRoot(parent)->Count()), texts_.Store(text));
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, NodeTextView text) {
  return Insert(parent, static_cast<std::size_t>(ParentOrRoot(parent)->Count()), texts_.Store(text));
}

void TTreeNodes::ReserveChildren(TTreeNode* parent, std::size_t count) {
  ChildList& children = ParentOrRoot(parent)->children_;
  if (count > 0) children.Reserve(children.size() + count);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* parent, std::size_t position, NodeTextView text) {
  TTreeNode* container = ParentOrRoot(parent);
  const int row = static_cast<int>(position);
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodesInserting(parent, row, row);
  TTreeNode* node = pool_->Create(container, text);
  node->batch_ = updateDepth_ > 0 ? batch_ : 0;
  container->children_.Insert(position, node);
  Renumber(container, position);
  ++count_;
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodesInserted();
  return node;
}

void TTreeNodes::RaiseDeletion(TTreeNode* node) {
  for (TTreeNode* child : node->children_) RaiseDeletion(child);
  --count_;
  if (OnDeletion) OnDeletion(node);
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (node == nullptr) return;
  if (TreeNodesObserver* observer = LiveObserver()) {
    observer->NodeRemoving(node);
  } else {
    WarnBeforeFreeing(node);
  }
  RaiseDeletion(node);
  TTreeNode* container = node->parent_;
  const auto position = static_cast<std::size_t>(node->index_);
  container->children_.Erase(position);
  Destroy(node);
  Renumber(container, position);
  CompactTextsIfWorthIt();
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodeRemoved();
}

void TTreeNodes::Clear() {
  if (root_.children_.empty()) return;
  BeginUpdate();
  for (TTreeNode* child : root_.children_) WarnBeforeFreeing(child);
  for (TTreeNode* child : root_.children_) RaiseDeletion(child);
  for (TTreeNode* child : root_.children_) Destroy(child);
  root_.children_.Clear();
  pool_->Reset();
  texts_.Reset();
  count_ = 0;
  EndUpdate();
}

void TTreeNodes::BeginUpdate() {
  if (updateDepth_++ > 0) return;
  ++batch_;
  if (observer_ != nullptr) observer_->BatchUpdateStarted();
}

void TTreeNodes::WarnBeforeFreeing(const TTreeNode* node) {
  // A node added in this batch has only descendants from this batch too.
  if (observer_ != nullptr && node->batch_ != batch_) observer_->NodesDeletingInBatch();
}

void TTreeNodes::EndUpdate() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0 && observer_ != nullptr) observer_->BatchUpdateEnded();
}

void TTreeNodes::SortChildren(TTreeNode* parent) {
  SortChildren(parent, [this](std::span<TTreeNode*> children) {
    std::stable_sort(children.begin(), children.end(), [this](TTreeNode* a, TTreeNode* b) {
      int compare = 0;
      if (OnCompare) {
        OnCompare(a, b, 0, compare);
      } else {
        compare = a->text_.CompareCaseInsensitive(b->text_);
      }
      return compare < 0;
    });
  });
}

void TTreeNodes::SortChildren(TTreeNode* parent, const ChildrenSorter& sorter) {
  TTreeNode* container = ParentOrRoot(parent);
  if (container->children_.size() < 2) return;
  TreeNodesObserver* observer = LiveObserver();
  if (observer != nullptr) observer->ChildrenReordering(parent);
  sorter(container->children_.Span());
  Renumber(container, 0);
  if (observer != nullptr) observer->ChildrenReordered(parent);
}

void TTreeNodes::Renumber(TTreeNode* container, std::size_t from) {
  const ChildList& children = container->children_;
  for (std::size_t i = from; i < children.size(); ++i) children[i]->index_ = static_cast<int>(i);
}

void TTreeNodes::NodeChanged(TTreeNode* node) {
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodeChanged(node);
}

void TTreeNodes::ExpandedChanged(TTreeNode* node) {
  if (TreeNodesObserver* observer = LiveObserver()) observer->ExpandedChanged(node);
}

}  // namespace corvane
