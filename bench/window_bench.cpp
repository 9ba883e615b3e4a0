// Opening the large benchmark image in the shown main window (offscreen),
// beside the same build without a window, in one run: the window's share is
// the message pump per node and the one model reset at the end.

#include <benchmark/benchmark.h>

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>

#include "Mainform.h"
#include "bench_image.h"
#include "temp_files.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

const std::string& LargeImagePath() {
  static const testing::TempDir dir;
  static const std::string path = dir.Write("large.dll", bench::LargeImage(100'000, 200, 50).bytes);
  return path;
}

void OpenWithoutWindow(benchmark::State& state) {
  testing::NullShell shell;
  ViewerCore core(shell);
  const QStringList files{QString::fromStdString(LargeImagePath())};
  for (auto _ : state) core.OpenList(files);
  state.counters["nodes"] = core.Items().GetCount();
}
BENCHMARK(OpenWithoutWindow)->Unit(benchmark::kMillisecond);

void OpenInShownWindow(benchmark::State& state) {
  TMain window;
  window.show();
  QApplication::processEvents();
  const QStringList files{QString::fromStdString(LargeImagePath())};
  for (auto _ : state) {
    window.OpenList(files);
    // The view lays out and paints what the reset brought.
    window.InfoTree->repaint();
  }
  state.counters["nodes"] = window.Core().Items().GetCount();
}
BENCHMARK(OpenInShownWindow)->Unit(benchmark::kMillisecond);

// A real program, whose dependency check reads about twenty files: the open
// with the check, and the check alone on the same file. "gap" is the
// longest stretch between two message pumps of one open, in ms: how long
// the window may go without painting.
class PumpClock final : public ViewerShell {
 public:
  int ShowError(const QString&, std::uint32_t, const ErrorSubject&) override { return 1; }
  void SetWaitCursor() override {}
  void RestoreCursor() override {}
  void SetWindowEnabled(bool) override {}
  void FocusWindow() override {}
  void SetStatusPanelText(int, const QString&) override {}
  void PumpMessages() override {
    if (clock_.isValid()) longest = std::max(longest, clock_.nsecsElapsed());
    clock_.start();
  }
  qint64 longest = 0;

 private:
  QElapsedTimer clock_;
};

void OpenWineNotepad(benchmark::State& state) {
  const QString notepad = QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe");
  TMain window;
  window.show();
  QApplication::processEvents();
  for (auto _ : state) {
    window.OpenList({notepad});
    window.InfoTree->repaint();
  }
  if (window.Core().Items().GetCount() == 0) state.SkipWithError("Wine's notepad.exe (libwine) is not installed");
  PumpClock shell;
  ViewerCore core(shell);
  core.OpenList({notepad});
  state.counters["gap"] = static_cast<double>(shell.longest) / 1e6;
}
BENCHMARK(OpenWineNotepad)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
