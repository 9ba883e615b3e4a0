// corvane-dump: prints the tree and status texts that the viewer shows for a
// list of files, through the same code, without a display.

#include <QString>
#include <QStringList>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "closure_output.h"
#include "corvane_version.h"
#include "dependency_check.h"
#include "library_search.h"
#include "mapped_image.h"
#include "node_kinds.h"
#include "ship_list.h"
#include "system_services.h"
#include "tree_output.h"
#include "viewer_core.h"

namespace corvane {
namespace {

constexpr int kExitShown = 0;
constexpr int kExitFileFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLibraryNotFound = 3;

// The window's services as a batch program has them: errors are collected
// and printed, everything else has nothing to do.
class DumpShell final : public ViewerShell {
 public:
  int ShowError(const QString& text, std::uint32_t, const ErrorSubject& subject) override {
    const std::string& file = subject.file;
    std::fprintf(stderr, "corvane-dump: %s: %s\n", file.c_str(), text.toLocal8Bit().constData());
    for (const PlaceTried& place : subject.passedOver) {
      std::fprintf(stderr, "corvane-dump: %s: passed over %s: %s\n", file.c_str(), place.path.c_str(),
                   DescribePlace(place).c_str());
    }
    errors_.push_back({QString::fromLocal8Bit(file.c_str()), text});
    return 1;  // IDOK
  }
  void PumpMessages() override {}
  void SetWaitCursor() override {}
  void RestoreCursor() override {}
  void SetWindowEnabled(bool) override {}
  void FocusWindow() override {}
  void SetStatusPanelText(int panel, const QString& text) override {
    if (panel >= 0 && panel < kStatusPanelCount) status_[panel] = text;
  }

  const std::vector<FileError>& Errors() const { return errors_; }
  QStringList Status() const { return {status_, status_ + kStatusPanelCount}; }

 private:
  std::vector<FileError> errors_;
  QString status_[kStatusPanelCount];
};

// The viewer's core as the dump drives it, with `files` opened as the
// window opens them. The tree printed has no marks; --modules is the check.
// Ordinals are named from the check's records of the exporters, so naming
// them runs the check.
struct DumpedViewer {
  DumpedViewer(const std::vector<std::string>& extraFolders, const QStringList& files,
               const NameOptions& names = {}) {
    core.Search().SetExtraFolders(extraFolders);
    core.SetDependencyCheck(names.nameOrdinals);
    core.SetNameOptions(names);
    core.OpenList(files);
  }

