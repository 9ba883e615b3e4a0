#include "tree_nodes_model.h"

namespace corvane {

TreeNodesModel::TreeNodesModel(TTreeNodes& nodes, QObject* parent) : QAbstractItemModel(parent), nodes_(nodes) {
  nodes_.SetObserver(this);
}

TreeNodesModel::~TreeNodesModel() { nodes_.SetObserver(nullptr); }

const TTreeNode* TreeNodesModel::Container(const QModelIndex& parent) const {
  return parent.isValid() ? static_cast<const TTreeNode*>(parent.internalPointer()) : nullptr;
}

TTreeNode* TreeNodesModel::NodeAt(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<TTreeNode*>(index.internalPointer());
}

QModelIndex TreeNodesModel::IndexOf(const TTreeNode* node) const {
  if (node == nullptr || blank_) return {};
  if (keep_) {
    const auto shown = shownRow_.find(node);
    return shown != shownRow_.end() ? createIndex(shown->second, 0, const_cast<TTreeNode*>(node)) : QModelIndex();
  }
  if (node->Owner() != &nodes_) return {};
  return createIndex(node->Index(), 0, const_cast<TTreeNode*>(node));
}

QModelIndex TreeNodesModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent)) return {};
  const TTreeNode* container = Container(parent);
  if (keep_) return createIndex(row, column, (*ShownChildren(container))[static_cast<std::size_t>(row)]);
  TTreeNode* node = container != nullptr ? container->Item(row) : nodes_.TopItem(row);
  return createIndex(row, column, node);
}

const std::vector<TTreeNode*>* TreeNodesModel::ShownChildren(const TTreeNode* parent) const {
  const auto shown = shownChildren_.find(parent);
  return shown != shownChildren_.end() ? &shown->second : nullptr;
}

void TreeNodesModel::SetFilter(std::function<bool(const TTreeNode& node)> keep) {
  beginResetModel();
  keep_ = std::move(keep);
  CollectShown();
  endResetModel();
  emit Rebuilt();
}

void TreeNodesModel::CollectShown() {
  shownChildren_.clear();
  shownRow_.clear();
  if (!keep_ || blank_) return;
  std::vector<TTreeNode*>& top = shownChildren_[nullptr];
  for (int row = 0; row < nodes_.TopCount(); ++row) {
    TTreeNode* node = nodes_.TopItem(row);
    CollectShownBelow(node);
    shownRow_.emplace(node, row);
    top.push_back(node);
  }
}

bool TreeNodesModel::CollectShownBelow(TTreeNode* node) {
  std::vector<TTreeNode*> shown;
  for (int row = 0; row < node->Count(); ++row) {
    TTreeNode* child = node->Item(row);
    if (CollectShownBelow(child)) {
      shownRow_.emplace(child, static_cast<int>(shown.size()));
      shown.push_back(child);
    }
  }
  if (shown.empty()) return keep_(*node);
  shownChildren_.emplace(node, std::move(shown));
  return true;
}

QModelIndex TreeNodesModel::parent(const QModelIndex& child) const {
  const TTreeNode* node = NodeAt(child);
  if (node == nullptr) return {};
  return IndexOf(node->Parent());
}

int TreeNodesModel::rowCount(const QModelIndex& parent) const {
  if (blank_ || parent.column() > 0) return 0;
  const TTreeNode* container = Container(parent);
  if (keep_) {
    const std::vector<TTreeNode*>* shown = ShownChildren(container);
    return shown != nullptr ? static_cast<int>(shown->size()) : 0;
  }
  return container != nullptr ? container->Count() : nodes_.TopCount();
}

int TreeNodesModel::columnCount(const QModelIndex&) const { return 1; }

bool TreeNodesModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TreeNodesModel::data(const QModelIndex& index, int role) const {
  const TTreeNode* node = NodeAt(index);
  if (node == nullptr) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return node->Text();
  if (role == Qt::DecorationRole && decoration) return decoration(node->ImageIndex());
  if (otherData) return otherData(*node, role);
  return {};
}

