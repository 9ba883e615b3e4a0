#include "system_services.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace corvane {

namespace fs = std::filesystem;

bool IsReadableRegularFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr std::int64_t kNsPerSecond = 1'000'000'000;
  // Far more than any local file system's step; network and FAT file
  // systems keep times to one or two seconds.
  constexpr std::int64_t kSettledAfterNs = 3 * kNsPerSecond;
  const std::int64_t modified = std::int64_t{status.st_mtim.tv_sec} * kNsPerSecond + status.st_mtim.tv_nsec;
  const std::int64_t current = std::int64_t{now.tv_sec} * kNsPerSecond + now.tv_nsec;
  return FileStamp{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                   static_cast<std::uint64_t>(status.st_size), modified, current - modified > kSettledAfterNs};
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(folder.c_str()), ::closedir);
  if (!stream) return names;
  while (const dirent* entry = ::readdir(stream.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / name).string();
}

namespace {

std::size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("\\:/");
#else
  return path.find_last_of('/');
#endif
}

}  // namespace

// npos + 1 is 0: a path without a separator has no folder part.
std::string FolderPart(const std::string& path) { return path.substr(0, LastSeparator(path) + 1); }

std::string FileNamePart(const std::string& path) { return path.substr(LastSeparator(path) + 1); }

std::string ProgramFolder() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

std::string CurrentDirectory() {
  std::error_code error;
  const fs::path current = fs::current_path(error);
  return error ? std::string() : current.string();
}

bool SetCurrentDirectoryA(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

std::string FullPathName(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return (error ? fs::path(path) : absolute).lexically_normal().string();
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace corvane
