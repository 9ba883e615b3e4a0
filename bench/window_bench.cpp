// Opening the large benchmark image in the shown main window (offscreen),
// beside the same build without a window, in one run: the window's share is
// the message pump per node and the one model reset at the end.

#include <benchmark/benchmark.h>

#include <QApplication>
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