bool TreeNodesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TTreeNode* node = NodeAt(index);
  if (node == nullptr || role != Qt::EditRole || !editable_) return false;
  QString text = value.toString();
  if (textEdited) textEdited(node, text);
  node->SetText(text);
  return true;
}

Qt::ItemFlags TreeNodesModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_) flags |= Qt::ItemIsEditable;
  return flags;
}

void TreeNodesModel::BatchUpdateStarted() {}

void TreeNodesModel::BatchUpdateEnded() {
  beginResetModel();
  blank_ = false;
  CollectShown();
  endResetModel();
  emit Rebuilt();
}

void TreeNodesModel::NodesDeletingInBatch() {
  if (blank_) return;
  beginResetModel();
  blank_ = true;
  CollectShown();
  endResetModel();
}

// While a filter is set, what a single change shows is worked out anew:
// the change is told as a reset.
bool TreeNodesModel::BeginResetForFilter() {
  if (keep_) beginResetModel();
  return Filtered();
}

bool TreeNodesModel::EndResetForFilter() {
  if (!keep_) return false;
  CollectShown();
  endResetModel();
  emit Rebuilt();
  return true;
}

void TreeNodesModel::NodesInserting(TTreeNode* parent, int first, int last) {
  if (!BeginResetForFilter()) beginInsertRows(IndexOf(parent), first, last);
}

void TreeNodesModel::NodesInserted() {
  if (!EndResetForFilter()) endInsertRows();
}

void TreeNodesModel::NodeRemoving(TTreeNode* node) {
  if (!BeginResetForFilter()) beginRemoveRows(IndexOf(node->Parent()), node->Index(), node->Index());
}

void TreeNodesModel::NodeRemoved() {
  if (!EndResetForFilter()) endRemoveRows();
}

void TreeNodesModel::NodeChanged(TTreeNode* node) {
  if (muted_) return;
  const QModelIndex index = IndexOf(node);
  emit dataChanged(index, index);
}

QList<QPersistentModelIndex> TreeNodesModel::ParentsOf(const TTreeNode* parent) const {
  // An empty list stands for the top level.
  if (parent == nullptr) return {};
  return {QPersistentModelIndex(IndexOf(parent))};
}

void TreeNodesModel::ChildrenReordering(TTreeNode* parent) {
  if (BeginResetForFilter()) return;
  emit layoutAboutToBeChanged(ParentsOf(parent), QAbstractItemModel::VerticalSortHint);
  // Persistent indexes carry rows, nodes keep their identity: each index
  // moves to wherever its node lands.
  reorderedBefore_ = persistentIndexList();
}

void TreeNodesModel::ChildrenReordered(TTreeNode* parent) {
  if (EndResetForFilter()) return;
  QModelIndexList after;
  after.reserve(reorderedBefore_.size());
  for (const QModelIndex& before : reorderedBefore_) {
    after.append(before.isValid() ? createIndex(NodeAt(before)->Index(), before.column(), before.internalPointer())
                                  : QModelIndex());
  }
  changePersistentIndexList(reorderedBefore_, after);
  reorderedBefore_.clear();
  emit layoutChanged(ParentsOf(parent), QAbstractItemModel::VerticalSortHint);
}

void TreeNodesModel::ExpandedChanged(TTreeNode* node) { emit ExpandedInStore(IndexOf(node), node->Expanded()); }

void TreeNodesModel::ForEachStoredExpansion(const std::function<void(const QModelIndex& index)>& expand) const {
  const std::function<void(const TTreeNode*)> walk = [&](const TTreeNode* parent) {
    const int count = parent != nullptr ? parent->Count() : nodes_.TopCount();
    for (int row = 0; row < count; ++row) {
      const TTreeNode* node = parent != nullptr ? parent->Item(row) : nodes_.TopItem(row);
      if (!node->GetChildren()) continue;
      if (keep_ ? ShownChildren(node) != nullptr : node->Expanded()) expand(IndexOf(node));
      walk(node);
    }
  };
  walk(nullptr);
}

}  // namespace corvane
