#include "dependency_check.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <set>
#include <tuple>
#include <variant>

#include "mapped_file.h"
#include "system_services.h"

namespace corvane {
namespace {

// Real forwards go one or two steps; a file may chain them without end.
constexpr int kMaxForwardSteps = 64;

// A forwarder's target: "LIBRARY.Function" or "LIBRARY.#12". The library
// ends at the last full stop and is a DLL unless it names an extension.
struct ForwardTarget {
  std::string library;
  ImportedFunction function;
};

std::optional<ForwardTarget> ParseForward(const std::string& text) {
  const std::size_t dot = text.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return std::nullopt;
  ForwardTarget target{text.substr(0, dot), {}};
  if (target.library.find('.') == std::string::npos) target.library += ".dll";
  const std::string_view function = std::string_view(text).substr(dot + 1);
  if (function.front() == '#') {
    std::uint16_t ordinal = 0;
    const auto [end, error] = std::from_chars(function.data() + 1, function.data() + function.size(), ordinal);
    if (error != std::errc() || end != function.data() + function.size()) return std::nullopt;
    target.function.ordinal = ordinal;
  } else {
    target.function.name = std::string(function);
  }
  return target;
}

}  // namespace

// One file's closure, module by module: load-time ones first, breadth first,
// then those only delay-loaded libraries bring in.
class DependencyCheck::Walk {
 public:
  // `image` is the file's, `record` its record, which gains the exports
  // when something the file needs imports from it again.
  Walk(DependencyCheck& check, SearchPlaces places, const std::function<void()>& pump, const MappedImage& image,
       std::shared_ptr<ModuleRecord> record)
      : check_(check), places_(std::move(places)), pump_(pump), image_(image), record_(std::move(record)) {}

  Closure Run(const std::string& fileName) {
    ClosureModule& file = closure_.modules.emplace_back();
    file.name = FileNamePart(fileName);
    file.path = FullPathName(fileName);
    file.loadTime = true;
    file.record = record_;
    byKey_.emplace(*file.path, 0);
    loadTime_.push_back(0);
    for (std::deque<std::size_t>* queue : {&loadTime_, &delayLoaded_}) {
      while (!queue->empty()) {
        const std::size_t module = queue->front();
        queue->pop_front();
        if (processed_.insert(module).second) Process(module);
        if (pump_) pump_();
      }
    }
    ReportLibrariesNotFound();
    return std::move(closure_);
  }

 private:
  ClosureModule& Module(std::size_t index) { return closure_.modules[index]; }

  void Process(std::size_t module) {
    const std::shared_ptr<const ModuleRecord> record = Module(module).record;
    if (record == nullptr) return;
    closure_.cut = closure_.cut || record->cut;
    for (const ImportedLibrary& imported : record->imports) {
      const bool loadTime = Module(module).loadTime && !imported.delayLoaded;
      const JoinedAs joinedAs = imported.delayLoaded ? JoinedAs::kDelayLoadedImport : JoinedAs::kLoadTimeImport;
      const std::size_t library = Resolve(imported.name, module, loadTime, joinedAs);
      Module(module).libraries.try_emplace(imported.name, library);
      for (const ImportedFunction& function : imported.functions) Bind(module, library, function, loadTime);
    }
  }

  // The module `importer` means by `name`: found through the library search
  // once per name, kept by the file found (an API set name by itself,
  // pointing to its host's file), made part of the closure as `loadTime`
  // says; a module new to the closure joins as `joinedAs`.
  std::size_t Resolve(const std::string& name, std::size_t importer, bool loadTime, JoinedAs joinedAs) {
    const ClosureModule& from = Module(importer);
    const Importer who{FileNamePart(*from.path), from.record->machine, from.record->pe32Plus};
    const Lookup& lookup = check_.Find(name, who, places_);
    std::size_t module = kNoModule;
    if (!lookup.found) {
      // Keys: a file's path, an API set name with its host's path, or a
      // name not found.
      module = Entry(FoldedAscii(name).append("\n"), name, std::nullopt, joinedAs);
      Module(module).passedOver = lookup.passedOver;
    } else if (lookup.host.empty()) {
      module = Entry(*lookup.found, name, lookup.found, joinedAs, lookup.foundIn);
    } else {
      module = Entry(FoldedAscii(name) + "\n" + *lookup.found, name, lookup.found, joinedAs, FoundIn::kApiSet);
      const std::size_t host = Entry(*lookup.found, lookup.host, lookup.found, joinedAs, lookup.foundIn);
      Module(module).host = host;
      NeededBy(host, importer);
      Reach(host, loadTime);
    }
    NeededBy(module, importer);
    Reach(module, loadTime);
    return module;
  }

