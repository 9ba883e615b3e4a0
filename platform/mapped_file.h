#pragma once

// A read-only memory mapping of a whole file, released when the object goes.

#include <string>
#include <variant>

#include "byte_view.h"

namespace corvane {

// The step at which mapping a file failed; each has its own message for the
// user.
enum class MapFailure {
  kOpen,     // no such file, no permission, or not a regular file
  kMapping,  // an empty file, or one larger than the address space can name
  kView,     // the system refused the view (address space exhausted)
};

class MappedFile {
 public:
  // Opens `path` read-only and maps all of it. Directories, FIFOs, sockets and
  // devices count as files that cannot be opened; opening never blocks on
  // them.
  static std::variant<MappedFile, MapFailure> Map(const std::string& path);

  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  ByteView View() const { return view_; }

 private:
  explicit MappedFile(ByteView view) : view_(view) {}
  void Release() noexcept;

  ByteView view_;
};

}  // namespace corvane
