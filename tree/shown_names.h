#pragma once

// Function names as the user chose to read them. Two options change what an
// export or imported function row shows: decorated C++ and Rust names
// undecorated, and imports by ordinal named as their exporter names them.
// With both off every row shows the text the build gave it. A row showing
// another text keeps the build's text here, so that the options can be
// turned on and off any number of times, and so that its raw name can be
// shown beside it (tooltip, find, the dump's JSON).

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

#include "tree_nodes.h"

namespace corvane {

struct Closure;
class TextCollator;

struct NameOptions {
  bool undecorate = false;    // decorated names decoded (see readable_names.h)
  bool nameOrdinals = false;  // an import by ordinal shows its exporter's name for it
  bool operator==(const NameOptions&) const = default;
};

class ShownNames {
 public:
  // Learns, from the dependency check, the names that the exporters give the
  // ordinals imported under `node`, the node of the closure's `module`.
  void LearnOrdinalNames(TTreeNode* node, const Closure& closure, std::size_t module);

  // Gives every export and imported function row under `top` (null: the
  // whole tree) the text `options` asks for, and sorts again each library
  // whose functions changed; exports keep their order.
  void Apply(TTreeNodes& items, TTreeNode* top, const NameOptions& options, const TextCollator& collator);

  // The raw name behind a row that shows another text: the decorated name,
  // or the exporter's name of an ordinal. Nothing for any other row.
  std::optional<QString> RawName(const TTreeNode* node) const;
  // The other spelling of a row, for its tooltip and for finding it: its
  // raw name, or the exporter's name of an ordinal shown as a number.
  std::optional<QString> OtherSpelling(const TTreeNode* node) const;

  void Forget(const TTreeNode* node);
  void Clear();

 private:
  // The build's text of each row that shows another.
  std::unordered_map<const TTreeNode*, QString> built_;
  std::unordered_map<const TTreeNode*, std::string> ordinalNames_;
};

}  // namespace corvane
