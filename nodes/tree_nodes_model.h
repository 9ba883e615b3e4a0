#pragma once

// Shows a node store in a Qt item view (the viewer's tree and the tree-list
// view's). The store stays the one truth; the model adapts it, lets the view
// edit node texts where asked, and keeps quiet inside the store's batch
// updates, telling the view once, with a reset, when the outermost update
// ends, so adding a hundred thousand nodes with the event loop running in
// between stays cheap.

#include <QAbstractItemModel>
#include <QPersistentModelIndex>
#include <functional>
#include <unordered_map>
#include <vector>

#include "tree_nodes.h"

namespace corvane {

class TreeNodesModel final : public QAbstractItemModel, private TreeNodesObserver {
  Q_OBJECT

 public:
  explicit TreeNodesModel(TTreeNodes& nodes, QObject* parent = nullptr);
  ~TreeNodesModel() override;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  TTreeNode* NodeAt(const QModelIndex& index) const;
  QModelIndex IndexOf(const TTreeNode* node) const;
  // Calls `expand` with each node the store holds expanded, parents first.
  // A view forgets every expanded row when it is reset; the store still
  // knows them, also under collapsed nodes.
  void ForEachStoredExpansion(const std::function<void(const QModelIndex& index)>& expand) const;

  // Shows only the nodes `keep` holds for and the nodes above them, the
  // top-level nodes always; an empty function shows every node again. While
  // it filters, the model counts every node it shows with children as
  // expanded (ForEachStoredExpansion), keeps what it shows up to date after
  // each change of the store, and IndexOf a node not shown is invalid.
  void SetFilter(std::function<bool(const TTreeNode& node)> keep);
  bool Filtered() const { return static_cast<bool>(keep_); }
  // Whether the view can show `node`: always, unless a filter hides it.
  bool Shown(const TTreeNode* node) const { return !keep_ || shownRow_.contains(node); }

  void SetEditable(bool editable) { editable_ = editable; }
  // While muted the model does not report changes of a node's text or
  // images: the view raises events while it paints whose handlers may set
  // them, and reporting those would paint again, for ever.
  void SetMuted(bool muted) { muted_ = muted; }

  // Called with an edited text before it becomes the node's text; it may
  // change the text.
  std::function<void(TTreeNode* node, QString& text)> textEdited;
  // The picture for a node's image index (an icon), or nothing. The model
  // itself needs no display.
  std::function<QVariant(int imageIndex)> decoration;
  // Any other role's data for a node (its colour, its tooltip...), or nothing.
  std::function<QVariant(const TTreeNode& node, int role)> otherData;

 signals:
  // The store changed a node's expanded flag.
  void ExpandedInStore(const QModelIndex& index, bool expanded);
  // The model was reset after a batch update; the view re-applies the
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
  // The filter's view of the store: each shown node's shown children (the
  // top level under null) and each shown node's row among them.
  void CollectShown();
  // True when a filter is set and a change is told as a reset instead.
  bool BeginResetForFilter();
  bool EndResetForFilter();
  bool CollectShownBelow(TTreeNode* node);
  const std::vector<TTreeNode*>* ShownChildren(const TTreeNode* parent) const;
  QList<QPersistentModelIndex> ParentsOf(const TTreeNode* parent) const;

  TTreeNodes& nodes_;
  bool editable_ = false;
  bool muted_ = false;
  // Set when nodes the view may still show were freed inside a batch: until
  // the batch ends the model shows nothing rather than freed nodes.
  bool blank_ = false;
  QModelIndexList reorderedBefore_;
  std::function<bool(const TTreeNode& node)> keep_;
  std::unordered_map<const TTreeNode*, std::vector<TTreeNode*>> shownChildren_;
  std::unordered_map<const TTreeNode*, int> shownRow_;
};

}  // namespace corvane
