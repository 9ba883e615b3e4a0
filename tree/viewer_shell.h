#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "library_search.h"

namespace corvane {

// What an error box is about.
struct ErrorSubject {
  // The file being opened or the library looked for; empty for a box about
  // neither.
  std::string file;
  // For a library not found, the files the search passed over and why.
  std::vector<PlaceTried> passedOver;
};

// What the viewer's core asks of whoever shows it: the window, the dump, a
// test. Only a window can do these (the error box, the message pump, the
// cursor, enabling the window, the status bar).
class ViewerShell {
 public:
  virtual ~ViewerShell() = default;
  // A modal box with `text`, the application title as caption and `style`,
  // about `subject`; the identifier of the button pressed.
  virtual int ShowError(const QString& text, std::uint32_t style, const ErrorSubject& subject) = 0;
  // Dispatches whatever waits in the event queue, without waiting.
  virtual void PumpMessages() = 0;
  // Shows the wait cursor, remembering the one it replaces; RestoreCursor
  // puts back the most recently remembered one.
  virtual void SetWaitCursor() = 0;
  virtual void RestoreCursor() = 0;
  virtual void SetWindowEnabled(bool enabled) = 0;
  virtual void FocusWindow() = 0;
  virtual void SetStatusPanelText(int panel, const QString& text) = 0;
};

}  // namespace corvane
