// The View menu's options in the shown main window (offscreen): how long
// the Modules pane takes to show another file's closure once the tree's
// selection moves there, and how long Only Problems takes to turn on and
// off over the large benchmark image, each time until the view has painted.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>

#include <string>

#include "Mainform.h"
#include "bench_image.h"
#include "modules_pane.h"
#include "pe_writer.h"
#include "temp_files.h"

namespace corvane {
namespace {

const testing::TempDir& Folder() {
  static const testing::TempDir dir;
  return dir;
}

// A program that imports from 100 libraries beside it, each found.
std::string WriteHundredModules() {
  testing::PeWriter program(testing::Layout::Pe32Plus);
  for (int library = 0; library < 100; ++library) {
    const std::string name = "module" + std::to_string(library) + ".dll";
    Folder().Write("hundred/" + name, testing::PeWriter(testing::Layout::Pe32Plus).Export("F", 0).Build().bytes);
    program.Import(name, {testing::ByName("F")});
  }
  return Folder().Write("hundred/program.exe", program.Build().bytes);
}

// The large image, alone (its 200 libraries are not found) or with every
// library it imports from beside it but the last.
std::string WriteLargeImage(bool withLibraries) {
  constexpr int kLibraries = 200, kFunctions = 50;
  const std::string folder = withLibraries ? "present/" : "missing/";
  for (int library = 0; withLibraries && library + 1 < kLibraries; ++library) {
    testing::PeWriter writer(testing::Layout::Pe32);
    for (int function = 0; function < kFunctions; ++function) {
      writer.Export("ImportedFunction" + std::to_string(function) + "_" + std::to_string(library),
                    static_cast<std::uint16_t>(function));
    }
    Folder().Write(folder + "library" + std::to_string(library) + ".dll", writer.Build().bytes);
  }
  return Folder().Write(folder + "large.dll", bench::LargeImage(100'000, kLibraries, kFunctions).bytes);
}

const std::string& LargeImage(bool withLibraries) {
  static const std::string alone = WriteLargeImage(false), withThem = WriteLargeImage(true);
  return withLibraries ? withThem : alone;
}

// Each in the window's designed size and in 1280 x 960, where the pane
// shows about 25 rows and the tree lays out fewer texts too wide for it.
void Size(TMain& window, bool large) {
  if (large) window.resize(1280, 960);
  window.show();
}

// Selects each file's root in turn; only the move to `file` is timed.
void PaneFollowsSelection(benchmark::State& state, const std::string& file, bool large) {
  TMain window;
  Size(window, large);
  window.ShowModules->setChecked(true);
  const std::string other = Folder().Write("other.exe", testing::PeWriter(testing::Layout::Pe32).Build().bytes);
  window.OpenList({QString::fromStdString(file), QString::fromStdString(other)});
  QApplication::processEvents();
  const QAbstractItemModel* tree = window.InfoTree->model();
  for (auto _ : state) {
    state.PauseTiming();
    window.InfoTree->setCurrentIndex(tree->index(0, 0));
    QApplication::processEvents();
    window.ModuleList->repaint();
    state.ResumeTiming();
    window.InfoTree->setCurrentIndex(tree->index(1, 0));
    // The view lays its rows and columns out when the event loop next runs.
    QApplication::processEvents();
    window.ModuleList->repaint();
  }
  state.counters["modules"] = window.ModuleList->model()->rowCount();
  if (window.ModuleList->model()->rowCount() == 0) state.SkipWithError("the file was not opened");
}
const std::string kHundredModules = WriteHundredModules();
const std::string kNotepad = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe";
BENCHMARK_CAPTURE(PaneFollowsSelection, WineNotepad, kNotepad, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PaneFollowsSelection, WineNotepad_Large, kNotepad, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PaneFollowsSelection, HundredModules, kHundredModules, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PaneFollowsSelection, HundredModules_Large, kHundredModules, true)->Unit(benchmark::kMillisecond);

// Turns Only Problems on (`on`) or off, the other way untimed.
void OnlyProblems(benchmark::State& state, bool withLibraries, bool on, bool large, bool pane = false) {
  TMain window;
  Size(window, large);
  window.ShowModules->setChecked(pane);
  window.OpenList({QString::fromStdString(LargeImage(withLibraries))});
  QApplication::processEvents();
  const auto set = [&window](bool checked) {
    window.OnlyProblems->setChecked(checked);
    QApplication::processEvents();
    window.InfoTree->repaint();
  };
  for (auto _ : state) {
    state.PauseTiming();
    if (!on) set(true);
    state.ResumeTiming();
    set(on);
    state.PauseTiming();
    if (on) set(false);
    state.ResumeTiming();
  }
  state.counters["nodes"] = window.Core().Items().GetCount();
  set(true);
  const QAbstractItemModel* tree = window.InfoTree->model();
  state.counters["shown"] = tree->rowCount(tree->index(0, 0));
}
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_On, false, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_Off, false, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, OneMissing_On, true, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, OneMissing_Off, true, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_On_Large, false, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_Off_Large, false, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, OneMissing_On_Large, true, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, OneMissing_Off_Large, true, false, true)->Unit(benchmark::kMillisecond);
// With the Modules pane open on the image's 201 modules.
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_On_Large_Pane, false, true, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnlyProblems, AllMissing_Off_Large_Pane, false, false, true, true)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // The Modules option the benchmarks turn on is kept in a folder of the run's own.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
