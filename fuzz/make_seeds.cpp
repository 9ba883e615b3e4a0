// Writes the fuzzer's starting corpus: small images that between them hold
// every structure the reader walks, in both layouts, so that mutation starts
// from files that reach deep into each walker instead of stopping at the
// signature check. Files named after the options are copied in as they are.
//
// Usage: corvane-make-seeds OUTPUT_DIR [FILE...]

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "pe_writer.h"
#include "temp_files.h"

namespace corvane::testing {
namespace {

struct Seed {
  std::string name;
  BuiltImage image;
};

std::vector<Seed> SeedsFor(Layout layout) {
  const FixedFileInfo version{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004, .fileFlags = 0x22};
  std::vector<Seed> seeds;
  seeds.push_back({"minimal", MinimalPe(layout)});
  seeds.push_back({"exports", PeWriter(layout)
                                  .ExportBase(7)
                                  .Export("alpha", 0)
                                  .Export("beta", 2)
                                  .Export("gamma", 1)
                                  .UnnamedExports(2)
                                  .Build()});
  seeds.push_back({"imports", PeWriter(layout)
                                  .Import("KERNEL32.dll", {ByName("Sleep", 3), ByOrdinal(17), ByName("ExitProcess")})
                                  .Import("USER32.dll", {ByName("MessageBoxA")}, ThunkTables::FirstThunkOnly)
                                  .Build()});
  seeds.push_back({"split-descriptors", PeWriter(layout)
                                            .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(1)})
                                            .Import("msvcrt.dll", {ByName("malloc")})
                                            .Import("KERNEL32.dll", {ByName("ExitProcess"), ByOrdinal(65535)})
                                            .Build()});
  seeds.push_back({"raw-thunks", PeWriter(layout)
                                     .Import("odd.dll", {RawThunk(0x80001234), RawThunk(0x7FFFFFFF), ByName("")})
                                     .Build()});
  seeds.push_back({"version", PeWriter(layout).Version(version).Build()});
  seeds.push_back({"version-lengths-lie", PeWriter(layout).Version(version).VersionLength(0xFFFF).VersionValueLength(51).Build()});
  seeds.push_back({"resources", PeWriter(layout)
                                    .Resource(3, std::vector<std::uint8_t>(40, 0xAB))
                                    .Version(version)
                                    .Resource(24, std::vector<std::uint8_t>(16, 0x20))
                                    .Build()});
  seeds.push_back({"shared-section", PeWriter(layout)
                                         .Export("only", 0)
                                         .ExportsIn(".data")
                                         .Import("a.dll", {ByName("f")})
                                         .ImportsIn(".data")
                                         .Version(version)
                                         .ResourcesIn(".data")
                                         .EmptySection(".bss")
                                         .Build()});
  seeds.push_back({"everything", PeWriter(layout)
                                     .ImageBase(layout == Layout::Pe32 ? 0x10000000 : 0x180000000)
                                     .Export("alpha", 1)
                                     .Export("beta", 0)
                                     .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(17)})
                                     .Import("USER32.dll", {ByName("MessageBoxA")}, ThunkTables::FirstThunkOnly)
                                     .Import("KERNEL32.dll", {ByName("ExitProcess")})
                                     .Version(version)
                                     .Build()});
  return seeds;
}

}  // namespace
}  // namespace corvane::testing

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: corvane-make-seeds OUTPUT_DIR [FILE...]\n", stderr);
    return 2;
  }
  using namespace corvane::testing;
  try {
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    for (const auto& [layout, prefix] : {std::pair{Layout::Pe32, "pe32-"}, std::pair{Layout::Pe32Plus, "pe32plus-"}}) {
      for (const Seed& seed : SeedsFor(layout)) WriteFile(directory / (prefix + seed.name), seed.image.bytes);
    }
    for (int i = 2; i < argc; ++i) {
      const std::filesystem::path file = argv[i];
      std::filesystem::copy_file(file, directory / file.filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvane-make-seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
