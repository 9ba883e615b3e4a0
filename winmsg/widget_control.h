#pragma once

// A Qt widget as a window control: every event the widget receives goes
// through the control's replaceable message procedure as a TMessage
// (WM_TOOLKITEVENT + the event's type, WParam the QEvent), and the default
// procedure lets it go on to the widget. Drags are the file manager's
// business, as on a desktop whose shell carries the drag: while the control
// accepts files, a drag of local files is accepted and its drop arrives as
// one WM_DROPFILES message with a drop handle, posted so that the file
// manager's drop has finished before the files are read; any other drag is
// refused.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <memory>

#include "drop_files.h"
#include "window_messages.h"

class QDropEvent;
class QMimeData;

namespace corvane {

class WidgetControl final : public QObject, public TWinControl, public TWindow {
 public:
  // Watches `widget`, which must outlive this control or be destroyed with
  // it; the control does not own it.
  explicit WidgetControl(QWidget* widget);
  ~WidgetControl() override;
  WidgetControl(const WidgetControl&) = delete;
  WidgetControl& operator=(const WidgetControl&) = delete;

  QWidget* Widget() const { return widget_; }

  // TWinControl.
  TWndMethod WindowProc() const override { return windowProc_; }
  void SetWindowProc(TWndMethod procedure) override { windowProc_ = procedure; }
  HWND GetHandle() override { return this; }

  // TWindow.
  void AcceptFiles(bool accept) override;
  void BringToFront() override;

  bool AcceptsFiles() const { return acceptsFiles_; }

  // The control's own handling, the first procedure installed: a toolkit
  // event goes on to the widget as if no procedure had seen it; any other
  // message is left unhandled, with result 0.
  void DefaultWindowProc(TMessage& message);

  // The local files a drag carries; empty when it carries anything else.
  static QStringList LocalFiles(const QMimeData* data);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One event on its way through the procedures; nested when a procedure
  // makes the widget receive another event.
  struct EventInDispatch {
    const QEvent* event;
    bool goesOn;
    EventInDispatch* outer;
  };

  bool DispatchEvent(QEvent* event);
  void HandleDrag(QEvent* event);
  void AcceptDrag(QDropEvent* event) const;
  void DeliverNextDrop();

  QPointer<QWidget> widget_;
  TWndMethod windowProc_;
  EventInDispatch* dispatching_ = nullptr;
  bool acceptsFiles_ = false;
  // Drops accepted but not yet delivered, oldest first.
  std::deque<std::unique_ptr<DropFiles>> pendingDrops_;
};

}  // namespace corvane
