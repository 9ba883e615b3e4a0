#pragma once

// A small growable array for the message interceptor's handler entries.
// Memory grows and shrinks in fixed steps of elements, every slot handed out
// or vacated is zero-filled, and failures come back as result values (null,
// false or -1), never as exceptions.

#include <cstddef>
#include <cstdint>

namespace corvane {

// A raw block of memory that owns what it holds. The three operations can be
// overridden to take memory from elsewhere; this class's own take it from the
// process heap.
class TVoid {
 public:
  TVoid() = default;
  // Releases the block through this class's own Deallocate: by the time a
  // base destructor runs, an override is gone. A subclass that takes memory
  // elsewhere calls SetSize(0) in its own destructor.
  ~TVoid();
  TVoid(const TVoid&) = delete;
  TVoid& operator=(const TVoid&) = delete;

  std::int32_t Size() const { return size_; }
  void* Data() const { return data_; }

  // Makes the block hold `bytes` bytes, keeping the contents that fit; 0
  // releases the memory. False, with the block as it was, when the memory
  // cannot be had or `bytes` is negative.
  bool SetSize(std::int32_t bytes);

 protected:
  virtual void* Allocate(std::size_t bytes);
  virtual void* Reallocate(void* pointer, std::size_t bytes);
  virtual void Deallocate(void* pointer);

 private:
  std::int32_t size_ = 0;
  void* data_ = nullptr;
};

// Fixed-size elements stored contiguously, element i at byte i * ElementSize.
// Capacity moves in steps of GrowBy elements: a run of appends reallocates at
// most once per step, and a removal never leaves GrowBy or more spare slots.
class TArray {
 public:
  TArray(std::int32_t elementSize, std::int32_t growBy);
  ~TArray();
  TArray(const TArray&) = delete;
  TArray& operator=(const TArray&) = delete;

  std::int32_t Capacity() const { return capacity_; }
  std::int32_t ElementSize() const { return elementSize_; }
  std::int32_t GrowBy() const { return growBy_; }
  std::int32_t Count() const { return count_; }
  const TVoid& Block() const { return block_; }

  // Releases the memory; no elements, no capacity.
  void Clear();
  // Appends `n` zero-filled elements and returns the first of them; null,
  // with nothing changed, when `n` is below 1 or the memory cannot be had.
  void* Grow(std::int32_t n);
  // Removes the last `n` elements; a negative `n`, or one not below Count,
  // removes all and releases the memory. False only when there is nothing to
  // remove from.
  bool Truncate(std::int32_t n);
  // Removes `n` elements from `index` on (at most up to the end), moving the
  // later ones down. False when `index` names no element. A count of 0 or
  // less removes nothing.
  bool Delete(std::int32_t index, std::int32_t n);
  // The slot of element `index`, or null when there is no such element.
  void* ItemPtr(std::int32_t index) const;

 private:
  bool Reserve(std::int32_t capacity);
  void ZeroFill(std::int32_t from, std::int32_t to);

  std::int32_t capacity_ = 0;
  std::int32_t elementSize_;
  std::int32_t growBy_;
  std::int32_t count_ = 0;
  TVoid block_;
};

// An array of untyped pointers that can own the records they point to. An
// owning array releases with std::free, without running a destructor, every
// non-null pointer it removes or still holds when it goes: its records are
// plain ones taken with std::malloc.
class TArrayData : public TArray {
 public:
  explicit TArrayData(bool ownsElements);
  ~TArrayData();

  bool OwnsElements() const { return ownsElements_; }
  void SetOwnsElements(bool owns) { ownsElements_ = owns; }

  // Appends `pointer`; its index, or -1 when the memory cannot be had.
  std::int32_t Add(void* pointer);
  // The pointer at `index`, or null when there is none.
  void* Get(std::int32_t index) const;
  // The index of the first slot holding `pointer`, or -1.
  std::int32_t IndexOf(const void* pointer) const;
  // Releases the element at `index` if owned, then removes its slot.
  bool RemoveAt(std::int32_t index);
  // Removes the first slot holding `pointer`; false when none does.
  bool Remove(const void* pointer);
  // If owning: releases the records of up to `n` slots from `index` on and
  // nulls those slots, which stay in the array.
  void ReleaseElements(std::int32_t index, std::int32_t n);

 private:
  bool ownsElements_;
};

}  // namespace corvane
