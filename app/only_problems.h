#pragma once

// View > Only Problems: each file's tree shrinks to the rows that carry a
// dependency mark and the rows above them, every branch of it open; a file
// with nothing marked keeps only its root. Turned off, the whole tree comes
// back with the branches the user had open, which the store kept, and the
// row selected when it was turned on, unless the user chose another since.

#include <QObject>

namespace corvane {

class InfoTreeView;
class TTreeNode;

class ProblemsOnly final : public QObject {
 public:
  ProblemsOnly(InfoTreeView& tree, QObject* parent);

  void Set(bool on);

 private:
  InfoTreeView& tree_;
  bool switching_ = false;
  // The row selected when the filter was turned on, until the selection
  // moves or the tree is rebuilt.
  const TTreeNode* selectedBefore_ = nullptr;
};

}  // namespace corvane
