#pragma once

// Stand-ins for what the viewer asks of the system beyond reading a file:
// whether a file or folder is there, a folder's entries, the current
// directory, the program's own place and the environment. Paths are 8-bit
// strings in the locale's encoding, as the system takes them.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// A regular file (after following links) that this process may read.
bool IsReadableRegularFile(const std::string& path);

// A folder (after following links).
bool IsFolder(const std::string& path);

// The names of the entries of `folder`, without "." and "..", in no
// particular order; none when the folder cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// `name` inside `folder`; an empty folder leaves the name as it is.
std::string PathInFolder(const std::string& folder, const std::string& name);

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
