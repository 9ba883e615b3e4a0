// How the build grows: time per node over files that grow in one direction
// only (exports alone, or one library's imports alone), and the heap the
// finished tree holds per node. Linear growth shows as a flat time per node;
// the duplicate checks and sorts are where it would stop being flat. Also a
// find bar's search over the finished tree.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstddef>
#include <string>

#include "bench_image.h"
#include "node_search.h"
#include "temp_files.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

// `exports` named exports and, when `functions` is not 0, one library that
// imports that many functions.
std::string WriteImage(const testing::TempDir& dir, std::int64_t exports, std::int64_t functions) {
  return dir.Write("scaling.dll", bench::LargeImage(static_cast<std::uint32_t>(exports), functions > 0 ? 1 : 0,
                                                    static_cast<int>(functions))
                                      .bytes);
}

void SetPerNodeCounters(benchmark::State& state, const ViewerCore& core) {
  const auto nodes = static_cast<double>(core.Items().GetCount());
  state.counters["nodes"] = nodes;
  state.counters["time_per_node"] =
      benchmark::Counter(nodes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Open(benchmark::State& state, std::int64_t exports, std::int64_t functions) {
  const testing::TempDir dir;
  const std::string path = WriteImage(dir, exports, functions);
  testing::NullShell shell;
  ViewerCore core(shell);
  for (auto _ : state) {
    core.ClearAll();
    core.ProcessFile(nullptr, path);
  }
  SetPerNodeCounters(state, core);
}

void OpenExports(benchmark::State& state) { Open(state, state.range(0), 0); }
BENCHMARK(OpenExports)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void OpenImports(benchmark::State& state) { Open(state, 0, state.range(0)); }
BENCHMARK(OpenImports)->Arg(10'000)->Arg(50'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// A search that matches nothing passes over every node once: linear, it
// keeps a flat time per node.
void FindWithoutMatch(benchmark::State& state) {
  const testing::TempDir dir;
  testing::NullShell shell;
  ViewerCore core(shell);
  core.ProcessFile(nullptr, WriteImage(dir, state.range(0), 0));
  for (auto _ : state) benchmark::DoNotOptimize(FindNode(core.Items(), nullptr, QStringLiteral("no such"), false));
  SetPerNodeCounters(state, core);
}
BENCHMARK(FindWithoutMatch)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The C library's own count of bytes in use, so that the mapped file and
// page rounding stay out of the measure.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void TreeMemory(benchmark::State& state) {
  const testing::TempDir dir;
  const std::string path = WriteImage(dir, state.range(0), state.range(1));
  testing::NullShell shell;
  ViewerCore core(shell);
  double bytesPerNode = 0;
  for (auto _ : state) {
    core.ClearAll();
    const std::size_t before = HeapInUse();
    core.ProcessFile(nullptr, path);
    bytesPerNode = static_cast<double>(HeapInUse() - before) / core.Items().GetCount();
  }
  state.counters["nodes"] = core.Items().GetCount();
  state.counters["bytes_per_node"] = bytesPerNode;
}
BENCHMARK(TreeMemory)->Args({100'000, 0})->Args({1'000'000, 0})->Args({0, 50'000})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
