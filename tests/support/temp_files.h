#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace corvane::testing {

// Creates or replaces the file at `path`, its folder included. Throws
// std::runtime_error if the file cannot be written.
void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// A private directory under $TMPDIR (or /tmp) that takes its whole tree with
// it when it goes, so that tests which need real files leave nothing behind.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

  // Creates or replaces `name` (which may contain subdirectories) and returns
  // its full path. Throws std::runtime_error if the file cannot be written.
  std::string Write(const std::string& name, std::span<const std::uint8_t> bytes) const;

 private:
  std::string path_;
};

}  // namespace corvane::testing
