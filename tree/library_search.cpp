#include "library_search.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>
#include <variant>

#include "mapped_file.h"
#include "mapped_image.h"

namespace corvane {
namespace {

// A session may open files from many folders; past this many kept
// listings all are let go rather than growing without end.
constexpr std::size_t kMaxListings = 64;

// What `path` is to an importer of `machine`, from the file's headers.
PlaceTried Examine(std::string path, std::uint16_t machine) {
  PlaceTried place{std::move(path)};
  if (!IsReadableRegularFile(place.path)) return place;
  place.outcome = PlaceOutcome::kNotPe;
  const auto mapping = MappedFile::Map(place.path);
  const auto* file = std::get_if<MappedFile>(&mapping);
  const auto fileMachine = file != nullptr ? ImageMachine(file->View()) : std::nullopt;
  if (!fileMachine) return place;
  place.machine = *fileMachine;
  place.outcome = *fileMachine == machine ? PlaceOutcome::kFound : PlaceOutcome::kOtherMachine;
  return place;
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

std::vector<std::string> LibrarySearch::SystemFolders(bool pe32Plus) {
  if (const auto configured = EnvironmentVariable("CORVANE_SYSTEM_PATH")) return SplitFolders(*configured);

  std::string prefix;
  if (auto winePrefix = EnvironmentVariable("WINEPREFIX"); winePrefix && !winePrefix->empty()) {
    prefix = std::move(*winePrefix);
  } else if (const auto home = EnvironmentVariable("HOME")) {
    prefix = PathInFolder(*home, ".wine");
  }
  // Asked once per entry of /usr/lib, since most have no Wine folder.
  std::vector<std::string> wineFolders;
  if (const Listing* libraries = ListingOf("/usr/lib")) {
    for (const auto& [folded, names] : libraries->byFoldedName) {
      for (const std::string& name : names) {
        if (std::string wine = "/usr/lib/" + name + "/wine"; IsFolder(wine)) wineFolders.push_back(std::move(wine));
      }
    }
  }
  std::sort(wineFolders.begin(), wineFolders.end());

  // On a 64-bit prefix syswow64 holds the 32-bit libraries and system32 the
  // 64-bit ones.
  std::vector<std::string> wow64;
  std::vector<std::string> native;
  if (!prefix.empty()) {
    wow64.push_back(PathInFolder(prefix, "drive_c/windows/syswow64"));
    native.push_back(PathInFolder(prefix, "drive_c/windows/system32"));
  }
  for (const std::string& wine : wineFolders) {
    wow64.push_back(wine + "/i386-windows");
    native.push_back(wine + "/x86_64-windows");
  }
  const auto& preferred = pe32Plus ? native : wow64;
  const auto& other = pe32Plus ? wow64 : native;

  std::vector<std::string> folders;
  for (const auto* group : {&preferred, &other}) {
    std::copy_if(group->begin(), group->end(), std::back_inserter(folders), IsFolder);
  }
  return folders;
}

SearchPlaces LibrarySearch::LoaderSearchPlaces(const std::string& fileFolder, bool pe32Plus) {
  SearchPlaces places{fileFolder, {}, SystemFolders(pe32Plus)};
  const auto add = [&places](std::string folder, FoundIn step) { places.folders.push_back({std::move(folder), step}); };
  for (const std::string& folder : extraFolders_) add(folder, FoundIn::kPathOption);
  for (auto [folder, step] : {std::pair(ProgramFolder(), FoundIn::kProgramFolder),
                              std::pair(CurrentDirectory(), FoundIn::kCurrentDirectory)}) {
    if (!folder.empty()) add(std::move(folder), step);
  }
  for (const std::string& folder : places.systemFolders) add(folder, FoundIn::kSystem);
  for (std::string& folder : SplitFolders(EnvironmentVariable("PATH").value_or(""))) {
    add(std::move(folder), FoundIn::kPath);
  }
  return places;
}

LibraryLookup LibrarySearch::Find(const std::string& name, const Importer& importer, const SearchPlaces& places,
                                  bool everyPlace) {
  LibraryLookup lookup;
  lookup.machine = importer.machine;
  lookup.fileName = name;
  if (!IsPlainFileName(name)) return lookup;
  if (IsApiSetName(name)) {
    if (const ApiSetSchema* schema = Schema(places.systemFolders, lookup.schemaFile)) {
      lookup.fileName = schema->HostOf(name, importer.moduleName);
      // A host is a name like any other, and only a plain file name is one.
      lookup.apiSet = IsPlainFileName(lookup.fileName) ? ApiSetStep::kHost : ApiSetStep::kNoHost;
      if (lookup.apiSet == ApiSetStep::kNoHost) return lookup;
    } else {
      lookup.apiSet = ApiSetStep::kNoSchema;
    }
  }
  if (!places.fileFolder.empty() && TryFolder(places.fileFolder, FoundIn::kFileFolder, importer, everyPlace, lookup)) {
    return lookup;
  }
  for (const SearchFolder& folder : places.folders) {
    if (TryFolder(folder.path, folder.step, importer, everyPlace, lookup)) return lookup;
  }
  return lookup;
}

bool LibrarySearch::TryFolder(const std::string& folder, FoundIn step, const Importer& importer, bool everyPlace,
                              LibraryLookup& lookup) {
  const std::vector<std::string>* entries = EntriesNamed(folder, FoldedAscii(lookup.fileName));
  if (entries == nullptr) {
    if (everyPlace) lookup.places.push_back({PathInFolder(folder, lookup.fileName)});
    return false;
  }
  // The entry spelled exactly as asked goes first, as a case-sensitive
  // file system would have it.
  for (const bool exact : {true, false}) {
    for (const std::string& entry : *entries) {
      if ((entry == lookup.fileName) != exact) continue;
      PlaceTried place = Examine(PathInFolder(folder, entry), importer.machine);
      const bool found = place.outcome == PlaceOutcome::kFound;
      if (found) {
        lookup.found = place.path;
        lookup.foundIn = step;
      }
      if (everyPlace || (!found && place.outcome != PlaceOutcome::kNoSuchFile)) {
        lookup.places.push_back(std::move(place));
      }
      if (found) return true;
    }
  }
  return false;
}

const LibrarySearch::Listing* LibrarySearch::ListingOf(const std::string& folder) {
  const auto stamp = StampOf(folder);
  if (!stamp) return nullptr;
  auto listing = listings_.find(folder);
  if (listing == listings_.end() || !listing->second.stamp.settled || !listing->second.stamp.SameFileAs(*stamp)) {
    if (listing == listings_.end() && listings_.size() >= kMaxListings) listings_.clear();
    listing = listings_.try_emplace(folder).first;
    // The stamp is taken before the entries are read, so a change while
    // they are read gives the folder a stamp of its own.
    listing->second.stamp = *stamp;
    listing->second.byFoldedName.clear();
    for (std::string& entry : FolderEntries(folder)) {
      std::string folded = FoldedAscii(entry);
      listing->second.byFoldedName[std::move(folded)].push_back(std::move(entry));
    }
  }
  return &listing->second;
}

const std::vector<std::string>* LibrarySearch::EntriesNamed(const std::string& folder,
                                                            const std::string& foldedName) {
  const Listing* listing = ListingOf(folder);
  if (listing == nullptr) return nullptr;
  const auto entries = listing->byFoldedName.find(foldedName);
  return entries != listing->byFoldedName.end() ? &entries->second : nullptr;
}

const ApiSetSchema* LibrarySearch::Schema(const std::vector<std::string>& systemFolders, std::string& schemaFile) {
  for (const std::string& folder : systemFolders) {
    const std::vector<std::string>* entries = EntriesNamed(folder, "apisetschema.dll");
    if (entries == nullptr) continue;
    for (const std::string& entry : *entries) {
      std::string path = PathInFolder(folder, entry);
      if (!IsReadableRegularFile(path)) continue;
      schemaFile = std::move(path);
      return SchemaIn(schemaFile);
    }
  }
  return nullptr;
}

const ApiSetSchema* LibrarySearch::SchemaIn(const std::string& path) {
  const auto stamp = StampOf(path);
  if (!stamp) return nullptr;
  CachedSchema& cached = schemas_[path];
  if (!cached.stamp.settled || !cached.stamp.SameFileAs(*stamp)) {
    cached.stamp = *stamp;
    cached.schema.reset();
    const auto mapping = MappedFile::Map(path);
    if (const auto* file = std::get_if<MappedFile>(&mapping)) cached.schema = ApiSetSchema::FromImage(file->View());
  }
  return cached.schema ? &*cached.schema : nullptr;
}

std::string_view FoundInName(FoundIn step) {
  switch (step) {
    case FoundIn::kNowhere:
      return {};
    case FoundIn::kFileFolder:
      return "file folder";
    case FoundIn::kPathOption:
      return "path option";
    case FoundIn::kProgramFolder:
      return "program folder";
    case FoundIn::kCurrentDirectory:
      return "current directory";
    case FoundIn::kSystem:
      return "system";
    case FoundIn::kPath:
      return "PATH";
    case FoundIn::kApiSet:
      return "API set";
  }
  return {};
}

std::string MachineName(std::uint16_t machine) {
  static constexpr struct {
    std::uint16_t machine;
    const char* name;
  } kNames[] = {{0x014C, "i386"}, {0x8664, "x86-64"}, {0xAA64, "ARM64"}, {0x01C4, "ARM"}, {0x0200, "IA-64"}};
  for (const auto& known : kNames) {
    if (known.machine == machine) return known.name;
  }
  char text[24];
  std::snprintf(text, sizeof text, "machine 0x%04X", unsigned{machine});
  return text;
}

std::string DescribePlace(const PlaceTried& place) {
  switch (place.outcome) {
    case PlaceOutcome::kNoSuchFile:
      return "no such file";
    case PlaceOutcome::kOtherMachine:
      return "another machine (" + MachineName(place.machine) + ")";
    case PlaceOutcome::kNotPe:
      return "not a PE image";
    case PlaceOutcome::kFound:
      return "found";
  }
  return {};
}

}  // namespace corvane
