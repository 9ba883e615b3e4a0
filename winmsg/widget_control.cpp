#include "widget_control.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QUrl>

namespace corvane {

WidgetControl::WidgetControl(QWidget* widget)
    : widget_(widget), windowProc_(TWndMethod::Bind<&WidgetControl::DefaultWindowProc>(this)) {
  if (widget_ != nullptr) widget_->installEventFilter(this);
}

WidgetControl::~WidgetControl() {
  if (widget_ != nullptr) widget_->removeEventFilter(this);
}

void WidgetControl::AcceptFiles(bool accept) {
  acceptsFiles_ = accept;
  if (widget_ != nullptr) widget_->setAcceptDrops(accept);
}

void WidgetControl::BringToFront() {
  if (widget_ == nullptr) return;
  QWidget* window = widget_->window();
  window->raise();
  window->activateWindow();
}

void WidgetControl::DefaultWindowProc(TMessage& message) {
  message.Result = 0;
  if (message.Msg < WM_TOOLKITEVENT) return;
  for (EventInDispatch* dispatch = dispatching_; dispatch != nullptr; dispatch = dispatch->outer) {
    if (reinterpret_cast<WPARAM>(dispatch->event) == message.WParam) {
      dispatch->goesOn = true;
      return;
    }
  }
}

QStringList WidgetControl::LocalFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  QStringList files;
  for (const QUrl& url : data->urls()) {
    // One remote or non-file item refuses the whole drag: the window opens
    // files it can map, and a partial drop would look like a lost file.
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) return {};
    files.append(url.toLocalFile());
  }
  return files;
}

bool WidgetControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched != widget_) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
      HandleDrag(event);
      return true;
    default:
      return DispatchEvent(event);
  }
}

bool WidgetControl::DispatchEvent(QEvent* event) {
  EventInDispatch dispatch{event, false, dispatching_};
  dispatching_ = &dispatch;
  TMessage message{WM_TOOLKITEVENT + static_cast<std::uint32_t>(event->type()), reinterpret_cast<WPARAM>(event), 0, 0};
  struct Unwind {
    WidgetControl& control;
    EventInDispatch& dispatch;
    ~Unwind() { control.dispatching_ = dispatch.outer; }
  } unwind{*this, dispatch};
  windowProc_(message);
  // An event that no procedure handed to the default one was consumed.
  return !dispatch.goesOn;
}

void WidgetControl::AcceptDrag(QDropEvent* event) const {
  // Opening leaves the files where they are, whatever the file manager
  // proposes; a copy is what the window asks for when it may.
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
}

void WidgetControl::HandleDrag(QEvent* event) {
  if (event->type() == QEvent::DragLeave) {
    event->accept();
    return;
  }
  auto* drop = static_cast<QDropEvent*>(event);
  const QStringList files = acceptsFiles_ ? LocalFiles(drop->mimeData()) : QStringList();
  if (files.isEmpty()) {
    drop->ignore();
    return;
  }
  AcceptDrag(drop);
  if (event->type() != QEvent::Drop) return;
  pendingDrops_.push_back(std::make_unique<DropFiles>(files));
  QMetaObject::invokeMethod(this, &WidgetControl::DeliverNextDrop, Qt::QueuedConnection);
}

void WidgetControl::DeliverNextDrop() {
  if (pendingDrops_.empty()) return;
  // Held here while the procedures run, so that a drop delivered from
  // inside them is the next one, and released after them whether or not
  // they finished the handle.
  const std::unique_ptr<DropFiles> drop = std::move(pendingDrops_.front());
  pendingDrops_.pop_front();
  Perform(*this, WM_DROPFILES, drop->AsWParam());
}

}  // namespace corvane
