// From file name to complete tree, through the same ViewerCore the window
// uses, with a shell whose pump and status bar cost nothing.

#include <benchmark/benchmark.h>

#include "bench_image.h"
#include "temp_files.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

void OpenLargeImage(benchmark::State& state) {
  const testing::TempDir dir;
  const auto exports = static_cast<std::uint32_t>(state.range(0));
  const std::string path = dir.Write("large.dll", bench::LargeImage(exports, 200, 50).bytes);
  testing::NullShell shell;
  ViewerCore core(shell);
  for (auto _ : state) {
    core.ClearAll();
    core.ProcessFile(nullptr, path);
  }
  state.counters["nodes"] = core.Items().GetCount();
}
BENCHMARK(OpenLargeImage)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void ClearLargeTree(benchmark::State& state) {
  const testing::TempDir dir;
  const std::string path = dir.Write("large.dll", bench::LargeImage(100'000, 200, 50).bytes);
  testing::NullShell shell;
  ViewerCore core(shell);
  for (auto _ : state) {
    state.PauseTiming();
    core.ProcessFile(nullptr, path);
    state.ResumeTiming();
    core.ClearAll();
  }
}
BENCHMARK(ClearLargeTree)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