  DumpShell shell;
  ViewerCore core{shell};
};

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: corvane-dump [--json] [--depth N] [--demangle] [--name-ordinals] [--path DIR]... FILE...\n"
      "  or:  corvane-dump --modules [--json] [--demangle] [--path DIR]... FILE...\n"
      "  or:  corvane-dump --modules --ship [--demangle] [--path DIR]... FILE...\n"
      "  or:  corvane-dump --explain NAME --from FILE [--path DIR]...\n"
      "Prints the tree the viewer shows for FILE... (opened together, newest on top),\n"
      "then the status bar's totals.\n"
      "\n"
      "  --json      print one JSON object: {\"tree\", \"status\", \"errors\"}\n"
      "  --depth N   inspect imported libraries N levels deep below each file,\n"
      "              breadth first, as the viewer's \"Inspect Library\" does (default 0)\n"
      "  --modules   check what each FILE needs, like ldd: every module it loads, once,\n"
      "              breadth first, as NAME => PATH or NAME => not found, then each\n"
      "              imported function that its library does not export; with --json\n"
      "              {\"files\": [{\"file\", \"modules\", \"problems\", \"warnings\"}]}.\n"
      "              A delay-loaded library is loaded on first call: what it lacks is\n"
      "              a warning, not a problem\n"
      "  --demangle  show decorated C++ and Rust function names decoded; with --json\n"
      "              each function whose text differs gains \"name\", the raw name\n"
      "  --name-ordinals\n"
      "              show a function imported by ordinal by its exporter's name for it,\n"
      "              as \"NAME (ordinal N)\" (checks the file's dependencies to find it)\n"
      "  --ship      with --modules: print, one absolute path a line and each once,\n"
      "              the libraries found outside the system folders, which the\n"
      "              program's folder must carry, but for API set hosts and Wine's\n"
      "              own libraries; the FILEs themselves are not printed\n"
      "  --path DIR  look for libraries in DIR right after the file's own folder\n"
      "              (repeatable)\n"
      "  --explain NAME --from FILE\n"
      "              show how the library NAME is looked for after opening FILE:\n"
      "              the API set step, then each place tried and what it gave\n"
      "  --help      show this help and exit\n"
      "  --version   show the version and exit\n"
      "\n"
      "Exit status: 0 when every file was shown, 1 when any file failed, 2 on a usage error.\n"
      "A library that is not found is reported on standard error and does not change it.\n"
      "With --explain: 0 when the library is found, 3 when not.\n"
      "With --modules: 2 on a usage error, else 1 when any file could not be read,\n"
      "else 3 when a library loaded with a file is not found or lacks a function\n"
      "imported from it, else 0; --ship names each such one on standard error.\n"
      "\n"
      "Example, which DLLs a program cross-compiled with mingw-w64 must ship with\n"
      "(DIR: each folder that holds the compiler's runtime DLLs), copied into dist/:\n"
      "\n"
      "  corvane-dump --modules --ship --path DIR... app.exe > list\n"
      "\n"
      "  xargs -d '\\n' cp -t dist/ < list\n",
      stream);
}

// Inspects every library node not inspected yet, level by level, down to
// `depth` levels below each file.
void InspectBreadthFirst(ViewerCore& core, int depth) {
  std::deque<std::pair<TTreeNode*, int>> pending;
  auto queueLibraries = [&](TTreeNode* parent, int level) {
    if (level > depth) return;
    for (TTreeNode* child = parent->getFirstChild(); child != nullptr; child = parent->GetNextChild(child)) {
      if (child->ImageIndex() == kIconLibrary) pending.emplace_back(child, level);
    }
  };
  for (int i = 0; i < core.Items().TopCount(); ++i) queueLibraries(core.Items().TopItem(i), 1);
  while (!pending.empty()) {
    const auto [library, level] = pending.front();
    pending.pop_front();
    core.PopupInspectClick(library);
    if (library->ImageIndex() == kIconInspectedLibrary) queueLibraries(library, level + 1);
  }
}

void PrintApiSetStep(const std::string& name, const LibraryLookup& lookup) {
  const char* name8 = name.c_str();
  const char* schema = lookup.schemaFile.c_str();
  switch (lookup.apiSet) {
    case ApiSetStep::kNotApiSetName:
      std::printf("API set: %s is not an API set name\n", name8);
      break;
    case ApiSetStep::kNoSchema:
      if (lookup.schemaFile.empty()) {
        std::printf("API set: no apisetschema.dll in the system folders; %s is looked for as it is\n", name8);
      } else {
        std::printf("API set: %s holds no schema this program reads; %s is looked for as it is\n", schema, name8);
      }
      break;
    case ApiSetStep::kHost:
      std::printf("API set: %s is hosted by %s (%s)\n", name8, lookup.fileName.c_str(), schema);
      break;
    case ApiSetStep::kNoHost:
      std::printf("API set: %s names no host for %s\n", schema, name8);
      break;
  }
}

// Opens `file` as the window would, then looks for the library `name` as
// one of its imports and prints each step.
int Explain(const std::string& name, const std::string& file, const std::vector<std::string>& extraFolders) {
  DumpedViewer viewer(extraFolders, {QString::fromLocal8Bit(file.c_str())});
  if (!viewer.shell.Errors().empty()) return kExitFileFailed;
  const LibraryLookup lookup = viewer.core.LookUpLibrary(name, viewer.core.Items().TopItem(0), true);
  std::printf("Looking for %s as imported by %s (%s)\n", name.c_str(), file.c_str(), MachineName(lookup.machine).c_str());
  PrintApiSetStep(name, lookup);
  for (const PlaceTried& place : lookup.places) {
    std::printf("  %s: %s\n", place.path.c_str(), DescribePlace(place).c_str());
  }
  if (!lookup.found) {
    std::puts("Not found");
    return kExitLibraryNotFound;
  }
  std::printf("Found: %s\n", FullPathName(*lookup.found).c_str());
  return kExitShown;
}

