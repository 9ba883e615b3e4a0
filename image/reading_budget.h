#pragma once

// How much reading one file may cause, however its tables point. Every entry
// a well-formed file names takes at least four bytes of it (a thunk, or a
// name pointer and more), and each name stands in the file once. A file
// whose tables point at the same bytes over and over can name vastly more: a
// 75 KB file, four million functions; an 11 MB one, a hundred thousand names
// of 8 MB each. Twice what the file could hold, and some room for small
// files, is where reading stops. Names are counted as they are read, also
// those read before: five megabytes of thunks that all name one 4 MB
// function would otherwise be read a hundred thousand times over. A part of
// a file read on its own (the API set schema's section) is bounded alike
// over its own size, with less room: it holds few names.

#include <cstddef>
#include <cstdint>

namespace corvane {

inline constexpr std::uint64_t kEntriesBeyondFileSize = 65536;
inline constexpr std::uint64_t kTextBeyondFileSize = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kTextBeyondSchemaSize = 4096;

// The entries a file of `fileSize` bytes may name: half its size, and room
// for small files.
constexpr std::uint64_t EntriesAllowed(std::uint64_t fileSize) { return fileSize / 2 + kEntriesBeyondFileSize; }
// The bytes of text it may cause to be read: twice its size, and room for
// small files (`beyond`).
constexpr std::uint64_t TextAllowed(std::uint64_t fileSize, std::uint64_t beyond = kTextBeyondFileSize) {
  return fileSize * 2 + beyond;
}

class ReadingBudget {
 public:
  explicit ReadingBudget(std::uint64_t fileSize, std::uint64_t textBeyond = kTextBeyondFileSize)
      : entriesLeft_(EntriesAllowed(fileSize)), textLeft_(TextAllowed(fileSize, textBeyond)) {}

  // False, from then on, once the bytes read would pass the budget.
  bool SpendBytes(std::uint64_t bytes) {
    if (textLeft_ < bytes) cut_ = true;
    if (cut_) return false;
    textLeft_ -= bytes;
    return true;
  }
  // A name: its bytes and its end, so that even empty names count.
  bool SpendReading(std::size_t nameLength) { return SpendBytes(std::uint64_t{nameLength} + 1); }
  // False once the entries would pass the budget. A cut in reading does
  // not stop entries: names read before it may still be shown.
  bool SpendEntry() {
    if (entriesLeft_ == 0) {
      cut_ = true;
      return false;
    }
    --entriesLeft_;
    return true;
  }
  // True once reading stopped short of what the file names.
  bool Cut() const { return cut_; }

 private:
  std::uint64_t entriesLeft_;
  std::uint64_t textLeft_;
  bool cut_ = false;
};

}  // namespace corvane
