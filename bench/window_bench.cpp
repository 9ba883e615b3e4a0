// Opening the large benchmark image in the shown main window (offscreen),
// beside the same build without a window, in one run: the window's share is
// the message pump per node and the one model reset at the end.

#include <benchmark/benchmark.h>

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
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

// View > Undecorate C++ Names turned on and off in a window showing the
// mingw-w64 C++ runtime with "Exported APIs" expanded, each until painted.
void ToggleUndecorateOnLibstdcxx(benchmark::State& state) {
  const testing::TempDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings.Path()));
  TMain window;
  window.show();
  window.OpenList({QStringLiteral("/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll")});
  if (window.Core().Items().GetCount() == 0) return state.SkipWithError("libstdc++-6.dll is not installed");
  const QModelIndex exports = window.InfoTree->model()->index(1, 0, window.InfoTree->model()->index(0, 0));
  window.InfoTree->expand(exports);
  window.InfoTree->repaint();
  QElapsedTimer clock;
  qint64 on = 0, off = 0;
  for (auto _ : state) {
    for (qint64* total : {&on, &off}) {
      clock.start();
      window.UndecorateNames->trigger();
      window.InfoTree->repaint();
      *total += clock.nsecsElapsed();
    }
  }
  const double iterations = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["on_ms"] = static_cast<double>(on) / 1e6 / iterations;
  state.counters["off_ms"] = static_cast<double>(off) / 1e6 / iterations;
}
BENCHMARK(ToggleUndecorateOnLibstdcxx)->Unit(benchmark::kMillisecond);

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
