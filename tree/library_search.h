#pragma once

// Finding the file of an imported library the way the system loader would,
// without loading or running anything: the folder of the latest open first,
// then the loader's usual places. Names match without regard to ASCII case,
// as on Windows; only regular, readable files count.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// True for a name that can only mean a file inside a folder: not empty, not
// "." or "..", and without a path separator or NUL. Any other name is never
// found, so an import directory cannot point the search elsewhere on disk.
bool IsPlainFileName(const std::string& name);

// The loader's places after the file folder, in order: the program's own
// folder, the current directory, the system folders, then the folders of
// PATH.
std::vector<std::string> LoaderSearchFolders(bool pe32Plus);

// The folders that stand in for the system folders: those listed in
// CORVANE_SYSTEM_PATH (colon-separated) when it is set, else Wine's, those
// for images of the given bitness first: the prefix's (WINEPREFIX, by default
// ~/.wine) drive_c/windows/syswow64 and system32, and the installed
// /usr/lib/*/wine/i386-windows and x86_64-windows. Folders that do not exist
// are left out.
std::vector<std::string> SystemFolders(bool pe32Plus);

// The full name of the library file `name`: `fileFolder` + name when that
// exists (fileFolder ends with its separator, or is empty and skipped), else
// the first match in `folders`. Nothing when no place holds it.
std::optional<std::string> FindLibrary(const std::string& name, const std::string& fileFolder,
                                       const std::vector<std::string>& folders);

}  // namespace corvane
