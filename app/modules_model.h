#pragma once

// The closure a dependency check made, one module a row, as the Modules pane
// shows it: the file itself first, then every module once in the check's
// order. The model reads the closure it is given and keeps it unchanged; it
// never reads a file.

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <vector>

#include "dependency_check.h"
#include "dependency_marks.h"

namespace corvane {

class ModulesModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kModule, kFile, kMachine, kFileVersion, kFoundIn, kJoinedAs, kNeededBy, kProblems, kColumnCount };

  using QAbstractTableModel::QAbstractTableModel;

  // Shows `closure` (null: nothing); the closure must outlive its showing.
  void SetClosure(const Closure* closure);
  const Closure* Shown() const { return closure_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The colour a mark (a Severity) is drawn in, asked each time a closure
  // is set and whenever WorkOutColours is called.
  std::function<QColor(int mark)> markColour;
  // Asks `markColour` again, for a palette that changed, and repaints.
  void WorkOutColours();
  // What a row's tooltip adds for a module: empty when the tree shows it,
  // else which module brings it in.
  std::function<QString(std::size_t module)> treeNote;

 private:
  QString Text(std::size_t module, int column) const;

  const Closure* closure_ = nullptr;
  std::vector<ModuleMark> marks_;
  QVariant colours_[3];  // by Severity
};

}  // namespace corvane