  std::size_t Entry(const std::string& key, const std::string& name, const std::optional<std::string>& path,
                    JoinedAs joinedAs, FoundIn foundIn = FoundIn::kNowhere) {
    const auto [known, added] = byKey_.try_emplace(key, closure_.modules.size());
    if (added) {
      ClosureModule& module = closure_.modules.emplace_back();
      module.name = name;
      module.path = path;
      module.foundIn = foundIn;
      module.joinedAs = joinedAs;
      if (path) module.record = check_.Record(*path);
    }
    return known->second;
  }

  void NeededBy(std::size_t module, std::size_t importer) {
    auto& neededBy = Module(module).neededBy;
    if (std::find(neededBy.begin(), neededBy.end(), importer) == neededBy.end()) neededBy.push_back(importer);
  }

  // An API set name is only reached: its host's file is what loads.
  void Reach(std::size_t module, bool loadTime) {
    ClosureModule& reached = Module(module);
    if (loadTime && !reached.loadTime) {
      reached.loadTime = true;
      if (reached.host == kNoModule) loadTime_.push_back(module);
    } else if (!loadTime && reached.host == kNoModule && queuedLate_.insert(module).second) {
      delayLoaded_.push_back(module);
    }
  }

  // Binds `function` as the loader would, following forwards.
  void Bind(std::size_t importer, std::size_t library, const ImportedFunction& function, bool loadTime) {
    std::size_t exporter = closure_.FileModule(library);
    if (Module(exporter).record == nullptr) return;  // the library is reported as not found
    ImportedFunction wanted = function;
    std::vector<std::pair<std::size_t, std::string>> visited;
    std::string forward;
    for (int step = 0;; ++step) {
      if (exporter == 0 && !record_->exportsRead) ReadModuleExports(image_, *record_);
      const auto binding = Module(exporter).record->Bind(wanted);
      if (!binding) {
        Report(step == 0 ? FindingKind::kNotExported : FindingKind::kForwardNotExported, importer, library, function,
               loadTime, forward);
        return;
      }
      if (binding->forward == nullptr) return;
      forward = *binding->forward;
      visited.emplace_back(exporter, FunctionText(wanted));
      const auto target = ParseForward(forward);
      if (!target) {
        Report(FindingKind::kForwardUnreadable, importer, library, function, loadTime, forward);
        return;
      }
      const std::size_t next = Resolve(target->library, exporter, loadTime, JoinedAs::kForwardTarget);
      if (!closure_.Found(next)) {
        Report(FindingKind::kForwardNotFound, importer, library, function, loadTime, forward);
        return;
      }
      exporter = closure_.FileModule(next);
      wanted = target->function;
      const std::pair<std::size_t, std::string> place(exporter, FunctionText(wanted));
      if (step == kMaxForwardSteps || std::find(visited.begin(), visited.end(), place) != visited.end()) {
        Report(FindingKind::kForwardCycle, importer, library, function, loadTime, forward);
        return;
      }
    }
  }

  void Report(FindingKind kind, std::size_t importer, std::size_t library, const ImportedFunction& function,
              bool loadTime, const std::string& forward) {
    if (!reported_.emplace(importer, library, FunctionText(function)).second) return;
    closure_.findings.push_back(
        {kind, loadTime ? Severity::kProblem : Severity::kWarning, importer, library, function, forward});
  }

  void ReportLibrariesNotFound() {
    std::vector<Finding> notFound;
    for (std::size_t module = 0; module < closure_.modules.size(); ++module) {
      const ClosureModule& entry = Module(module);
      if (entry.path) continue;
      notFound.push_back({FindingKind::kLibraryNotFound, entry.loadTime ? Severity::kProblem : Severity::kWarning,
                          entry.neededBy.front(), module, {}, {}});
    }
    closure_.findings.insert(closure_.findings.begin(), notFound.begin(), notFound.end());
  }

