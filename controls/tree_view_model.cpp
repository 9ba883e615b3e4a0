#include "tree_view_model.h"

namespace Treelistview {

TreeViewNodesModel::TreeViewNodesModel(TTreeNodes& nodes, QObject* parent) : QAbstractItemModel(parent), nodes_(nodes) {
  nodes_.SetObserver(this);
}

TreeViewNodesModel::~TreeViewNodesModel() { nodes_.SetObserver(nullptr); }

const TTreeNode* TreeViewNodesModel::Container(const QModelIndex& parent) const {
  return parent.isValid() ? static_cast<const TTreeNode*>(parent.internalPointer()) : nullptr;
}

TTreeNode* TreeViewNodesModel::NodeAt(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<TTreeNode*>(index.internalPointer());
}

QModelIndex TreeViewNodesModel::IndexOf(const TTreeNode* node) const {
  if (node == nullptr || blank_ || node->Owner() != &nodes_) return {};
  return createIndex(node->Index(), 0, const_cast<TTreeNode*>(node));
}

QModelIndex TreeViewNodesModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent)) return {};
  const TTreeNode* container = Container(parent);
  TTreeNode* node = container != nullptr ? container->Item(row) : nodes_.TopItem(row);
  return createIndex(row, column, node);
}

QModelIndex TreeViewNodesModel::parent(const QModelIndex& child) const {
  const TTreeNode* node = NodeAt(child);
  if (node == nullptr) return {};
  return IndexOf(node->Parent());
}

int TreeViewNodesModel::rowCount(const QModelIndex& parent) const {
  if (blank_ || parent.column() > 0) return 0;
  const TTreeNode* container = Container(parent);
  return container != nullptr ? container->Count() : nodes_.TopCount();
}

int TreeViewNodesModel::columnCount(const QModelIndex&) const { return 1; }

bool TreeViewNodesModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TreeViewNodesModel::data(const QModelIndex& index, int role) const {
  const TTreeNode* node = NodeAt(index);
  if (node == nullptr) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return node->Text();
  return {};
}

bool TreeViewNodesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TTreeNode* node = NodeAt(index);
  if (node == nullptr || role != Qt::EditRole || !editable_) return false;
  QString text = value.toString();
  if (textEdited) textEdited(node, text);
  node->SetText(text);
  return true;
}

Qt::ItemFlags TreeViewNodesModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_) flags |= Qt::ItemIsEditable;
  return flags;
}

void TreeViewNodesModel::BatchUpdateStarted() {}

void TreeViewNodesModel::BatchUpdateEnded() {
  beginResetModel();
  blank_ = false;
  endResetModel();
  emit Rebuilt();
}

void TreeViewNodesModel::NodesDeletingInBatch() {
  if (blank_) return;
  beginResetModel();
  blank_ = true;
  endResetModel();
}

void TreeViewNodesModel::NodesInserting(TTreeNode* parent, int first, int last) {
  beginInsertRows(IndexOf(parent), first, last);
}

void TreeViewNodesModel::NodesInserted() { endInsertRows(); }

void TreeViewNodesModel::NodeRemoving(TTreeNode* node) {
  beginRemoveRows(IndexOf(node->Parent()), node->Index(), node->Index());
}

void TreeViewNodesModel::NodeRemoved() { endRemoveRows(); }

void TreeViewNodesModel::NodeChanged(TTreeNode* node) {
  if (muted_) return;
  const QModelIndex index = IndexOf(node);
  emit dataChanged(index, index);
}

QList<QPersistentModelIndex> TreeViewNodesModel::ParentsOf(const TTreeNode* parent) const {
  // An empty list stands for the top level.
  if (parent == nullptr) return {};
  return {QPersistentModelIndex(IndexOf(parent))};
}

void TreeViewNodesModel::ChildrenReordering(TTreeNode* parent) {
  emit layoutAboutToBeChanged(ParentsOf(parent), QAbstractItemModel::VerticalSortHint);
  // Persistent indexes carry rows, nodes keep their identity: each index
  // moves to wherever its node lands.
  reorderedBefore_ = persistentIndexList();
}

void TreeViewNodesModel::ChildrenReordered(TTreeNode* parent) {
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

void TreeViewNodesModel::ExpandedChanged(TTreeNode* node) { emit ExpandedInStore(IndexOf(node), node->Expanded()); }

}  // namespace Treelistview
