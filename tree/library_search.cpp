#include "library_search.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "system_services.h"

namespace corvane {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

// `folder`/`name`, or the entry of `folder` whose name differs from `name`
// only in ASCII case.
std::optional<std::string> FindInFolder(const std::string& folder, const std::string& name) {
  if (std::string exact = PathInFolder(folder, name); IsReadableRegularFile(exact)) return exact;
  for (const std::string& entryName : FolderEntries(folder)) {
    if (!EqualIgnoringAsciiCase(entryName, name)) continue;
    if (std::string entry = PathInFolder(folder, entryName); IsReadableRegularFile(entry)) return entry;
  }
  return std::nullopt;
}

std::vector<std::string> SplitFolders(const std::string& list) {
  std::vector<std::string> folders;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t colon = std::min(list.find(':', start), list.size());
    // An empty entry would mean the current directory, which is searched
    // already in its own place.
    if (colon > start) folders.push_back(list.substr(start, colon - start));
    start = colon + 1;
  }
  return folders;
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::vector<std::string> SystemFolders(bool pe32Plus) {
  if (const auto configured = EnvironmentVariable("CORVANE_SYSTEM_PATH")) return SplitFolders(*configured);

  std::string prefix;
  if (auto winePrefix = EnvironmentVariable("WINEPREFIX"); winePrefix && !winePrefix->empty()) {
    prefix = std::move(*winePrefix);
  } else if (const auto home = EnvironmentVariable("HOME")) {
    prefix = PathInFolder(*home, ".wine");
  }
  std::vector<std::string> libraryFolders = FolderEntries("/usr/lib");
  std::sort(libraryFolders.begin(), libraryFolders.end());

  // On a 64-bit prefix syswow64 holds the 32-bit libraries and system32 the
  // 64-bit ones.
  std::vector<std::string> wow64;
  std::vector<std::string> native;
  if (!prefix.empty()) {
    wow64.push_back(PathInFolder(prefix, "drive_c/windows/syswow64"));
    native.push_back(PathInFolder(prefix, "drive_c/windows/system32"));
  }
  for (const std::string& folder : libraryFolders) {
    wow64.push_back("/usr/lib/" + folder + "/wine/i386-windows");
    native.push_back("/usr/lib/" + folder + "/wine/x86_64-windows");
  }
  const auto& preferred = pe32Plus ? native : wow64;
  const auto& other = pe32Plus ? wow64 : native;

  std::vector<std::string> folders;
  for (const auto* group : {&preferred, &other}) {
    std::copy_if(group->begin(), group->end(), std::back_inserter(folders), IsFolder);
  }
  return folders;
}

std::vector<std::string> LoaderSearchFolders(bool pe32Plus) {
  std::vector<std::string> folders;
  for (std::string place : {ProgramFolder(), CurrentDirectory()}) {
    if (!place.empty()) folders.push_back(std::move(place));
  }
  for (std::string& folder : SystemFolders(pe32Plus)) folders.push_back(std::move(folder));
  for (std::string& folder : SplitFolders(EnvironmentVariable("PATH").value_or(""))) folders.push_back(std::move(folder));
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
