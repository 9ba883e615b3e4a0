#pragma once

// A dependency check's result put on the tree: each imported library the
// check found missing, or that misses something in its own closure, and
// each imported function that would not bind, gets a mark and the words
// that say why.

#include <QString>

#include <functional>
#include <vector>

#include "dependency_check.h"
#include "tree_nodes.h"

namespace corvane {

using MarkNode = std::function<void(TTreeNode* node, Severity severity, const QString& reason)>;

// The module of `closure` that `library`, an imported library's node under
// the node of the closure's `module`, names; kNoModule for any other node.
std::size_t ImportedModule(const TTreeNode& library, const Closure& closure, std::size_t module);

// Marks the library nodes under `node`, the node of the closure's `module`,
// and their function nodes. The gravest mark given.
Severity MarkImports(TTreeNode* node, const Closure& closure, std::size_t module, const MarkNode& mark);

// Marks a file's root with the gravest mark below it, and a warning when
// anything in its closure is missing that no node shows (delay-loaded
// libraries have none). The mark given.
Severity MarkFileRoot(TTreeNode* root, const Closure& closure, Severity below, const MarkNode& mark);

// How one module of a closure stands, as the Modules pane shows it: the
// file itself as its root is marked; a library not found, or that does not
// export what is imported from it, or that needs something missing below
// it, as a library's node is.
struct ModuleMark {
  Severity severity = Severity::kNone;
  QString reason;
  std::size_t failedImports = 0;  // imports of other modules that would not bind to it
};
std::vector<ModuleMark> ModuleMarks(const Closure& closure);

// "Needs libfoo.dll, which is not found", "Needs Foo from bar.dll, which is
// not exported", ...
QString NeedsText(const Closure& closure, const Finding& finding);

}  // namespace corvane
