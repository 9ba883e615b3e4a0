#pragma once

// The View menu's options: checkable entries whose state is kept across
// runs with QSettings (under the application's organization and name, set
// at start-up), each telling the window when it changes.

#include <QKeySequence>
#include <QString>
#include <QVariant>

#include <functional>

class QAction;
class QMenu;

namespace corvane {

class TTreeNode;
class ViewerCore;

// Adds a checkable entry to `menu`, checked as the settings keep it under
// `key` (unchecked the first time); each change is kept and then reported
// to `changed`.
QAction* AddKeptOption(QMenu& menu, const QString& caption, const QKeySequence& shortcut, const QString& key,
                       std::function<void()> changed);

// A row's tooltip: why it is marked, and the other spelling of its name
// (the raw name of an undecorated row, the exporter's name of an ordinal).
QVariant RowToolTip(const ViewerCore& core, const TTreeNode& node);

}  // namespace corvane
