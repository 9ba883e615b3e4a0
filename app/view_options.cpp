#include "view_options.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

#include "viewer_core.h"

namespace corvane {

QAction* AddKeptOption(QMenu& menu, const QString& caption, const QKeySequence& shortcut, const QString& key,
                       std::function<void()> changed) {
  QAction* action = menu.addAction(caption);
  action->setCheckable(true);
  action->setShortcut(shortcut);
  action->setChecked(QSettings().value(key, false).toBool());
  QObject::connect(action, &QAction::toggled, &menu, [key, changed = std::move(changed)](bool checked) {
    QSettings().setValue(key, checked);
    changed();
  });
  return action;
}

QVariant RowToolTip(const ViewerCore& core, const TTreeNode& node) {
  QStringList lines;
  if (node.Mark() != 0) lines << core.MarkReason(&node);
  if (const std::optional<QString> other = core.Names().OtherSpelling(&node)) lines << *other;
  return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
}

}  // namespace corvane
