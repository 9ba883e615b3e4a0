// Opens each input as the viewer opens a file, the mapping left out, and
// stops on the first rule the build breaks. The input is copied into a heap
// block of exactly its size, so AddressSanitizer catches any read past its
// end; the rules catch what reads only inside it but is still wrong.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "open_in_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const corvane::testing::OpenedImage opened = corvane::testing::OpenInMemory({data, size});
  for (const std::string& violation : opened.violations) std::fprintf(stderr, "violation: %s\n", violation.c_str());
  if (!opened.violations.empty()) std::abort();
  return 0;
}
