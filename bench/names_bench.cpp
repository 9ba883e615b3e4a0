// Decoding decorated names in process: the exports of the mingw-w64 C++
// runtime and of Wine's msvcp90.dll, and made-up mangled names in two
// quantities, whose time per name shows whether the work stays linear.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "mapped_image.h"
#include "readable_names.h"
#include "walkers.h"

namespace corvane {
namespace {

std::vector<std::string> ExportNames(const std::string& path) {
  std::vector<std::string> names;
  const auto pe = MapPeFile(path);
  if (!pe) return names;
  EnumExports(
      pe->image,
      [](void* userA, void*, std::string_view name, std::int32_t) {
        static_cast<std::vector<std::string>*>(userA)->emplace_back(name);
        return true;
      },
      &names, nullptr);
  return names;
}

void Undecorate(benchmark::State& state, const std::vector<std::string>& names) {
  if (names.empty()) state.SkipWithError("the file is not installed");
  std::size_t decoded = 0;
  for (auto _ : state) {
    for (const std::string& name : names) decoded += UndecoratedName(name).has_value();
  }
  state.counters["names"] = static_cast<double>(names.size());
  state.counters["decoded"] = static_cast<double>(decoded / std::max<std::size_t>(state.iterations(), 1));
  state.counters["per_name"] = benchmark::Counter(static_cast<double>(names.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

void UndecorateLibstdcxx(benchmark::State& state) {
  static const auto names = ExportNames("/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll");
  Undecorate(state, names);
}
BENCHMARK(UndecorateLibstdcxx)->Unit(benchmark::kMillisecond);

void UndecorateMsvcp90(benchmark::State& state) {
  static const auto names = ExportNames("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/msvcp90.dll");
  Undecorate(state, names);
}
BENCHMARK(UndecorateMsvcp90)->Unit(benchmark::kMillisecond);

// n different member functions taking a few library types, as a C++
// library exports them.
void UndecorateMadeUp(benchmark::State& state) {
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    const std::string member = "member" + std::to_string(i);
    names.push_back("_ZN7corvane5bench" + std::to_string(member.size()) + member +
                    "ERKSt6vectorIiSaIiEEPKcRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE");
  }
  Undecorate(state, names);
}
BENCHMARK(UndecorateMadeUp)->Arg(100'000)->Arg(400'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
