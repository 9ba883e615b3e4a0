#pragma once

// Real PE files for the robustness tests, a buffer that makes any prefix of
// one look like the whole file to AddressSanitizer, and the rule that relates
// what a prefix reports to what the whole file reports.

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "byte_view.h"
#include "image_probe.h"
#include "subsequence.h"

namespace corvane::testing {

struct RealFile {
  const char* name;  // test-name friendly
  const char* path;
};

// The bundled sample (a program and the DLL it imports, both with version
// resources, one import by ordinal) and one small DLL of each mingw-w64
// runtime, i686 and x86-64: PE32 and PE32+ as a real linker lays them out.
inline constexpr RealFile kRealFiles[] = {
    {"SampleProgram", CORVANE_SAMPLE_EXE},
    {"SampleLibrary", CORVANE_SAMPLE_DLL},
    {"MingwI686Library", CORVANE_MINGW_I686_DLL},
    {"MingwX8664Library", CORVANE_MINGW_X86_64_DLL},
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file's bytes in one heap block of exactly their size. Prefix(n) views
// the first n bytes and poisons the rest, so that under AddressSanitizer a
// read past the view fails as it would at the end of a file of n bytes,
// without a copy per prefix.
class TruncatableCopy {
 public:
  explicit TruncatableCopy(const std::vector<std::uint8_t>& bytes)
      : size_(bytes.size()), data_(std::make_unique<std::byte[]>(bytes.size())) {
    if (size_ != 0) std::memcpy(data_.get(), bytes.data(), size_);
  }
  TruncatableCopy(const TruncatableCopy&) = delete;
  TruncatableCopy& operator=(const TruncatableCopy&) = delete;
  ~TruncatableCopy() { ASAN_UNPOISON_MEMORY_REGION(data_.get(), size_); }

  ByteView Prefix(std::size_t length) {
    ASAN_UNPOISON_MEMORY_REGION(data_.get(), size_);
    ASAN_POISON_MEMORY_REGION(data_.get() + length, size_ - length);
    return ByteView(data_.get(), length);
  }
  std::size_t Size() const { return size_; }

  // Writes `value` little-endian at `offset` (which must leave room for
  // it) and gives back what was there.
  std::uint32_t Exchange32(std::size_t offset, std::uint32_t value) {
    ASAN_UNPOISON_MEMORY_REGION(data_.get(), size_);
    std::uint32_t old = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      old |= static_cast<std::uint32_t>(data_[offset + i]) << (8 * i);
      data_[offset + i] = static_cast<std::byte>(value >> (8 * i));
    }
    return old;
  }

 private:
  std::size_t size_;
  std::unique_ptr<std::byte[]> data_;
};

// Empty when everything `part` (a prefix's probe) reports is still reported
// by `whole` (a longer prefix's, or the file's): the same stats or 0 where
// the header was cut, the same version record or none, the exports in the
// same order, and each library with a subset of its functions. Otherwise
// what breaks that.
inline std::string NotWithin(const probe::ImageProbe& part, const probe::ImageProbe& whole) {
  if (!part.pe) return "";
  if (!whole.pe) return "a PE image that stops being one when it grows";
  if (part.imageBase != 0 && part.imageBase != whole.imageBase) return "image base changed";
  if (part.code != 0 && part.code != whole.code) return "code size changed";
  if (part.version && (!whole.version || std::memcmp(&*part.version, &*whole.version, sizeof *part.version) != 0)) {
    return "version record changed";
  }
  if (part.exportsFound && !whole.exportsFound) return "export table lost";
  if (!IsSubsequence(part.exports, whole.exports)) return "exports not a subsequence";
  if (part.importsFound && !whole.importsFound) return "import table lost";
  for (const probe::ImportedLibrary& library : part.libraries) {
    const auto found = std::find_if(whole.libraries.begin(), whole.libraries.end(),
                                    [&](const probe::ImportedLibrary& l) { return l.name == library.name; });
    if (found == whole.libraries.end()) return "library " + library.name + " lost";
    for (const std::string& function : library.functions) {
      if (std::find(found->functions.begin(), found->functions.end(), function) == found->functions.end()) {
        return "function " + function + " of " + library.name + " lost";
      }
    }
  }
  return "";
}

}  // namespace corvane::testing
