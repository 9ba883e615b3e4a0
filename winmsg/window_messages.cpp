#include "window_messages.h"

namespace corvane {

LRESULT Perform(TWinControl& control, std::uint32_t msg, WPARAM wParam, LPARAM lParam) {
  TMessage message{msg, wParam, lParam, 0};
  control.WindowProc()(message);
  return message.Result;
}

void DragAcceptFiles(HWND window, bool accept) {
  if (window != nullptr) window->AcceptFiles(accept);
}

bool SetForegroundWindow(HWND window) {
  if (window == nullptr) return false;
  window->BringToFront();
  return true;
}

}  // namespace corvane
