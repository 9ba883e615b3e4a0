#pragma once

// The entries of one image in the viewer's tree: a node per exported name
// under "Exported APIs", a node per imported library under the file's root
// with a node per function it provides. A build is bounded by the file's
// size, however its tables point: a file that names far more entries than
// it can hold is cut short, and says so.

#include <QString>

#include <memory>
#include <string_view>

#include "node_text.h"
#include "tree_nodes.h"

namespace corvane {

struct MappedImage;
class TextCollator;
class ViewerShell;

// A name out of the file as a node text. Names in PE files are almost always
// ASCII, which every 8-bit encoding shares with Latin-1: those go into the
// tree as they are, and only the others are decoded. Each byte is looked at
// once, here.
class EightBitText {
 public:
  explicit EightBitText(std::string_view bytes) : EightBitText(bytes, ClassifyBytes(bytes)) {}
  EightBitText(std::string_view bytes, ByteClass byteClass) {
    if (byteClass.ascii) {
      const QLatin1StringView latin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(latin1, byteClass.printableAscii);
    } else {
      decoded_ = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(QStringView(decoded_));
    }
  }
  EightBitText(const EightBitText&) = delete;
  EightBitText& operator=(const EightBitText&) = delete;

  NodeTextView View() const { return view_; }
  TTreeNode* AddTo(TTreeNodes& items, TTreeNode* parent) const { return items.AddChild(parent, view_); }

 private:
  QString decoded_;  // what view_ shows, for a name that is not ASCII
  NodeTextView view_;
};


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
