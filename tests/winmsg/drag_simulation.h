#pragma once

// Drags from a file manager, simulated on a shown top-level widget the way
// the platform delivers them: to the widget's window, which finds the target
// widget. Every drag that is entered is ended, by a drop or a leave, so that
// the window never keeps a target from one test to the next.

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QWindow>

namespace corvane::testing {

inline constexpr Qt::DropActions kFileManagerActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

inline QMimeData* UrlData(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

inline QMimeData* LocalFileData(const QStringList& files) {
  QList<QUrl> urls;
  for (const QString& file : files) urls.append(QUrl::fromLocalFile(file));
  return UrlData(urls);
}

struct DragResult {
  bool entered = false;
  bool dropped = false;
  Qt::DropAction dropAction = Qt::IgnoreAction;
};

// Enters `data` over the middle of `widget`'s window, then drops it if the
// enter was accepted, or leaves.
inline DragResult DragAndDrop(QWidget& widget, const QMimeData& data) {
  QWindow* window = widget.window()->windowHandle();
  const QPoint middle(widget.width() / 2, widget.height() / 2);
  DragResult result;
  QDragEnterEvent enter(middle, kFileManagerActions, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &enter);
  result.entered = enter.isAccepted();
  if (!result.entered) {
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(window, &leave);
    return result;
  }
  QDropEvent drop(QPointF(middle), kFileManagerActions, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &drop);
  result.dropped = drop.isAccepted();
  result.dropAction = drop.dropAction();
  return result;
}

}  // namespace corvane::testing
