// corvane-dump: prints the tree and status texts that the viewer shows for a
// list of files, through the same code, without a display.

#include <QString>
#include <QStringList>

#include <charconv>
#include <cstdio>
#include <deque>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tree_output.h"
#include "corvane_version.h"
#include "node_kinds.h"
#include "viewer_core.h"

namespace corvane {
namespace {

constexpr int kExitShown = 0;
constexpr int kExitFileFailed = 1;
constexpr int kExitUsage = 2;

// The window's services as a batch program has them: errors are collected
// and printed, everything else has nothing to do.
class DumpShell final : public ViewerShell {
 public:
  void Attach(const ViewerCore& core) { core_ = &core; }

  int ShowError(const QString& text, std::uint32_t) override {
    const std::string file = core_ != nullptr ? core_->FileInProcess() : std::string();
    std::fprintf(stderr, "corvane-dump: %s: %s\n", file.c_str(), text.toLocal8Bit().constData());
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
  const ViewerCore* core_ = nullptr;
  std::vector<FileError> errors_;
  QString status_[kStatusPanelCount];
};

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: corvane-dump [--json] [--depth N] FILE...\n"
      "Prints the tree the viewer shows for FILE... (opened together, newest on top),\n"
      "then the status bar's totals.\n"
      "\n"
      "  --json      print one JSON object: {\"tree\", \"status\", \"errors\"}\n"
      "  --depth N   inspect imported libraries N levels deep below each file,\n"
      "              breadth first, as the viewer's \"Inspect Library\" does (default 0)\n"
      "  --help      show this help and exit\n"
      "  --version   show the version and exit\n"
      "\n"
      "Exit status: 0 when every file was shown, 1 when any file failed, 2 on a usage error.\n"
      "A library that is not found is reported on standard error and does not change it.\n",
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

// A non-negative decimal number, or -1.
int DepthFrom(std::string_view text) {
  int depth = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), depth);
  return error == std::errc() && end == text.data() + text.size() && depth >= 0 ? depth : -1;
}

int Run(int argc, char** argv) {
  bool json = false;
  int depth = 0;
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
  if (files.isEmpty()) {
    std::fputs("corvane-dump: no file given\n", stderr);
    PrintUsage(stderr);
    return kExitUsage;
  }

  DumpShell shell;
  ViewerCore core(shell);
  shell.Attach(core);
  core.OpenList(files);
  const bool everyFileShown = shell.Errors().empty();
  InspectBreadthFirst(core, depth);

  const OutputSink toStdout = [](std::string_view chunk) { std::fwrite(chunk.data(), 1, chunk.size(), stdout); };
  if (json) {
    WriteTreeAsJson(core.Items(), shell.Status(), shell.Errors(), toStdout);
  } else {
    WriteTreeAsText(core.Items(), shell.Status(), toStdout);
  }
  const int status = everyFileShown ? kExitShown : kExitFileFailed;
  // Tearing down a tree of a hundred thousand nodes one by one costs as much
  // as printing it, and the process is about to end anyway.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  return corvane::Run(argc, argv);
}
