#include "tree_nodes.h"

#include <algorithm>

namespace corvane {

TTreeNode::TTreeNode(TTreeNodes* owner, TTreeNode* parent, QString text)
    : owner_(owner), parent_(parent), text_(std::move(text)) {}

TTreeNode::~TTreeNode() = default;

void TTreeNode::SetText(const QString& text) {
  text_ = text;
  TTreeNodes* owner = Owner();
  owner->NodeChanged(this);
  if (owner->SortType == TSortType::stText) owner->SortChildren(Parent());
}

void TTreeNode::AppendText(QStringView tail) {
  text_.append(tail);
  Owner()->NodeChanged(this);
}

void TTreeNode::SetImageIndex(int index) {
  imageIndex_ = static_cast<short>(index);
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
  return next < children_.size() ? children_[next].get() : nullptr;
}

TTreeNode* TTreeNode::getNextSibling() const { return parent_ != nullptr ? parent_->GetNextChild(this) : nullptr; }

void TTreeNode::SetExpanded(bool expanded) {
  if (expanded_ == expanded) return;
  expanded_ = expanded;
  Owner()->ExpandedChanged(this);
}

TTreeNodes::TTreeNodes() : root_(new TTreeNode(this, nullptr, QString())) {}

TTreeNodes::~TTreeNodes() {
  // The view must not hear of nodes going while the store itself goes.
  observer_ = nullptr;
  Clear();
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* sibling, const QString& text) {
  (void)sibling;
  return Insert(nullptr, 0, text);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const QString& text) {
  return Insert(parent, static_cast<std::size_t>(ParentOrRoot(parent)->Count()), text);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* parent, std::size_t position, const QString& text) {
  TTreeNode* container = ParentOrRoot(parent);
  const int row = static_cast<int>(position);
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodesInserting(parent, row, row);
  auto& children = container->children_;
  auto inserted = children.insert(children.begin() + static_cast<std::ptrdiff_t>(position),
                                  std::unique_ptr<TTreeNode>(new TTreeNode(nullptr, container, text)));
  Renumber(container, position);
  ++count_;
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodesInserted();
  return inserted->get();
}

void TTreeNodes::RaiseDeletion(TTreeNode* node) {
  for (const auto& child : node->children_) RaiseDeletion(child.get());
  --count_;
  if (OnDeletion) OnDeletion(node);
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (node == nullptr) return;
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodeRemoving(node);
  RaiseDeletion(node);
  TTreeNode* container = node->parent_;
  const auto position = static_cast<std::size_t>(node->index_);
  container->children_.erase(container->children_.begin() + static_cast<std::ptrdiff_t>(position));
  Renumber(container, position);
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodeRemoved();
}

void TTreeNodes::Clear() {
  if (root_->children_.empty()) return;
  BeginUpdate();
  for (const auto& child : root_->children_) RaiseDeletion(child.get());
  root_->children_.clear();
  count_ = 0;
  EndUpdate();
}

void TTreeNodes::BeginUpdate() {
  if (updateDepth_++ == 0 && observer_ != nullptr) observer_->BatchUpdateStarted();
}

void TTreeNodes::EndUpdate() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0 && observer_ != nullptr) observer_->BatchUpdateEnded();
}

void TTreeNodes::SortChildren(TTreeNode* parent) {
  TTreeNode* container = ParentOrRoot(parent);
  if (container->children_.size() < 2) return;
  TreeNodesObserver* observer = LiveObserver();
  if (observer != nullptr) observer->ChildrenReordering(parent);
  std::stable_sort(container->children_.begin(), container->children_.end(),
                   [this](const std::unique_ptr<TTreeNode>& a, const std::unique_ptr<TTreeNode>& b) {
                     int compare = 0;
                     if (OnCompare) {
                       OnCompare(a.get(), b.get(), 0, compare);
                     } else {
                       compare = a->text_.compare(b->text_, Qt::CaseInsensitive);
                     }
                     return compare < 0;
                   });
  Renumber(container, 0);
  if (observer != nullptr) observer->ChildrenReordered(parent);
}

void TTreeNodes::Renumber(TTreeNode* container, std::size_t from) {
  auto& children = container->children_;
  for (std::size_t i = from; i < children.size(); ++i) children[i]->index_ = static_cast<int>(i);
}

void TTreeNodes::NodeChanged(TTreeNode* node) {
  if (TreeNodesObserver* observer = LiveObserver()) observer->NodeChanged(node);
}

void TTreeNodes::ExpandedChanged(TTreeNode* node) {
  if (TreeNodesObserver* observer = LiveObserver()) observer->ExpandedChanged(node);
}

}  // namespace corvane
