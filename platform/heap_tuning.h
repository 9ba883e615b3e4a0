#pragma once

// Process-wide memory tuning for building large trees.

namespace corvane {

// Lets the kernel back the heap with transparent huge pages. A tree of a
// hundred thousand nodes takes some twenty megabytes in small allocations;
// with 4 KiB pages each one is touched through its own page fault, which
// costs more than building the nodes. Where the platform has no such
// tuning (not Linux with glibc), nothing happens. Call it once, first thing
// in main.
void UseHugePagesForHeap();

// Extends that advice to the heap grown since, for allocators that take
// large blocks (the node store's): a tree of a million nodes outgrows the
// first step of the heap. Cheap when the heap has not grown; nothing unless
// UseHugePagesForHeap took effect.
void AdviseHeapGrowth();

}  // namespace corvane
