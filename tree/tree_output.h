#pragma once

// The tree and status texts as a program prints them: drawn like the `tree`
// command, or as JSON.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tree_nodes.h"

namespace corvane {

struct FileError {
  QString file;
  QString message;
};

// Receives the output a chunk at a time, so that a tree of a hundred
// thousand nodes never sits in memory a second time as text.
using OutputSink = std::function<void(std::string_view chunk)>;

// One line per node, depth first in display order; a top-level node's line is
// its text alone, deeper lines carry "│   " or four spaces per ancestor below
// the top level, then "├── " or "└── ". Then one line per non-empty status
// panel. UTF-8.
void WriteTreeAsText(const TTreeNodes& items, const QStringList& status, const OutputSink& sink);

// {"tree": [{"text", "icon", "children"}...], "status": [...], "errors":
// [{"file", "message"}...]} on one line, UTF-8. A node for which `rawName`
// gives a name gains "name" after its "text".
void WriteTreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors,
                     const OutputSink& sink, const NodeName& rawName = {});

// Appends `utf8` to `out` as the inside of a JSON string.
void AppendJsonEscapedTo(std::string& out, std::string_view utf8);

// The same, collected into one string.
std::string TreeAsText(const TTreeNodes& items, const QStringList& status);
std::string TreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors);

// The lines WriteTreeAsText draws for `node` and every node below it,
// collapsed or not, with `node` drawn as a top-level node; no status lines.
// With `shown`, only the nodes it holds for (and none below one it does
// not).
std::string SubtreeAsText(const TTreeNode& node, const NodeShown& shown = {});

}  // namespace corvane
