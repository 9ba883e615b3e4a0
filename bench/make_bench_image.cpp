// Writes the benchmark image to a file, for timing whole programs on it.
// Usage: corvane-make-bench-image OUTPUT [EXPORTS [LIBRARIES [FUNCTIONS]]]
//        corvane-make-bench-image --unweighted-names KILOBYTES OUTPUT
//        corvane-make-bench-image --self-pointing-run KILOBYTES OUTPUT [SECTION_RVA]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "bench_image.h"
#include "self_pointing_run.h"

int main(int argc, char** argv) {
  const bool unweighted = argc == 4 && std::strcmp(argv[1], "--unweighted-names") == 0;
  const bool selfPointing = (argc == 4 || argc == 5) && std::strcmp(argv[1], "--self-pointing-run") == 0;
  const bool sized = unweighted || selfPointing;
  // An option where the output belongs (--help) is not a file to write.
  if (argc < 2 || (argv[1][0] == '-' && !sized)) {
    std::fputs("usage: corvane-make-bench-image OUTPUT [EXPORTS [LIBRARIES [FUNCTIONS]]]\n"
               "       corvane-make-bench-image --unweighted-names KILOBYTES OUTPUT\n"
               "       corvane-make-bench-image --self-pointing-run KILOBYTES OUTPUT [SECTION_RVA]\n",
               stderr);
    return 2;
  }
  const auto number = [&](int index, long fallback) {
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
  };
  const auto write = [](const char* path, const corvane::testing::BuiltImage& image) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
    return out ? 0 : 1;
  };
  const std::size_t bytes = static_cast<std::size_t>(number(2, 1024)) * 1024;
  if (unweighted) return write(argv[3], corvane::bench::UnweightedNamesImage(bytes));
  if (selfPointing) {
    const auto sectionRva = static_cast<std::uint32_t>(argc == 5 ? std::strtoul(argv[4], nullptr, 0) : 0x10000);
    return write(argv[3], corvane::testing::SelfPointingRunImage(bytes, sectionRva));
  }
  return write(argv[1], corvane::bench::LargeImage(static_cast<std::uint32_t>(number(2, 100'000)),
                                                   static_cast<int>(number(3, 200)), static_cast<int>(number(4, 50))));
}
