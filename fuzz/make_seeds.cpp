// Writes the fuzzer's starting corpus into OUTPUT_DIR: small images that
// between them hold every structure the build walks, in both layouts, so
// that mutation starts from files that reach deep into each walker instead
// of stopping at the signature check.
//
// Usage: corvane-make-seeds OUTPUT_DIR

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "hostile_names.h"
#include "pe_writer.h"
#include "self_pointing_run.h"
#include "temp_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: corvane-make-seeds OUTPUT_DIR\n", stderr);
    return 2;
  }
  using namespace corvane::testing;
  const std::filesystem::path out = argv[1];
  const FixedFileInfo version{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004, .fileFlags = 0x22};
  for (const Layout layout : {Layout::Pe32, Layout::Pe32Plus}) {
    const std::pair<std::string, PeWriter> seeds[] = {
        {"minimal", PeWriter(layout)},
        {"everything", PeWriter(layout)
                           .ExportBase(7)
                           .Export("alpha", 0)
                           .Export("beta", 2)
                           .UnnamedExports(2)
                           .Import("KERNEL32.dll", {ByName("Sleep", 3), ByOrdinal(17), ByName("ExitProcess")})
                           .Import("USER32.dll", {ByName("MessageBoxA")}, ThunkTables::FirstThunkOnly)
                           .Import("KERNEL32.dll", {ByName("Beep"), ByOrdinal(65535)})
                           .Version(version)},
        {"forwards-and-delay-loads", PeWriter(layout)
                                         .Export("own", 0)
                                         .Forward("next", 1, "self.own")
                                         .Forward("loop", 2, "self.loop")
                                         .Import("self.dll", {ByName("next"), ByName("loop"), ByOrdinal(1)})
                                         .DelayImport("late.dll", {ByName("f"), ByOrdinal(2)})},
        {"odd-thunks", PeWriter(layout).Import("odd.dll", {RawThunk(0x80001234), RawThunk(0x7FFFFFFF), ByName("")})},
        {"decorated-names", PeWriter(layout)
                                .Export(ItaniumDoubling(6), 0)
                                .Export("?_Getcat@?$codecvt@DDH@std@@SAIPAPBVfacet@locale@2@@Z", 1)
                                .Export(MicrosoftFanOut(2), 2)
                                .Import("self.dll", {ByName("_ZNKSt7codecvtIcciE6do_outERiPKcS3_RS3_PcS5_RS5_"),
                                                     ByName("_RNvCs15kBYyAo9fc_7mycrate3foo"), ByOrdinal(1)})},
        {"one-section", PeWriter(layout).Import("a.dll", {ByName("f")}).Version(version).ResourcesIn(".idata")},
    };
    const std::string prefix = layout == Layout::Pe32 ? "pe32-" : "pe32plus-";
    for (const auto& [name, writer] : seeds) WriteFile(out / (prefix + name), writer.Build().bytes);
    // Tables that point one word on, all through the file, naming control
    // characters or 8-bit bytes, as repeats that every 20 bytes read as
    // descriptors; the directory ends after eight of them, so that a seed
    // costs little and one mutation lets it run on.
    constexpr std::size_t kSelfPointingBytes = 60 * 1024;
    const std::pair<std::string, std::uint32_t> runs[] = {{"self-pointing-run", 0x10000},
                                                          {"self-pointing-run-8bit", 0x800000}};
    for (const auto& [name, sectionRva] : runs)
      WriteFile(out / (prefix + name), SelfPointingRunImage(kSelfPointingBytes, sectionRva, layout, 8).bytes);
  }
  return 0;
}