// Checks each file's closure with one search, so that a module found for one
// file is not looked for again for the next; a file that does not map is
// reported on standard error and handed to `unmapped` with the message.
// Returns the exit status of the whole run.
int CheckEachFile(const std::vector<std::string>& files, const std::vector<std::string>& extraFolders,
                  const std::function<void(const std::string& file, const char* message)>& unmapped,
                  const std::function<void(const std::string& file, const Closure&)>& checked) {
  LibrarySearch search;
  search.SetExtraFolders(extraFolders);
  DependencyCheck check(search);
  bool anyFailed = false;
  bool anyProblem = false;
  for (const std::string& file : files) {
    std::optional<MapFailure> failure;
    const auto pe = MapPeFile(file, &failure);
    if (!pe) {
      const char* message = failure ? MapFailureMessage(*failure) : kMessageNotPe;
      anyFailed = true;
      std::fprintf(stderr, "corvane-dump: %s: %s\n", file.c_str(), message);
      unmapped(file, message);
      continue;
    }
    const Closure closure = check.Check(file, pe->image);
    if (closure.cut) std::fprintf(stderr, "corvane-dump: %s: %s\n", file.c_str(), kMessageTreeCut);
    anyProblem = anyProblem || closure.Worst() == Severity::kProblem;
    checked(file, closure);
  }
  return anyFailed ? kExitFileFailed : anyProblem ? kExitLibraryNotFound : kExitShown;
}

void WriteToStdout(std::string& out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  out.clear();
}

// The dependency check of each file, printed as text or JSON.
int CheckModules(const std::vector<std::string>& files, bool json, bool undecorate,
                 const std::vector<std::string>& extraFolders) {
  std::string out = json ? "{\"files\":[" : "";
  auto separate = [&, first = true]() mutable {
    if (json && !first) out += ',';
    first = false;
  };
  const int status = CheckEachFile(
      files, extraFolders,
      [&](const std::string& file, const char* message) {
        if (!json) return;
        separate();
        out += "{\"file\":\"";
        AppendJsonEscapedTo(out, file);
        out += "\",\"error\":\"";
        AppendJsonEscapedTo(out, message);
        out += "\"}";
      },
      [&](const std::string& file, const Closure& closure) {
        separate();
        if (json) {
          out += ClosureAsJson(file, closure, undecorate);
        } else {
          if (files.size() > 1) out += file + ":\n";
          out += ClosureAsText(closure, undecorate);
        }
        WriteToStdout(out);
      });
  if (json) out += "]}\n";
  WriteToStdout(out);
  return status;
}

// The libraries each file's folder must carry, one path a line; what would
// keep a file from loading goes to standard error.
int ShipModules(const std::vector<std::string>& files, bool undecorate, const std::vector<std::string>& extraFolders) {
  ShipList ship;
  const int status = CheckEachFile(
      files, extraFolders, [](const std::string&, const char*) {},
      [&](const std::string& file, const Closure& closure) {
        for (const Finding& finding : closure.findings) {
          if (finding.severity != Severity::kProblem) continue;
          std::string what = closure.modules[finding.library].name;
          if (finding.kind != FindingKind::kLibraryNotFound) {
            what = ShownFunction(finding, undecorate) + " from " + what;
          }
          std::fprintf(stderr, "corvane-dump: %s: %s: %s (needed by %s)\n", file.c_str(), what.c_str(),
                       FindingReason(finding).c_str(), closure.modules[finding.importer].name.c_str());
        }
        ship.Add(closure);
      });
  std::string out;
  for (const std::string& path : ship.Paths()) out += path + '\n';
  WriteToStdout(out);
  return status;
}

