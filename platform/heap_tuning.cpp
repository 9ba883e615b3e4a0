#include "heap_tuning.h"

// Any C library header defines __GLIBC__ when the library is glibc.
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace corvane {

void UseHugePagesForHeap() {
#if defined(__linux__) && defined(__GLIBC__)
  // glibc grows its main heap with brk. Growing it in one large step and
  // advising that range for huge pages gives later small allocations huge
  // pages; the range is only reserved, and memory is used as it is touched.
  constexpr std::size_t kHeapStep = std::size_t{64} << 20;
  constexpr std::size_t kProbe = std::size_t{1} << 20;
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  // The probe must come from the heap, not from a mapping of its own, and be
  // larger than what the heap has free, so that the heap grows by the step.
  if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapStep / 2)) == 0) return;
  if (mallopt(M_TOP_PAD, static_cast<int>(kHeapStep)) == 0) return;
  // Volatile, or the compiler drops an allocation that is only freed.
  void* volatile probe = std::malloc(kProbe);
  if (probe == nullptr) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(probe);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
  std::free(probe);
  const std::uintptr_t alignedBegin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  if (alignedBegin >= end) return;
  madvise(reinterpret_cast<void*>(alignedBegin), end - alignedBegin, MADV_HUGEPAGE);
#endif
}

}  // namespace corvane
