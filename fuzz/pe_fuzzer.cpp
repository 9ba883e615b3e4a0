// Hands arbitrary bytes to the reader the way the viewer does after mapping
// a file, and stops on the first rule the reader breaks. libFuzzer passes
// each input in a heap block of exactly its size, so AddressSanitizer
// catches any read past the view; the probe's checks catch what reads only
// inside it but is still wrong.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const corvane::ByteView view(reinterpret_cast<const std::byte*>(data), size);
  const corvane::probe::ImageProbe probe = corvane::probe::ProbeImage(view);
  if (probe.violations.empty()) return 0;
  for (const std::string& violation : probe.violations) std::fprintf(stderr, "violation: %s\n", violation.c_str());
  std::abort();
}
