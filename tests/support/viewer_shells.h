#pragma once

// Window services for driving the viewer without a window: one that records
// what a window would have shown, for tests, and one that does nothing, for
// benchmarks. Header-only: whoever includes it links the tree library.

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "viewer_core.h"

namespace corvane::testing {

class RecordingShell final : public ViewerShell {
 public:
  struct Error {
    std::string file;
    QString text;
    std::uint32_t style;
  };

  int ShowError(const QString& text, std::uint32_t style, const ErrorSubject& subject) override {
    errors.push_back({subject.file, text, style});
    if (onError) onError();
    return 1;
  }
  void PumpMessages() override {
    ++pumps;
    if (!enabled) ++pumpsWhileDisabled;
    if (onPump) onPump();
  }
  void SetWaitCursor() override { ++cursorDepth; }
  void RestoreCursor() override { --cursorDepth; }
  void SetWindowEnabled(bool value) override { enabled = value; }
  void FocusWindow() override { ++focused; }
  void SetStatusPanelText(int panel, const QString& text) override { status.at(static_cast<std::size_t>(panel)) = text; }

  std::vector<Error> errors;
  std::vector<QString> status = std::vector<QString>(kStatusPanelCount);
  int pumps = 0;
  int pumpsWhileDisabled = 0;
  int cursorDepth = 0;
  int focused = 0;
  bool enabled = true;
  std::function<void()> onPump;
  std::function<void()> onError;
};

// Accepts everything and shows nothing.
class NullShell final : public ViewerShell {
 public:
  int ShowError(const QString&, std::uint32_t, const ErrorSubject&) override { return 1; }
  void PumpMessages() override {}
  void SetWaitCursor() override {}
  void RestoreCursor() override {}
  void SetWindowEnabled(bool) override {}
  void FocusWindow() override {}
  void SetStatusPanelText(int, const QString&) override {}
};

// A viewer with its recording shell, as a test fixture's member.
struct TestViewer {
  RecordingShell shell;
  ViewerCore core{shell};
};

}  // namespace corvane::testing
