#pragma once

// What the window tests share: finding a row by its text, reading a row's
// mark as a user sees it, and a message box answered at once.

#include <QAbstractItemModel>
#include <QColor>
#include <QStringList>
#include <QTreeView>

#include <string>

#include "Mainform.h"
#include "mark_colours.h"

namespace corvane::testing {

// The first row at or below `start`'s level whose text is `text`.
inline QModelIndex RowNamed(const QAbstractItemModel& model, const QString& text, const QModelIndex& start = {},
                            Qt::MatchFlags flags = Qt::MatchRecursive | Qt::MatchExactly) {
  const QModelIndex first = start.isValid() ? start : model.index(0, 0);
  return model.match(first, Qt::DisplayRole, text, 1, flags).value(0);
}

// The first child of `parent` whose text is `text`.
inline QModelIndex ChildNamed(const QTreeView& tree, const QModelIndex& parent, const QString& text) {
  return RowNamed(*tree.model(), text, tree.model()->index(0, 0, parent), Qt::MatchExactly);
}

// The texts of `parent`'s children in `column`.
inline QStringList ChildTexts(const QAbstractItemModel& model, const QModelIndex& parent = {}, int column = 0) {
  QStringList texts;
  for (int row = 0; row < model.rowCount(parent); ++row) texts << model.index(row, column, parent).data().toString();
  return texts;
}

// "problem", "warning" or "none" by the row's colour over `base`, then its tooltip.
inline std::string Marked(const QModelIndex& index, const QColor& base) {
  const QVariant colour = index.data(Qt::ForegroundRole);
  const QString severity = !colour.isValid()                              ? "none"
                           : colour.value<QColor>() == MarkColour(2, base) ? "problem"
                           : colour.value<QColor>() == MarkColour(1, base) ? "warning"
                                                                          : "other";
  return (severity + ": " + index.data(Qt::ToolTipRole).toString()).toStdString();
}

// Ports whose message box is answered OK at once, without showing.
inline MainWindowPorts BoxAnsweredOkPorts() {
  MainWindowPorts ports;
  ports.messageBox = [](QWidget*, const QString&, const QString&, std::uint32_t, const ErrorSubject&) { return 1; };
  return ports;
}

}  // namespace corvane::testing
