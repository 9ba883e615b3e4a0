#include "open_in_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "mapped_image.h"
#include "node_kinds.h"
#include "reading_budget.h"
#include "version_reader.h"
#include "viewer_core.h"
#include "viewer_shells.h"

namespace corvane::testing {
namespace {

// The root, its Stats branch and the export branch come on top of the
// entries a build may add.
constexpr std::size_t kNodesBeyondEntries = 8;

// Notes a rule that did not hold; one of a kind is enough to explain a failure.
class Rules {
 public:
  explicit Rules(std::vector<std::string>& violations) : violations_(violations) {}
  void Expect(bool kept, const std::string& rule) {
    if (!kept && std::ranges::find(violations_, rule) == violations_.end()) violations_.push_back(rule);
  }

 private:
  std::vector<std::string>& violations_;
};

// The root's children and each library's functions are sorted by the
// viewer's compare handler; the exports stay in the walk's order and the
// Stats values in the order they were added.
void CheckOrder(const ViewerCore& core, const TTreeNode* parent, Rules& rules) {
  for (int i = 1; i < parent->Count(); ++i) {
    int compare = 0;
    core.InfoTreeCompare(parent->Item(i - 1), parent->Item(i), 0, compare);
    rules.Expect(compare <= 0, "siblings out of order");
  }
}

void CheckBranches(const ViewerCore& core, const TTreeNode* root, Rules& rules, OpenedImage& opened) {
  CheckOrder(core, root, rules);
  std::set<std::string> libraries;
  for (int i = 0; i < root->Count(); ++i) {
    const TTreeNode* branch = root->Item(i);
    ShownBranch& shown = opened.branches.emplace_back(ShownBranch{branch->Text().toStdString(), {}});
    const int kind = branch->ImageIndex();
    const bool placed = i == 0 ? kind == kIconStats : kind == kIconLibrary || (i == 1 && kind == kIconExports);
    rules.Expect(placed, "Stats first, then the exports if any, then libraries");
    if (kind == kIconLibrary) {
      rules.Expect(libraries.insert(shown.text).second, "a library shown twice");
      CheckOrder(core, branch, rules);
    }
    if (kind == kIconExports) rules.Expect(branch->Count() > 0, "an empty export branch");
    std::set<std::string> functions;
    for (int c = 0; c < branch->Count(); ++c) {
      const std::string& text = shown.children.emplace_back(branch->Item(c)->Text().toStdString());
      if (kind == kIconExports) rules.Expect(text.ends_with(")") && text.find(" (") != text.npos, "an export text");
      if (kind != kIconLibrary) continue;
      rules.Expect(!text.empty(), "an empty function text");
      // Two names may read alike once decoded; as read they are each shown once.
      const std::optional<QString> raw = core.Names().RawName(branch->Item(c));
      rules.Expect(functions.insert(raw ? raw->toStdString() : text).second, "a function shown twice under one library");
    }
  }
  rules.Expect(!opened.branches.empty() && opened.branches[0].children.size() == 3, "Stats without its three values");
}

// Keeps the dependency check of an open to the bytes given: no system
// folders and no PATH, whose listings (/usr/bin...) a fresh viewer would
// otherwise read for every input, most of the work of a damaged-file test.
class NoSearchFolders {
 public:
  NoSearchFolders() {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (const char* value = std::getenv(kNames[i])) saved_[i] = value;
      ::setenv(kNames[i], "", 1);
    }
  }
  ~NoSearchFolders() {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      saved_[i] ? ::setenv(kNames[i], saved_[i]->c_str(), 1) : ::unsetenv(kNames[i]);
    }
  }
  NoSearchFolders(const NoSearchFolders&) = delete;
  NoSearchFolders& operator=(const NoSearchFolders&) = delete;

 private:
  static constexpr const char* kNames[] = {"PATH", "CORVANE_SYSTEM_PATH"};
  std::optional<std::string> saved_[std::size(kNames)];
};

}  // namespace

OpenedImage OpenInMemory(std::span<const std::uint8_t> input) {
  const std::vector<std::uint8_t> bytes(input.begin(), input.end());
  const ByteView view(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
  OpenedImage opened;
  Rules rules(opened.violations);
  NullShell shell;
  ViewerCore core(shell);
  const NoSearchFolders noSearchFolders;
  // Every name also goes through the decoding of decorated names.
  core.SetNameOptions({.undecorate = true, .nameOrdinals = true});
  // An empty name names no file, so the build reads the bytes given alone.
  if (const char* message = core.ProcessView(nullptr, "", view)) opened.message = message;
  opened.version = FindFixedFileInfo(view);

  const bool pe = GetImageFormat(view) == kFormatPe;
  rules.Expect(pe == (opened.message != kMessageNotPe), "identification and the signature disagree");
  const TTreeNode* root = core.Items().GetFirstNode();
  if (!pe || root == nullptr) {
    rules.Expect(root == nullptr && !opened.version, "a view that is not a PE image shows something");
    return opened;
  }
  rules.Expect(root->getNextSibling() == nullptr, "more than one root");
  CheckBranches(core, root, rules, opened);
  std::size_t nodes = 1 + opened.branches.size();
  for (const ShownBranch& branch : opened.branches) nodes += branch.children.size();
  rules.Expect(nodes <= EntriesAllowed(bytes.size()) + kNodesBeyondEntries, "more nodes than the file could hold");
  return opened;
}

std::string Describe(const OpenedImage& opened) {
  std::string text = opened.message.empty() ? "" : opened.message + "\n";
  for (const ShownBranch& branch : opened.branches) {
    if (branch.text == "Stats") continue;
    text += branch.text + ":";
    for (const std::string& child : branch.children) text += (&child == &branch.children[0] ? " " : ", ") + child;
    text += "\n";
  }
  if (!opened.version) return text;
  return text + "version " + FormatVersion(opened.version->dwFileVersionMS, opened.version->dwFileVersionLS) + "\n";
}

std::string NotWithin(const OpenedImage& part, const OpenedImage& whole) {
  if (part.message != kMessageNotPe && whole.message == kMessageNotPe) return "a PE image that stops being one";
  for (const ShownBranch& branch : part.branches) {
    if (branch.text == "Stats") continue;
    const auto found = std::find_if(whole.branches.begin(), whole.branches.end(),
                                    [&branch](const ShownBranch& b) { return b.text == branch.text; });
    if (found == whole.branches.end()) return branch.text + " lost";
    for (const std::string& child : branch.children) {
      if (std::find(found->children.begin(), found->children.end(), child) == found->children.end()) {
        return child + " of " + branch.text + " lost";
      }
    }
  }
  if (part.version && (!whole.version || std::memcmp(&*part.version, &*whole.version, sizeof *part.version) != 0)) {
    return "version record changed";
  }
  return "";
}

}  // namespace corvane::testing