// A non-negative decimal number, or -1.
int DepthFrom(std::string_view text) {
  int depth = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), depth);
  return error == std::errc() && end == text.data() + text.size() && depth >= 0 ? depth : -1;
}

int Run(int argc, char** argv) {
  bool json = false;
  bool modules = false;
  NameOptions names;
  bool ship = false;
  std::vector<std::string> extraFolders;
  int depth = 0;
  const char* explain = nullptr;
  const char* from = nullptr;
  QStringList files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--json") {
        json = true;
      } else if (argument == "--depth") {
        depth = i + 1 < argc ? DepthFrom(argv[++i]) : -1;
        if (depth < 0) {
          std::fputs("corvane-dump: --depth needs a number of levels (0 or more)\n", stderr);
          return kExitUsage;
        }
      } else if (argument == "--modules") {
        modules = true;
      } else if (argument == "--demangle") {
        names.undecorate = true;
      } else if (argument == "--name-ordinals") {
        names.nameOrdinals = true;
      } else if (argument == "--ship") {
        ship = true;
      } else if (argument == "--explain" || argument == "--from" || argument == "--path") {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "corvane-dump: %s needs a name\n", argv[i]);
          return kExitUsage;
        }
        if (argument == "--path") {
          extraFolders.emplace_back(argv[++i]);
        } else {
          (argument == "--explain" ? explain : from) = argv[++i];
        }
      } else if (argument == "--help") {
        PrintUsage(stdout);
        return kExitShown;
      } else if (argument == "--version") {
        std::printf("corvane-dump %s\n", kVersionText);
        return kExitShown;
      } else {
        std::fprintf(stderr, "corvane-dump: unknown option '%s'\n", argv[i]);
        PrintUsage(stderr);
        return kExitUsage;
      }
      continue;
    }
    files.append(QString::fromLocal8Bit(argv[i]));
  }
  if (ship && (!modules || json || depth != 0)) {
    std::fputs("corvane-dump: --ship goes with --modules, without --json or --depth\n", stderr);
    return kExitUsage;
  }
  if (explain != nullptr || from != nullptr) {
    if (explain == nullptr || from == nullptr || !files.isEmpty() || modules) {
      std::fputs("corvane-dump: --explain NAME and --from FILE go together, without other files\n", stderr);
      return kExitUsage;
    }
    return Explain(explain, from, extraFolders);
  }
  if (files.isEmpty()) {
    std::fputs("corvane-dump: no file given\n", stderr);
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (modules) {
    if (depth != 0 || names.nameOrdinals) {
      std::fputs("corvane-dump: --modules lists every module once; it takes no --depth or --name-ordinals\n",
                 stderr);
      return kExitUsage;
    }
    std::vector<std::string> fileNames;
    for (const QString& file : files) fileNames.push_back(file.toLocal8Bit().toStdString());
    return ship ? ShipModules(fileNames, names.undecorate, extraFolders)
                : CheckModules(fileNames, json, names.undecorate, extraFolders);
  }

  DumpedViewer viewer(extraFolders, files, names);
  const bool everyFileShown = viewer.shell.Errors().empty();
  InspectBreadthFirst(viewer.core, depth);

  const OutputSink toStdout = [](std::string_view chunk) { std::fwrite(chunk.data(), 1, chunk.size(), stdout); };
  if (json) {
    WriteTreeAsJson(viewer.core.Items(), viewer.shell.Status(), viewer.shell.Errors(), toStdout,
                    [&viewer](const TTreeNode* node) { return viewer.core.Names().RawName(node); });
  } else {
    WriteTreeAsText(viewer.core.Items(), viewer.shell.Status(), toStdout);
  }
  const int status = everyFileShown ? kExitShown : kExitFileFailed;
  // The process ends without tearing down the tree (docs/performance.md).
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  return corvane::Run(argc, argv);
}
