#pragma once

// The main window's logic without the window: opening files, building each
// file's subtree, the running totals and status texts, the folder of the
// latest open, and the tree's compare, key and deletion handlers. What only a
// window can do (the error box, the message pump, the cursor, enabling the
// window, the status bar) it asks of a ViewerShell; the Qt window, the
// command-line dump and the tests each supply their own.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "byte_view.h"
#include "dependency_check.h"
#include "dependency_marks.h"
#include "library_search.h"
#include "mapped_file.h"
#include "shown_names.h"
#include "text_collator.h"
#include "tree_nodes.h"
#include "viewer_shell.h"

namespace corvane {

struct MappedImage;

// Style of every error box: the error icon with a single OK button.
inline constexpr std::uint32_t kErrorBoxStyle = 16;

inline constexpr const char* kMessageFileNotFound = "File not found.";
inline constexpr const char* kMessageCannotMap = "Unable to map file into memory.";
inline constexpr const char* kMessageCannotView = "Unable to get a file view.";
inline constexpr const char* kMessageNotPe = "Invalid file format (not a Portable Executable file).";
// The file names far more entries than it can hold (its tables are reused
// over and over); the tree shows the part read before the build stopped.
inline constexpr const char* kMessageTreeCut =
    "The file repeats its tables over and over: only part of it is shown.";
// A library's file was found nowhere (no full stop, unlike a file that cannot be opened).
inline constexpr const char* kMessageLibraryNotFound = "File not found";

inline constexpr int kStatusPanelCount = 4;

// The platform's virtual-key code of the context-menu key (VK_APPS): the one
// key code the tree's key handler reads. A window hands it this code for
// that key and 0 for every other.
inline constexpr std::uint16_t kContextMenuKey = 0x5D;

class ViewerCore {
 public:
  explicit ViewerCore(ViewerShell& shell);
  ViewerCore(const ViewerCore&) = delete;
  ViewerCore& operator=(const ViewerCore&) = delete;

  TTreeNodes& Items() { return items_; }
  const TTreeNodes& Items() const { return items_; }

  // Replaces what is shown with `files`, newest on top; the folder of the
  // first file becomes the file folder afterwards.
  void OpenList(const QStringList& files);
  // Opens, checks and shows one file: under `parent`, or as a new top-level
  // node when `parent` is null. Failures reach the user as one error box.
  void ProcessFile(TTreeNode* parent, const std::string& fileName);
  // ProcessFile's work once the file is mapped: identifies `view`, the bytes
  // of `fileName`, and builds its subtree. The message for the user, or null.
  const char* ProcessView(TTreeNode* parent, const std::string& fileName, ByteView view);
  // Removes every node and zeroes the totals.
  void ClearAll();
  // Keeps the folder part of `path` (with its final separator) and makes it
  // the current directory; a failing change of directory is ignored.
  void SetFileFolder(const std::string& path);
  void UpdateStatusBar();
  // Adds the version entries of `fileName` under `stats`; false when the file
  // has no version information.
  bool AddVersionNodes(TTreeNode* stats, const std::string& fileName);

  // Opens one file chosen by the user in place of what is shown; its
  // folder becomes the file folder first.
  void OpenFile(const std::string& fileName);
  // Whether PopupInspectClick would inspect `node`: a node of an imported
  // library not inspected yet.
  static bool CanInspect(const TTreeNode* node);

  // Inspects the library of `selected`, a node of an imported library not
  // inspected yet (anything else is ignored): finds the library's file,
  // builds its subtree under the node and appends the folder it was found in
  // to the node's text, or the whole file name when an API set named it.
  void PopupInspectClick(TTreeNode* selected);
  // Looks for the library `name` as an import of the file shown at `root`,
  // the way inspection does; with `everyPlace`, the lookup lists every
  // place tried.
  LibraryLookup LookUpLibrary(const std::string& name, const TTreeNode* root, bool everyPlace = false);
  LibrarySearch& Search() { return librarySearch_; }

  // Whether each file opened is checked and its rows marked (on unless
  // turned off): a caller that shows no marks saves the work.
  void SetDependencyCheck(bool on) { checkDependencies_ = on; }

  // How function names read (both options off unless set); setting them
  // changes the rows already shown, keeping each node.
  void SetNameOptions(const NameOptions& options);
  const ShownNames& Names() const { return shownNames_; }

  // Why `node` is marked (see TTreeNode::Mark, whose values are
  // Severity's), or nothing when it is not.
  QString MarkReason(const TTreeNode* node) const;

  // The check made when the file whose subtree holds `node` was opened (the
  // first file's for null), or null when there is none.
  const Closure* ClosureOf(const TTreeNode* node) const;

  // Tree events.
  void InfoTreeCompare(TTreeNode* node1, TTreeNode* node2, int data, int& compare) const;
  void InfoTreeDeletion(TTreeNode* node);
  void InfoTreeKeyDown(std::uint16_t& key, int shift);

  std::uint32_t CodeTotal() const { return codeTotal_; }
  std::uint32_t DataTotal() const { return dataTotal_; }
  const std::string& FileFolder() const { return fileFolder_; }
  bool KeyPopup() const { return keyPopup_; }
  void SetKeyPopup(bool keyPopup) { keyPopup_ = keyPopup; }
  // True while a subtree is being built or a library inspected, its message
  // boxes included: the build's message pump and the boxes' event loops run
  // other handlers, which must leave the tree alone (an inspection holds its
  // node across the boxes).
  bool Busy() const { return buildDepth_ > 0 || inspectionDepth_ > 0; }

 private:
  // True when the build was cut short (see FileTreeBuild::Cut).
  bool BuildFileTree(TTreeNode* parent, const std::string& fileName, const MappedImage& image);
  void AddStatsNodes(TTreeNode* stats, const MappedImage& image);
  // Checks what the file shown at `root` needs and marks its rows.
  void CheckFile(TTreeNode* root, const std::string& fileName, const MappedImage& image);
  // Marks what the library inspected at `library` needs, from the check of
  // the file shown above it.
  void MarkInspectedLibrary(TTreeNode* library, const std::string& fileName);
  // Records a node's mark and its words.
  MarkNode Marker();

  ViewerShell& shell_;
  TTreeNodes items_;
  TextCollator collator_;
  std::string fileFolder_;
  std::uint32_t codeTotal_ = 0;
  std::uint32_t dataTotal_ = 0;
  int buildDepth_ = 0;
  int inspectionDepth_ = 0;
  bool keyPopup_ = false;
  bool checkDependencies_ = true;
  // The image shown at each root, for the search of the libraries it imports.
  std::unordered_map<const TTreeNode*, Importer> importers_;
  LibrarySearch librarySearch_;
  // The dependency check of the file shown at each root, and the words of
  // each node's mark.
  std::unordered_map<const TTreeNode*, Closure> closures_;
  std::unordered_map<const TTreeNode*, QString> markReasons_;
  NameOptions nameOptions_;
  ShownNames shownNames_;
};

// " %lu Kb (%lu bytes)": the rounded kilobytes, then the exact byte count.
QString FormatSize(std::uint32_t bytes);

// What the user is told when a file cannot be mapped.
const char* MapFailureMessage(MapFailure failure);

}  // namespace corvane
