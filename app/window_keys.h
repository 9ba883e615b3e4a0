#pragma once

// The main window's key handling, one concern per event filter: the find
// bar's keys, the platform's own keyboard menu request, and the tree's keys.

#include <QObject>

#include <functional>

class QKeyEvent;
class QTreeView;

namespace corvane {

// In the find bar's line edit, Enter looks for the next match (with Shift,
// the previous one) and Esc closes the bar.
class FindBarKeys final : public QObject {
 public:
  FindBarKeys(std::function<void(bool backwards)> findNext, std::function<void()> close, QObject* parent);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(bool backwards)> findNext_;
  std::function<void()> close_;
};

// Swallows the menu request some platforms make of the context-menu key
// and others do not, so that the key opens the menu alike everywhere, as a
// key (TreeMenuKeys). Installed on the tree and its viewport.
class KeyboardMenuRequests final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Every key pressed in the tree goes to the core's key handler first; the
// context-menu key and Shift+F10 then open the tree's menu at the current
// row.
class TreeMenuKeys final : public QObject {
 public:
  TreeMenuKeys(QTreeView& tree, std::function<void(const QKeyEvent&)> keyDown,
               std::function<void(const QPoint& position)> popup, QObject* parent);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeView& tree_;
  std::function<void(const QKeyEvent&)> keyDown_;
  std::function<void(const QPoint& position)> popup_;
};

}  // namespace corvane
