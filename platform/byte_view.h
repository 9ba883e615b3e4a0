#pragma once

// The one way the program reads bytes that come from a file. Every offset a
// PE image gives is untrusted: each read here checks offset and length
// against the view with arithmetic that cannot overflow, and a failed check
// is an empty optional rather than a read outside the view.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

namespace corvane {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::byte* data, std::size_t size) : data_(data), size_(size) {}

  const std::byte* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // True when `bytes` lie inside the view: a string read from it, not a
  // copy made elsewhere.
  bool Holds(std::string_view bytes) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(data_);
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    return at >= begin && Contains(at - begin, bytes.size());
  }

  // A little-endian unsigned integer at `offset`, or nothing when any of its
  // bytes lies outside the view.
  template <typename T>
  std::optional<T> Read(std::uint64_t offset) const {
    static_assert(std::is_unsigned_v<T>, "file fields are read as unsigned integers");
    if (!Contains(offset, sizeof(T))) return std::nullopt;
    T value;
    std::memcpy(&value, data_ + offset, sizeof(T));
    if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) value = ByteSwap(value);
    return value;
  }

  // The 8-bit string that starts at `offset` and ends before its NUL. A string
  // whose NUL lies beyond the view's end is not a string of this file.
  std::optional<std::string_view> CString(std::uint64_t offset) const {
    if (offset >= size_) return std::nullopt;
    const auto* begin = reinterpret_cast<const char*>(data_ + offset);
    const void* nul = std::memchr(begin, 0, size_ - offset);
    if (nul == nullptr) return std::nullopt;
    return std::string_view(begin, static_cast<std::size_t>(static_cast<const char*>(nul) - begin));
  }

  // The bytes [offset, offset + length), or nothing when they leave the view.
  std::optional<ByteView> Sub(std::uint64_t offset, std::uint64_t length) const {
    if (!Contains(offset, length)) return std::nullopt;
    return ByteView(data_ + offset, static_cast<std::size_t>(length));
  }

 private:
  template <typename T>
  static T ByteSwap(T value) {
    T swapped = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      swapped = static_cast<T>((swapped << 8) | (value & 0xFF));
      value = static_cast<T>(value >> 8);
    }
    return swapped;
  }

  const std::byte* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace corvane
