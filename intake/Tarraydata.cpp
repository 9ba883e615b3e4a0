#include "Tarraydata.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace corvane {
namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kPointerSize = static_cast<std::int32_t>(sizeof(void*));
constexpr std::int32_t kPointerGrowBy = 8;

}  // namespace

TVoid::~TVoid() {
  if (data_ != nullptr) TVoid::Deallocate(data_);
}

bool TVoid::SetSize(std::int32_t bytes) {
  if (bytes == size_) return true;
  if (bytes < 0) return false;
  if (bytes == 0) {
    Deallocate(data_);
    data_ = nullptr;
    size_ = 0;
    return true;
  }
  void* resized = data_ == nullptr ? Allocate(static_cast<std::size_t>(bytes))
                                   : Reallocate(data_, static_cast<std::size_t>(bytes));
  if (resized == nullptr) return false;
  data_ = resized;
  size_ = bytes;
  return true;
}

void* TVoid::Allocate(std::size_t bytes) { return std::malloc(bytes); }

void* TVoid::Reallocate(void* pointer, std::size_t bytes) { return std::realloc(pointer, bytes); }

void TVoid::Deallocate(void* pointer) { std::free(pointer); }

TArray::TArray(std::int32_t elementSize, std::int32_t growBy) : elementSize_(elementSize), growBy_(growBy) {}

TArray::~TArray() { Clear(); }

void TArray::Clear() {
  block_.SetSize(0);
  capacity_ = 0;
  count_ = 0;
}

bool TArray::Reserve(std::int32_t capacity) {
  const std::int64_t bytes = std::int64_t{capacity} * elementSize_;
  if (bytes > kMaxBytes || !block_.SetSize(static_cast<std::int32_t>(bytes))) return false;
  capacity_ = capacity;
  return true;
}

void TArray::ZeroFill(std::int32_t from, std::int32_t to) {
  if (to <= from) return;
  auto* bytes = static_cast<unsigned char*>(block_.Data());
  std::memset(bytes + std::int64_t{from} * elementSize_, 0, static_cast<std::size_t>(std::int64_t{to - from} * elementSize_));
}

void* TArray::Grow(std::int32_t n) {
  if (n < 1 || elementSize_ < 1 || growBy_ < 1) return nullptr;
  // Sums and products are taken in 64 bits: a count or size past 32 bits is
  // memory that cannot be had, not a wrapped-around small request.
  const std::int64_t newCount = std::int64_t{count_} + n;
  if (newCount > capacity_) {
    const std::int64_t newCapacity = (growBy_ + newCount - 1) / growBy_ * growBy_;
    if (newCapacity * elementSize_ > kMaxBytes) return nullptr;
    if (!Reserve(static_cast<std::int32_t>(newCapacity))) return nullptr;
  }
  const std::int32_t first = count_;
  count_ = static_cast<std::int32_t>(newCount);
  ZeroFill(first, count_);
  return ItemPtr(first);
}

bool TArray::Truncate(std::int32_t n) {
  if (block_.Data() == nullptr) return false;
  if (n == 0) return true;
  if (n < 0 || n >= count_) {
    Clear();
    return true;
  }
  count_ -= n;
  const std::int32_t spare = capacity_ - count_;
  if (spare < growBy_) {
    ZeroFill(count_, count_ + n);
    return true;
  }
  const std::int32_t newCapacity = capacity_ - spare / growBy_ * growBy_;
  // A block that cannot shrink keeps its larger memory; the capacity still
  // follows the step so that the spare-slot rule holds.
  block_.SetSize(newCapacity * elementSize_);
  capacity_ = newCapacity;
  ZeroFill(count_, newCapacity);
  return true;
}

bool TArray::Delete(std::int32_t index, std::int32_t n) {
  if (ItemPtr(index) == nullptr) return false;
  if (n <= 0) return true;
  if (std::int64_t{index} + n > count_) {
    n = count_ - index;
  } else {
    auto* bytes = static_cast<unsigned char*>(block_.Data());
    const std::int64_t moved = std::int64_t{count_ - index - n} * elementSize_;
    std::memmove(bytes + std::int64_t{index} * elementSize_, bytes + (std::int64_t{index} + n) * elementSize_,
                 static_cast<std::size_t>(moved));
  }
  Truncate(n);
  return true;
}

void* TArray::ItemPtr(std::int32_t index) const {
  if (block_.Data() == nullptr || index < 0 || index >= count_) return nullptr;
  return static_cast<unsigned char*>(block_.Data()) + std::int64_t{index} * elementSize_;
}

TArrayData::TArrayData(bool ownsElements) : TArray(kPointerSize, kPointerGrowBy), ownsElements_(ownsElements) {}

TArrayData::~TArrayData() { ReleaseElements(0, Count()); }

std::int32_t TArrayData::Add(void* pointer) {
  void* slot = Grow(1);
  if (slot == nullptr) return -1;
  *static_cast<void**>(slot) = pointer;
  return Count() - 1;
}

void* TArrayData::Get(std::int32_t index) const {
  void* slot = ItemPtr(index);
  return slot == nullptr ? nullptr : *static_cast<void**>(slot);
}

std::int32_t TArrayData::IndexOf(const void* pointer) const {
  for (std::int32_t index = 0; index < Count(); ++index) {
    if (Get(index) == pointer) return index;
  }
  return -1;
}

bool TArrayData::RemoveAt(std::int32_t index) {
  ReleaseElements(index, 1);
  return Delete(index, 1);
}

bool TArrayData::Remove(const void* pointer) {
  const std::int32_t index = IndexOf(pointer);
  if (index < 0) return false;
  return RemoveAt(index);
}

void TArrayData::ReleaseElements(std::int32_t index, std::int32_t n) {
  if (!ownsElements_ || n < 1 || index < 0 || ItemPtr(index) == nullptr) return;
  if (std::int64_t{index} + n > Count()) n = Count() - index;
  for (std::int32_t i = index; i < index + n; ++i) {
    auto* slot = static_cast<void**>(ItemPtr(i));
    std::free(*slot);
    *slot = nullptr;
  }
}

}  // namespace corvane
