#pragma once

// Finding the file of an imported library the way the system loader would,
// without loading or running anything. An API set name is first turned into
// its host through the API set schema; then the folder of the latest open
// is tried, then the loader's usual places. Names match without regard to
// ASCII case, as on Windows, and a file counts only when it is a PE image
// of the importer's machine: the loader passes any other over and goes on.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "api_set_schema.h"
#include "ascii_case.h"
#include "system_services.h"

namespace corvane {

// True for a name that can only mean a file inside a folder: not empty, not
// "." or "..", and without a path separator or NUL. Any other name is never
// found, so an import directory cannot point the search elsewhere on disk.
bool IsPlainFileName(const std::string& name);

// The image whose import is looked for.
struct Importer {
  std::string moduleName;     // its file name without the folder, which API set aliases name
  std::uint16_t machine = 0;  // its COFF Machine: only libraries of this machine count
  bool pe32Plus = false;      // its bitness decides which system folders come first
};

// The step of the loader's search that found a library, in the order the
// steps are taken; an API set name is found through its schema.
enum class FoundIn : std::uint8_t {
  kNowhere,  // not found, or the file checked itself, which is not looked for
  kFileFolder,
  kPathOption,  // a folder given to look in besides the loader's own
  kProgramFolder,
  kCurrentDirectory,
  kSystem,
  kPath,
  kApiSet,
};

// "file folder", "path option", "program folder", "current directory",
// "system", "PATH" or "API set"; empty for kNowhere.
std::string_view FoundInName(FoundIn step);

struct SearchFolder {
  std::string path;
  FoundIn step = FoundIn::kPathOption;
};

// Where a library is looked for, in order.
struct SearchPlaces {
  std::string fileFolder;                  // first, unless empty; ends with its separator
  std::vector<SearchFolder> folders;       // then these
  std::vector<std::string> systemFolders;  // the first apisetschema.dll in these holds the API sets
};

enum class PlaceOutcome { kNoSuchFile, kOtherMachine, kNotPe, kFound };

struct PlaceTried {
  std::string path;
  PlaceOutcome outcome = PlaceOutcome::kNoSuchFile;
  std::uint16_t machine = 0;  // the file's, when it is a PE image
};

enum class ApiSetStep {
  kNotApiSetName,
  kNoSchema,  // no API set schema in the system folders: the name is looked for as it is
  kHost,      // the schema names a host, which is looked for instead
  kNoHost,    // the schema names none: not found
};

struct LibraryLookup {
  std::uint16_t machine = 0;  // the importer's, which a file must have
  ApiSetStep apiSet = ApiSetStep::kNotApiSetName;
  std::string schemaFile;            // the apisetschema.dll asked, if any
  std::string fileName;              // what was looked for: the host, or the name as imported
  std::optional<std::string> found;  // the file: a folder searched and the entry's own name
  FoundIn foundIn = FoundIn::kNowhere;  // the step of the folder that held `found`
  // Every place tried, in order, when asked for; else only the files passed over.
  std::vector<PlaceTried> places;
};

// The search with what it keeps between searches: each folder's entries
// while the folder is unchanged, and the parsed API set schema while its
// file is.
class LibrarySearch {
 public:
  // The folders that stand in for the system folders: those listed in
  // CORVANE_SYSTEM_PATH (colon-separated) when it is set, else Wine's, those
  // for images of the given bitness first: the prefix's (WINEPREFIX, by default
  // ~/.wine) drive_c/windows/syswow64 and system32, and the installed
  // /usr/lib/*/wine/i386-windows and x86_64-windows. Folders that do not exist
  // are left out.
  std::vector<std::string> SystemFolders(bool pe32Plus);

  // The window's places: `fileFolder`, then the extra folders, the
  // program's own folder, the current directory, the system folders for
  // the bitness, and the folders of PATH.
  SearchPlaces LoaderSearchPlaces(const std::string& fileFolder, bool pe32Plus);
  // Folders searched right after the file's own, before all others: where
  // a cross-compiled program's libraries wait to be shipped beside it.
  void SetExtraFolders(std::vector<std::string> folders) { extraFolders_ = std::move(folders); }

  LibraryLookup Find(const std::string& name, const Importer& importer, const SearchPlaces& places,
                     bool everyPlace = false);

 private:
  struct Listing {
    FileStamp stamp;
    std::unordered_map<std::string, std::vector<std::string>> byFoldedName;
  };
  struct CachedSchema {
    FileStamp stamp;
    std::optional<ApiSetSchema> schema;
  };

  // The entries of `folder`, read again when its stamp changed; null when
  // there is no such folder.
  const Listing* ListingOf(const std::string& folder);
  // The entries of `folder` whose names fold to `foldedName`; null when
  // there are none.
  const std::vector<std::string>* EntriesNamed(const std::string& folder, const std::string& foldedName);
  // True when `folder` holds the library; what it tried goes into `lookup`.
  bool TryFolder(const std::string& folder, FoundIn step, const Importer& importer, bool everyPlace,
                 LibraryLookup& lookup);
  const ApiSetSchema* Schema(const std::vector<std::string>& systemFolders, std::string& schemaFile);
  const ApiSetSchema* SchemaIn(const std::string& path);

  std::vector<std::string> extraFolders_;
  std::unordered_map<std::string, Listing> listings_;
  std::unordered_map<std::string, CachedSchema> schemas_;
};

// "i386", "x86-64", "ARM64"..., or "machine 0x1234".
std::string MachineName(std::uint16_t machine);

// What a place gave, for people: "no such file", "another machine
// (x86-64)", "not a PE image" or "found".
std::string DescribePlace(const PlaceTried& place);

}  // namespace corvane
