#include "window_keys.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTreeView>

#include <utility>

namespace corvane {

FindBarKeys::FindBarKeys(std::function<void(bool backwards)> findNext, std::function<void()> close, QObject* parent)
    : QObject(parent), findNext_(std::move(findNext)), close_(std::move(close)) {}

bool FindBarKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* keyEvent = static_cast<QKeyEvent*>(event);
  if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
    findNext_(keyEvent->modifiers().testFlag(Qt::ShiftModifier));
    return true;
  }
  if (keyEvent->key() == Qt::Key_Escape) {
    close_();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

bool KeyboardMenuRequests::eventFilter(QObject* watched, QEvent* event) {
  return (event->type() == QEvent::ContextMenu &&
          static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) ||
         QObject::eventFilter(watched, event);
}

TreeMenuKeys::TreeMenuKeys(QTreeView& tree, std::function<void(const QKeyEvent&)> keyDown,
                           std::function<void(const QPoint& position)> popup, QObject* parent)
    : QObject(parent), tree_(tree), keyDown_(std::move(keyDown)), popup_(std::move(popup)) {}

bool TreeMenuKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* keyEvent = static_cast<QKeyEvent*>(event);
  keyDown_(*keyEvent);
  const bool shiftF10 = keyEvent->key() == Qt::Key_F10 && keyEvent->modifiers() == Qt::ShiftModifier;
  if (keyEvent->key() == Qt::Key_Menu || shiftF10) {
    const QRect current = tree_.visualRect(tree_.currentIndex());
    popup_(current.isValid() ? current.center() : QPoint(0, 0));
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace corvane
