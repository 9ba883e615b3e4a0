#pragma once

// Shows the node store in a Qt item view. The store stays the one truth; the
// model only adapts it. Inside a batch update the view hears nothing until
// the outermost update ends and then resets once, so adding a hundred
// thousand nodes with the event loop running in between stays cheap.

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>

#include "tree_nodes.h"

namespace corvane {

class TreeNodesModel final : public QAbstractItemModel, private TreeNodesObserver {
  Q_OBJECT

 public:
  TreeNodesModel(TTreeNodes& nodes, QList<QIcon> icons, QObject* parent = nullptr);
  ~TreeNodesModel() override;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  TTreeNode* NodeAt(const QModelIndex& index) const;
  QModelIndex IndexOf(const TTreeNode* node) const;

 signals:
  // The store changed a node's expanded flag; a view follows it.
  void ExpandedInStore(const QModelIndex& index, bool expanded);
  // The model was reset after a batch update; a view re-applies the
  // store's expanded flags.
  void Rebuilt();

 private:
  void BatchUpdateStarted() override;
  void BatchUpdateEnded() override;
  void NodesDeletingInBatch() override;
  void NodesInserting(TTreeNode* parent, int first, int last) override;
  void NodesInserted() override;
  void NodeRemoving(TTreeNode* node) override;
  void NodeRemoved() override;
  void NodeChanged(TTreeNode* node) override;
  void ChildrenReordering(TTreeNode* parent) override;
  void ChildrenReordered(TTreeNode* parent) override;
  void ExpandedChanged(TTreeNode* node) override;

  const TTreeNode* Container(const QModelIndex& parent) const;
  QList<QPersistentModelIndex> Parents(const TTreeNode* parent) const;

  TTreeNodes& nodes_;
  QList<QIcon> icons_;
  // Set when nodes the view may still show were freed inside a batch: until
  // the batch ends the model shows nothing rather than stale nodes.
  bool blank_ = false;
  QModelIndexList reorderedBefore_;
};

}  // namespace corvane
