#pragma once

// Bytes the process heap hands out at this moment, from the allocator the
// build uses, for tests that check whether a record was given back.

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// Exported by the AddressSanitizer runtime; GCC does not ship its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace corvane::testing {

inline std::size_t HeapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

}  // namespace corvane::testing
