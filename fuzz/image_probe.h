#pragma once

// Everything the viewer reads from one file's bytes, without a file, a
// mapping or a tree: identification, the stats fields, the version record,
// the exports and every imported library's functions, read through the same
// calls and in the same order as the tree build. The fuzzer and the
// robustness tests both drive the reader through here, and check on the way
// what must hold for any input.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "byte_view.h"
#include "version_resource.h"

namespace corvane::probe {

struct ImportedLibrary {
  std::string name;
  // As the tree shows them: each text once, in the order first reported.
  std::vector<std::string> functions;
  bool functionsFound = false;  // the walker's answer
};

struct ImageProbe {
  bool pe = false;
  std::uint64_t imageBase = 0;
  std::uint32_t code = 0;
  std::uint32_t data = 0;
  std::optional<VS_FIXEDFILEINFO> version;  // flags masked, as shown
  bool exportsFound = false;
  std::vector<std::string> exports;  // "name (nameOrdinal)"
  bool importsFound = false;
  std::vector<ImportedLibrary> libraries;  // one per distinct name, in descriptor order
  // Every rule the reader broke on this input; empty when it kept them all.
  std::vector<std::string> violations;
};

ImageProbe ProbeImage(ByteView view);

// A multi-line text of everything but the violations, for comparing two
// probes and for failure messages.
std::string Describe(const ImageProbe& probe);

}  // namespace corvane::probe