  DependencyCheck& check_;
  const SearchPlaces places_;
  const std::function<void()>& pump_;
  const MappedImage& image_;
  const std::shared_ptr<ModuleRecord> record_;
  Closure closure_;
  std::unordered_map<std::string, std::size_t> byKey_;
  std::deque<std::size_t> loadTime_;
  std::deque<std::size_t> delayLoaded_;
  std::set<std::size_t> processed_;
  std::set<std::size_t> queuedLate_;
  std::set<std::tuple<std::size_t, std::size_t, std::string>> reported_;
};

Closure DependencyCheck::Check(const std::string& fileName, const MappedImage& image,
                               const std::function<void()>& pump) {
  // The file's own exports matter only when something it needs imports
  // from it again, and a library may export many thousands.
  auto record = std::make_shared<ModuleRecord>(ReadModuleRecord(image, false));
  Walk walk(*this, search_.LoaderSearchPlaces(FolderPart(fileName), record->pe32Plus), pump, image, record);
  Closure closure = walk.Run(fileName);
  if (record->exportsRead) records_.try_emplace(FullPathName(fileName), std::move(record));
  return closure;
}

const DependencyCheck::Lookup& DependencyCheck::Find(const std::string& name, const Importer& importer,
                                                     const SearchPlaces& places) {
  // The search gives the same answer for the same places and machine; an
  // API set's host may also depend on the importer's name.
  std::string key = places.fileFolder + '\n' + std::to_string(importer.machine) + '\n' + FoldedAscii(name);
  if (IsApiSetName(name)) key += '\n' + FoldedAscii(importer.moduleName);
  const auto [known, added] = lookups_.try_emplace(std::move(key));
  if (added) {
    LibraryLookup lookup = search_.Find(name, importer, places);
    Lookup& kept = known->second;
    if (lookup.found) kept.found = FullPathName(*lookup.found);
    kept.foundIn = lookup.foundIn;
    if (lookup.apiSet == ApiSetStep::kHost) kept.host = lookup.fileName;
    kept.passedOver = std::move(lookup.places);
  }
  return known->second;
}

std::shared_ptr<const ModuleRecord> DependencyCheck::Record(const std::string& path) {
  const auto [known, added] = records_.try_emplace(path);
  if (added) {
    if (const auto pe = MapPeFile(path)) known->second = std::make_shared<const ModuleRecord>(ReadModuleRecord(pe->image));
  }
  return known->second;
}

std::size_t Closure::LibraryOf(std::size_t importer, std::string_view libraryName) const {
  const auto& libraries = modules[importer].libraries;
  const auto found = libraries.find(std::string(libraryName));
  return found != libraries.end() ? found->second : kNoModule;
}

std::size_t Closure::FileModule(std::size_t module) const {
  return modules[module].host != kNoModule ? modules[module].host : module;
}

std::vector<std::size_t> Closure::FirstFindingBelow() const {
  // From each finding up through the modules that need it, nearest first.
  std::vector<std::size_t> first(modules.size(), kNoModule);
  std::deque<std::size_t> pending;
  const auto mark = [&](std::size_t module, std::size_t finding) {
    if (first[module] != kNoModule) return;
    first[module] = finding;
    pending.push_back(module);
  };
  for (std::size_t finding = 0; finding < findings.size(); ++finding) {
    const Finding& found = findings[finding];
    if (found.kind != FindingKind::kLibraryNotFound) {
      mark(found.importer, finding);
      continue;
    }
    for (const std::size_t importer : modules[found.library].neededBy) mark(importer, finding);
  }
  while (!pending.empty()) {
    const std::size_t module = pending.front();
    pending.pop_front();
    for (const std::size_t importer : modules[module].neededBy) mark(importer, first[module]);
  }
  return first;
}

Severity Closure::Worst() const {
  Severity worst = Severity::kNone;
  for (const Finding& finding : findings) worst = std::max(worst, finding.severity);
  return worst;
}

std::string_view JoinedAsName(JoinedAs joinedAs) {
  switch (joinedAs) {
    case JoinedAs::kFile:
      return {};
    case JoinedAs::kLoadTimeImport:
      return "load-time import";
    case JoinedAs::kDelayLoadedImport:
      return "delay-loaded import";
    case JoinedAs::kForwardTarget:
      return "forward target";
  }
  return {};
}

std::string FunctionText(const ImportedFunction& function) {
  if (!function.ordinal) return function.name;
  std::string text(1, '#');
  text += std::to_string(*function.ordinal);
  return text;
}

std::string FindingReason(const Finding& finding) {
  switch (finding.kind) {
    case FindingKind::kLibraryNotFound:
      return "not found";
    case FindingKind::kNotExported:
      return "not exported";
    case FindingKind::kForwardNotFound:
      return "forwarded to " + finding.forward + ", whose library is not found";
    case FindingKind::kForwardNotExported:
      return "forwarded to " + finding.forward + ", which is not exported";
    case FindingKind::kForwardCycle:
      return "forwarded in a cycle through " + finding.forward;
    case FindingKind::kForwardUnreadable:
      return "forwarded to \"" + finding.forward + "\", which names no library and function";
  }
  return {};
}

}  // namespace corvane
