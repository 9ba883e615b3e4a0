#include "mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace corvane {
namespace {

// Owns a file descriptor; the mapping outlives it, as POSIX allows.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

std::variant<MappedFile, MapFailure> MappedFile::Map(const std::string& path) {
  // O_NONBLOCK keeps a FIFO without a writer from stalling the open; the
  // descriptor is rejected right after as not a regular file anyway.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.Valid()) return MapFailure::kOpen;
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return MapFailure::kOpen;
  if (status.st_size <= 0 ||
      static_cast<std::uintmax_t>(status.st_size) > std::numeric_limits<std::size_t>::max()) {
    return MapFailure::kMapping;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Get(), 0);
  if (address == MAP_FAILED) return MapFailure::kView;
  return MappedFile(ByteView(static_cast<const std::byte*>(address), size));
}

MappedFile::MappedFile(MappedFile&& other) noexcept : view_(std::exchange(other.view_, ByteView())) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Release();
    view_ = std::exchange(other.view_, ByteView());
  }
  return *this;
}

MappedFile::~MappedFile() { Release(); }

void MappedFile::Release() noexcept {
  if (view_.Data() != nullptr) {
    ::munmap(const_cast<std::byte*>(view_.Data()), view_.Size());
  }
  view_ = ByteView();
}

}  // namespace corvane
