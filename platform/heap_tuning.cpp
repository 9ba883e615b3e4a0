#include "heap_tuning.h"

// Any C library header defines __GLIBC__ when the library is glibc.
#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace corvane {

#if defined(__linux__) && defined(__GLIBC__)
namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// The end of the heap advised so far; 0 while the heap is not tuned.
std::atomic<std::uintptr_t> advisedEnd{0};

std::uintptr_t HeapEnd() { return reinterpret_cast<std::uintptr_t>(sbrk(0)); }

// Advises [begin, end) from the first huge page boundary on; true when the
// kernel took the advice.
bool AdviseHugePages(std::uintptr_t begin, std::uintptr_t end) {
  const std::uintptr_t alignedBegin = (begin + kHugePage - 1) & ~(kHugePage - 1);
  if (alignedBegin >= end) return false;
  return madvise(reinterpret_cast<void*>(alignedBegin), end - alignedBegin, MADV_HUGEPAGE) == 0;
}

}  // namespace

void UseHugePagesForHeap() {
  // glibc grows its main heap with brk. Growing it in large steps and
  // advising each step for huge pages gives later small allocations huge
  // pages; the range is only reserved, and memory is used as it is touched.
  constexpr std::size_t kHeapStep = std::size_t{64} << 20;
  constexpr std::size_t kProbe = std::size_t{1} << 20;
  // The probe must come from the heap, not from a mapping of its own, and be
  // larger than what the heap has free, so that the heap grows by the step.
  if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapStep / 2)) == 0) return;
  if (mallopt(M_TOP_PAD, static_cast<int>(kHeapStep)) == 0) return;
  // Volatile, or the compiler drops an allocation that is only freed.
  void* volatile probe = std::malloc(kProbe);
  if (probe == nullptr) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(probe);
  std::free(probe);
  // Freeing the probe trims the heap back to the step: the end is read
  // after, or the advice would reach past the heap and be refused.
  const std::uintptr_t end = HeapEnd();
  if (AdviseHugePages(begin, end)) advisedEnd.store(end, std::memory_order_relaxed);
}

void AdviseHeapGrowth() {
  const std::uintptr_t advised = advisedEnd.load(std::memory_order_relaxed);
  if (advised == 0) return;
  const std::uintptr_t end = HeapEnd();
  // Steps are many huge pages long: a range shorter than one is not a step.
  if (end < advised + kHugePage) return;
  // Another thread may advise the same range at once, which does no harm.
  if (AdviseHugePages(advised, end)) advisedEnd.store(end, std::memory_order_relaxed);
}

#else

void UseHugePagesForHeap() {}
void AdviseHeapGrowth() {}

#endif

}  // namespace corvane
