#pragma once

// How much reading one file may cause, however its tables point. Every entry
// a well-formed file names takes at least four bytes of it (a thunk, or a
// name pointer and more), and each name stands in the file once. A file
// whose tables point at the same bytes over and over can name vastly more: a
// 75 KB file, four million functions; an 11 MB one, a hundred thousand names
// of 8 MB each. Twice what the file could hold, and some room for small
// files, is where reading stops. Names are counted as they are read, also
// those read before: five megabytes of thunks that all name one 4 MB
// function would otherwise be read a hundred thousand times over.

#include <cstddef>
#include <cstdint>

namespace corvane {

class ReadingBudget {
 public:
  explicit ReadingBudget(std::uint64_t fileSize)
      : entriesLeft_(fileSize / 2 + kEntriesBeyondFileSize), textLeft_(fileSize * 2 + kTextBeyondFileSize) {}

  // False, from then on, once the names read would pass the budget.
  bool SpendReading(std::size_t nameLength) {
    // The one is the name's end, so that even empty names count.
    if (textLeft_ <= nameLength) cut_ = true;
    if (cut_) return false;
    textLeft_ -= nameLength + 1;
    return true;
  }
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
  static constexpr std::uint64_t kEntriesBeyondFileSize = 65536;
  static constexpr std::uint64_t kTextBeyondFileSize = std::uint64_t{16} << 20;

  std::uint64_t entriesLeft_;
  std::uint64_t textLeft_;
  bool cut_ = false;
};

}  // namespace corvane
