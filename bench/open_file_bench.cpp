// From file name to complete tree, through the same ViewerCore the window
// uses, with a shell whose pump and status bar cost nothing.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "bench_image.h"
#include "temp_files.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane {
namespace {

// Opens `path` as the window does, once per iteration.
void OpenRepeatedly(benchmark::State& state, const std::string& path) {
  testing::NullShell shell;
  ViewerCore core(shell);
  for (auto _ : state) {
    core.ClearAll();
    core.ProcessFile(nullptr, path);
  }
  state.counters["nodes"] = core.Items().GetCount();
}

void OpenLargeImage(benchmark::State& state) {
  const testing::TempDir dir;
  const auto exports = static_cast<std::uint32_t>(state.range(0));
  OpenRepeatedly(state, dir.Write("large.dll", bench::LargeImage(exports, 200, 50).bytes));
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

// Names only the collator can order, at 1 and 4 MB: the time per megabyte
// must stay flat.
void OpenUnweightedNames(benchmark::State& state) {
  const testing::TempDir dir;
  const auto bytes = bench::UnweightedNamesImage(static_cast<std::size_t>(state.range(0)) << 20).bytes;
  OpenRepeatedly(state, dir.Write("names.dll", bytes));
  state.counters["MB"] = static_cast<double>(bytes.size()) / (1 << 20);
}
BENCHMARK(OpenUnweightedNames)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// Real DLLs: the mingw-w64 runtimes and Wine's five largest, where they are
// installed. Speed work is judged here, not on the written images alone.
const bool kRealFilesRegistered = [] {
  const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  for (const std::string& path : std::initializer_list<std::string>{"/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll",
                                 "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll",
                                 "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libgfortran-5.dll",
                                 wine + "mshtml.dll", wine + "wined3d.dll", wine + "shell32.dll",
                                 wine + "msxml3.dll", wine + "windowscodecs.dll"}) {
    if (!std::filesystem::exists(path)) continue;
    const std::string name = "OpenRealFile/" + std::filesystem::path(path).parent_path().parent_path().filename().string() +
                             "/" + std::filesystem::path(path).filename().string();
    benchmark::RegisterBenchmark(name.c_str(), OpenRepeatedly, path)->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
