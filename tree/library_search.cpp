#include "library_search.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace corvane {
namespace {

namespace fs = std::filesystem;

bool IsReadableRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

// `folder`/`name`, or the entry of `folder` whose name differs from `name`
// only in ASCII case.
std::optional<std::string> FindInFolder(const fs::path& folder, const std::string& name) {
  const fs::path exact = folder / name;
  if (IsReadableRegularFile(exact)) return exact.string();
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string entryName = entry->path().filename().string();
    if (EqualIgnoringAsciiCase(entryName, name) && IsReadableRegularFile(entry->path())) return entry->path().string();
  }
  return std::nullopt;
}

std::vector<std::string> SplitFolders(const char* list) {
  std::vector<std::string> folders;
  if (list == nullptr) return folders;
  std::string rest = list;
  for (std::size_t start = 0; start <= rest.size();) {
    const std::size_t colon = std::min(rest.find(':', start), rest.size());
    // An empty entry would mean the current directory, which is searched
    // already in its own place.
    if (colon > start) folders.push_back(rest.substr(start, colon - start));
    start = colon + 1;
  }
  return folders;
}

void AppendExisting(std::vector<std::string>& folders, const fs::path& folder) {
  std::error_code error;
  if (fs::is_directory(folder, error)) folders.push_back(folder.string());
}

std::string ProgramFolder() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::vector<std::string> SystemFolders(bool pe32Plus) {
  if (const char* configured = std::getenv("CORVANE_SYSTEM_PATH")) return SplitFolders(configured);

  fs::path prefix;
  if (const char* winePrefix = std::getenv("WINEPREFIX"); winePrefix != nullptr && *winePrefix != '\0') {
    prefix = winePrefix;
  } else if (const char* home = std::getenv("HOME")) {
    prefix = fs::path(home) / ".wine";
  }
  std::vector<fs::path> installed32;
  std::vector<fs::path> installed64;
  std::error_code error;
  for (fs::directory_iterator entry("/usr/lib", error), end; !error && entry != end; entry.increment(error)) {
    installed32.push_back(entry->path() / "wine" / "i386-windows");
    installed64.push_back(entry->path() / "wine" / "x86_64-windows");
  }
  std::sort(installed32.begin(), installed32.end());
  std::sort(installed64.begin(), installed64.end());

  // On a 64-bit prefix syswow64 holds the 32-bit libraries and system32 the
  // 64-bit ones.
  std::vector<fs::path> wow64{prefix / "drive_c/windows/syswow64"};
  std::vector<fs::path> native{prefix / "drive_c/windows/system32"};
  wow64.insert(wow64.end(), installed32.begin(), installed32.end());
  native.insert(native.end(), installed64.begin(), installed64.end());
  const auto& preferred = pe32Plus ? native : wow64;
  const auto& other = pe32Plus ? wow64 : native;

  std::vector<std::string> folders;
  for (const auto* group : {&preferred, &other}) {
    for (const fs::path& folder : *group) {
      if (!folder.empty()) AppendExisting(folders, folder);
    }
  }
  return folders;
}

std::vector<std::string> LoaderSearchFolders(bool pe32Plus) {
  std::vector<std::string> folders;
  if (std::string program = ProgramFolder(); !program.empty()) folders.push_back(std::move(program));
  std::error_code error;
  if (const fs::path current = fs::current_path(error); !error) folders.push_back(current.string());
  for (std::string& folder : SystemFolders(pe32Plus)) folders.push_back(std::move(folder));
  for (std::string& folder : SplitFolders(std::getenv("PATH"))) folders.push_back(std::move(folder));
  return folders;
}

std::optional<std::string> FindLibrary(const std::string& name, const std::string& fileFolder,
                                       const std::vector<std::string>& folders) {
  if (!IsPlainFileName(name)) return std::nullopt;
  if (!fileFolder.empty()) {
    if (auto found = FindInFolder(fileFolder, name)) return found;
  }
  for (const std::string& folder : folders) {
    if (auto found = FindInFolder(folder, name)) return found;
  }
  return std::nullopt;
}

}  // namespace corvane
