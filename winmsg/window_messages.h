#pragma once

// Window messages without a windowing system: a window control whose message
// procedure can be replaced, the message record that procedures receive, and
// the handle that the drop functions address. The Qt side (WidgetControl)
// turns a widget's events into these messages; everything above it is
// written against these interfaces and runs without a display.

#include <cstdint>

#include "bound_method.h"

namespace corvane {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct TMessage {
  std::uint32_t Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// Files dropped from the file manager; WParam is the drop handle (HDROP).
inline constexpr std::uint32_t WM_DROPFILES = 0x0233;
// The first message number free for a window's private use, and the end of
// that range.
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_APP = 0x8000;
// A toolkit event of the window: Msg is WM_TOOLKITEVENT + the event's type,
// WParam the event object. Placed above every 16-bit message number so that
// it meets neither the system's messages nor the private range.
inline constexpr std::uint32_t WM_TOOLKITEVENT = 0x00010000;

// A window's message procedure.
using TWndMethod = BoundMethod<void(TMessage&)>;

// What a window handle addresses: the services that take an HWND.
class TWindow {
 public:
  // Whether files dragged from the file manager may be dropped here.
  virtual void AcceptFiles(bool accept) = 0;
  // Raises the window and gives it the input focus.
  virtual void BringToFront() = 0;

 protected:
  ~TWindow() = default;
};

using HWND = TWindow*;

// A control whose messages all go through one replaceable procedure. The
// procedure installed first is the control's own default handling; one that
// replaces it calls the one it replaced for whatever it does not handle.
class TWinControl {
 public:
  virtual TWndMethod WindowProc() const = 0;
  virtual void SetWindowProc(TWndMethod procedure) = 0;
  // The control's window handle.
  virtual HWND GetHandle() = 0;

 protected:
  ~TWinControl() = default;
};

// Sends a message to the control's current procedure and returns its result.
LRESULT Perform(TWinControl& control, std::uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);

// Switches the window's acceptance of dropped files; a null window is left
// alone.
void DragAcceptFiles(HWND window, bool accept);

// Brings the window to the front; false for a null window.
bool SetForegroundWindow(HWND window);

}  // namespace corvane
