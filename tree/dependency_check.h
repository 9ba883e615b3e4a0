#pragma once

// The dependency check: for one PE image, every module it needs, found as
// the loader finds them, and every import that would fail. Nothing here
// builds a tree or loads code: each file of the closure is mapped once, read
// into a small record (see ModuleRecord) and closed again.
//
// The closure follows the loader. Load-time imports, and the libraries that
// exports used by them are forwarded to, are loaded with the image; a
// delay-loaded library, and everything only it needs, only when first
// called. A load-time failure is a problem (the image does not start); a
// delay-loaded one a warning (a call fails later, or never).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "library_search.h"
#include "module_record.h"

namespace corvane {

enum class Severity : std::uint8_t { kNone, kWarning, kProblem };

// How a module first joined a closure: the file checked, imported at load
// time or delay-loaded, or named by a forwarder that something bound to.
enum class JoinedAs : std::uint8_t { kFile, kLoadTimeImport, kDelayLoadedImport, kForwardTarget };

// "load-time import", "delay-loaded import" or "forward target"; empty for
// the file itself.
std::string_view JoinedAsName(JoinedAs joinedAs);

inline constexpr std::size_t kNoModule = static_cast<std::size_t>(-1);

struct ClosureModule {
  std::string name;                   // as first imported; the file's own name for the first module
  std::optional<std::string> path;    // the file found; for an API set name, its host's
  std::size_t host = kNoModule;       // for an API set name: the module of its host file
  FoundIn foundIn = FoundIn::kNowhere;  // the search step that found it; kApiSet for an API set name
  bool loadTime = false;              // loaded with the image, not only through a delay-loaded library
  JoinedAs joinedAs = JoinedAs::kFile;  // an API set's host joins as its name did
  std::vector<std::size_t> neededBy;  // the modules that import it or forward to it, as found
  std::vector<PlaceTried> passedOver;  // when not found: files of another machine, or not PE images
  // What it imports: the name as its file spells it -> the module that is.
  std::unordered_map<std::string, std::size_t> libraries;
  std::shared_ptr<const ModuleRecord> record;  // null when not found or not readable
};

enum class FindingKind {
  kLibraryNotFound,     // `library` is found nowhere
  kNotExported,         // `library` does not export `function`
  kForwardNotFound,     // forwarded to a library found nowhere
  kForwardNotExported,  // forwarded to a function its library does not export
  kForwardCycle,        // the forwards come back where they were
  kForwardUnreadable,   // the forwarder names no library and function
};

struct Finding {
  FindingKind kind = FindingKind::kLibraryNotFound;
  Severity severity = Severity::kProblem;  // kWarning when only a delay-loaded library needs it
  std::size_t importer = 0;                // the module whose import fails
  std::size_t library = 0;                 // the module imported from, or not found
  ImportedFunction function;               // none for a library
  std::string forward;                     // the last forwarder followed
};

struct Closure {
  std::vector<ClosureModule> modules;  // [0] the file itself, then the others as found, breadth first
  std::vector<Finding> findings;       // libraries not found first, then functions, as found
  bool cut = false;                    // a file named more than it holds: not all of it was read

  // The module that `importer` imports as `libraryName`, or kNoModule.
  std::size_t LibraryOf(std::size_t importer, std::string_view libraryName) const;
  // An API set module's host, else the module itself.
  std::size_t FileModule(std::size_t module) const;
  bool Found(std::size_t module) const { return modules[FileModule(module)].record != nullptr; }
  // For each module, the first finding in its own closure (its imports, and
  // theirs, and so on), or kNoModule.
  std::vector<std::size_t> FirstFindingBelow() const;
  Severity Worst() const;
};

// A function as the check names it: its name, or "#12" for an ordinal.
std::string FunctionText(const ImportedFunction& function);

// What a finding says, as one phrase: "not exported", "forwarded to
// NTDLL.Foo, which is not exported", ...
std::string FindingReason(const Finding& finding);

// Checks files one after another with what they share kept: the records of
// files read, and the lookups made for images of one folder and machine.
class DependencyCheck {
 public:
  explicit DependencyCheck(LibrarySearch& search) : search_(search) {}

  // The closure of `image`, the PE image read from `fileName`. `pump` is
  // called now and then, so that a window stays painted. Files are taken
  // to be unchanged while the check lives: a window makes one per open.
  Closure Check(const std::string& fileName, const MappedImage& image, const std::function<void()>& pump = {});

 private:
  class Walk;
  struct Lookup {
    std::optional<std::string> found;
    FoundIn foundIn = FoundIn::kNowhere;  // where `found` (the host, for an API set name) was
    std::string host;  // the API set's host, when an API set named the library
    std::vector<PlaceTried> passedOver;
  };
  const Lookup& Find(const std::string& name, const Importer& importer, const SearchPlaces& places);
  std::shared_ptr<const ModuleRecord> Record(const std::string& path);

  LibrarySearch& search_;
  std::unordered_map<std::string, Lookup> lookups_;
  std::unordered_map<std::string, std::shared_ptr<const ModuleRecord>> records_;
};

}  // namespace corvane
