#pragma once

// The entries of one image in the viewer's tree: a node per exported name
// under "Exported APIs", a node per imported library under the file's root
// with a node per function it provides. A build is bounded by the file's
// size, however its tables point: a file that names far more entries than
// it can hold is cut short, and says so.

#include <memory>
#include <string_view>

#include "node_text.h"
#include "tree_nodes.h"

namespace corvane {

struct MappedImage;
class TextCollator;
class ViewerShell;

class FileTreeBuild {
 public:
  // Everything given must outlive the build.
  FileTreeBuild(TTreeNodes& items, ViewerShell& shell, const TextCollator& collator, const MappedImage& image);
  ~FileTreeBuild();
  FileTreeBuild(const FileTreeBuild&) = delete;
  FileTreeBuild& operator=(const FileTreeBuild&) = delete;

  void AddExports(TTreeNode* exports);
  // Libraries the root already shows (from an earlier inspection) gain the
  // functions they lack rather than a second node.
  void AddImports(TTreeNode* root);
  // True when the build stopped early because the file named more entries
  // than it can hold.
  bool Cut() const;

 private:
  class Walk;
  std::unique_ptr<Walk> walk_;
};

}  // namespace corvane
