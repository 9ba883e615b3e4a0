// Resolving every import of every PE file in Wine's x86-64 folder the way
// an inspection resolves one: the loader's places worked out, the API set
// step, then the folders in order, with each candidate's headers read. The
// items per second are resolutions.

#include <benchmark/benchmark.h>

#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dependency_check.h"
#include "library_search.h"
#include "mapped_file.h"
#include "mapped_image.h"
#include "system_services.h"
#include "walkers.h"

namespace corvane {
namespace {

struct Resolution {
  std::size_t file;  // which importing file, counted from 1
  Importer importer;
  std::string fileFolder;
  std::string name;
};

// Each library a file imports, once, as its tree shows it.
std::vector<Resolution> WineImports(std::size_t& files) {
  const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
  std::vector<Resolution> resolutions;
  files = 0;
  for (const std::string& entry : FolderEntries(wine)) {
    const auto pe = MapPeFile(PathInFolder(wine, entry));
    if (!pe) continue;
    const MappedImage& image = pe->image;
    ++files;
    std::set<std::string> names;
    EnumImportedLibraries(
        image,
        [](void* userA, void*, std::string_view name) {
          static_cast<std::set<std::string>*>(userA)->emplace(name);
          return true;
        },
        &names, nullptr);
    const Importer importer{entry, ImageMachine(image.base).value_or(0), image.IsPe32Plus()};
    for (const std::string& name : names) resolutions.push_back({files, importer, wine + "/", name});
  }
  return resolutions;
}

// `freshSearch`: a new search for every file, so that no folder listing or
// schema outlives the few resolutions of one file.
void Resolve(benchmark::State& state, bool freshSearch) {
  std::size_t files = 0;
  const std::vector<Resolution> resolutions = WineImports(files);
  if (resolutions.empty()) {
    state.SkipWithError("Wine's x86-64 PE libraries (libwine) are not installed");
    return;
  }
  LibrarySearch kept;
  std::size_t found = 0;
  for (auto _ : state) {
    found = 0;
    std::size_t file = 0;
    LibrarySearch fresh;
    for (const Resolution& r : resolutions) {
      if (freshSearch && file != r.file) fresh = LibrarySearch();
      file = r.file;
      LibrarySearch& search = freshSearch ? fresh : kept;
      found += search.Find(r.name, r.importer, search.LoaderSearchPlaces(r.fileFolder, r.importer.pe32Plus)).found ? 1 : 0;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * resolutions.size()));
  state.counters["files"] = static_cast<double>(files);
  state.counters["resolutions"] = static_cast<double>(resolutions.size());
  state.counters["found"] = static_cast<double>(found);
}

void ResolveWineImports(benchmark::State& state) { Resolve(state, false); }
BENCHMARK(ResolveWineImports)->Unit(benchmark::kMillisecond);

void ResolveWineImportsFreshSearchPerFile(benchmark::State& state) { Resolve(state, true); }
BENCHMARK(ResolveWineImportsFreshSearchPerFile)->Unit(benchmark::kMillisecond);

// Wine's own files import no API set names, so these are resolved apart:
// the Universal CRT's contracts, as a program built against it imports
// them, through Wine's schema to ucrtbase.dll.
void ResolveUcrtApiSets(benchmark::State& state) {
  std::vector<std::string> names;
  for (const char* contract : {"conio", "convert", "environment", "filesystem", "heap", "locale", "math", "multibyte",
                               "private", "process", "runtime", "stdio", "string", "time", "utility"}) {
    names.push_back(std::string("api-ms-win-crt-") + contract + "-l1-1-0.dll");
  }
  const Importer importer{"app.exe", 0x8664, true};
  LibrarySearch search;
  std::size_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (const std::string& name : names) {
      found += search.Find(name, importer, search.LoaderSearchPlaces("", true)).found ? 1 : 0;
    }
  }
  if (found != names.size()) state.SkipWithError("Wine's schema or ucrtbase.dll (libwine) is not installed");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(ResolveUcrtApiSets)->Unit(benchmark::kMicrosecond);

// The dependency check of Wine's x86-64 notepad.exe, or of every PE file in
// the folder one after another with what they share read once, as
// corvane-dump --modules checks them. Each round is a new check, with the
// search's folder listings kept, as in the window.
void CheckWine(benchmark::State& state, bool everyFile) {
  const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  std::vector<std::string> files;
  for (const std::string& entry : everyFile ? FolderEntries(wine) : std::vector<std::string>{"notepad.exe"}) {
    files.push_back(wine + entry);
  }
  LibrarySearch search;
  std::size_t modules = 0;
  for (auto _ : state) {
    DependencyCheck check(search);
    modules = 0;
    for (const std::string& path : files) {
      if (const auto pe = MapPeFile(path)) modules += check.Check(path, pe->image).modules.size();
    }
  }
  if (modules == 0) state.SkipWithError("Wine's x86-64 PE libraries (libwine) are not installed");
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["modules"] = static_cast<double>(modules);
}

void CheckWineNotepad(benchmark::State& state) { CheckWine(state, false); }
BENCHMARK(CheckWineNotepad)->Unit(benchmark::kMillisecond);

void CheckEveryWineFile(benchmark::State& state) { CheckWine(state, true); }
BENCHMARK(CheckEveryWineFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
