#pragma once

// Stand-ins for what the viewer asks of the system beyond reading a file:
// whether a file or folder is there, a folder's entries, the current
// directory, the program's own place and the environment. Paths are 8-bit
// strings in the locale's encoding, as the system takes them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// A regular file (after following links) that this process may read.
bool IsReadableRegularFile(const std::string& path);

// A folder (after following links).
bool IsFolder(const std::string& path);

// Which file a path names (after following links), its size and when it
// last changed: a cache of what was read from a file or folder holds while
// the stamp stays the same.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  // The system takes modification times from a clock that advances in
  // steps, so a change in the same step as the last one keeps the time
  // unchanged. A stamp taken that soon after a change is not settled and
  // vouches for nothing.
  bool settled = false;

  bool SameFileAs(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size && modifiedNs == other.modifiedNs;
  }
};

// The stamp of `path`; nothing when there is no such file or folder.
std::optional<FileStamp> StampOf(const std::string& path);

// The names of the entries of `folder`, without "." and "..", in no
// particular order; none when the folder cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// `name` inside `folder`; an empty folder leaves the name as it is.
std::string PathInFolder(const std::string& folder, const std::string& name);

// The folder part of `path` with its final separator ("" when there is
// none), and the name after it. On Windows `\` and a drive's `:` separate
// too.
std::string FolderPart(const std::string& path);
std::string FileNamePart(const std::string& path);

// The folder that holds the running program's file, without a trailing
// separator; empty when the system does not say.
std::string ProgramFolder();

// The current directory; empty when the system does not say.
std::string CurrentDirectory();

// Makes `folder` the current directory; false when that fails, and the
// current directory is then what it was.
bool SetCurrentDirectoryA(const std::string& folder);

// `path` made absolute against the current directory, with "." and ".."
// and repeated separators resolved by the text alone (links are not
// followed).
std::string FullPathName(const std::string& path);

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);

}  // namespace corvane
