#pragma once

// The tree and status texts as a program prints them: drawn like the `tree`
// command, or as JSON.

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "tree_nodes.h"

namespace corvane {

struct FileError {
  QString file;
  QString message;
};

// One line per node, depth first in display order; a top-level node's line is
// its text alone, deeper lines carry "│   " or four spaces per ancestor below
// the top level, then "├── " or "└── ". Then one line per non-empty status
// panel. UTF-8.
std::string TreeAsText(const TTreeNodes& items, const QStringList& status);

// {"tree": [{"text", "icon", "children"}...], "status": [...], "errors":
// [{"file", "message"}...]}, UTF-8, one line.
std::string TreeAsJson(const TTreeNodes& items, const QStringList& status, const std::vector<FileError>& errors);

}  // namespace corvane
