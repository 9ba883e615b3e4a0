// corvane-dump: prints the tree and status texts that the viewer shows for a
// list of files, through the same code, without a display.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tree_output.h"
#include "corvane_version.h"
#include "heap_tuning.h"
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
      "Usage: corvane-dump [--json] FILE...\n"
      "Prints the tree the viewer shows for FILE... (opened together, newest on top),\n"
      "then the status bar's totals.\n"
      "\n"
      "  --json      print one JSON object: {\"tree\", \"status\", \"errors\"}\n"
      "  --help      show this help and exit\n"
      "  --version   show the version and exit\n"
      "\n"
      "Exit status: 0 when every file was shown, 1 when any file failed, 2 on a usage error.\n",
      stream);
}

int Run(int argc, char** argv) {
  bool json = false;
  QStringList files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--json") {
        json = true;
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

  const OutputSink toStdout = [](std::string_view chunk) { std::fwrite(chunk.data(), 1, chunk.size(), stdout); };
  if (json) {
    WriteTreeAsJson(core.Items(), shell.Status(), shell.Errors(), toStdout);
  } else {
    WriteTreeAsText(core.Items(), shell.Status(), toStdout);
  }
  const int status = shell.Errors().empty() ? kExitShown : kExitFileFailed;
  // Tearing down a tree of a hundred thousand nodes one by one costs as much
  // as printing it, and the process is about to end anyway.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  corvane::UseHugePagesForHeap();
  return corvane::Run(argc, argv);
}
