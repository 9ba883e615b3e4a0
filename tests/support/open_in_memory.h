#pragma once

// Opens a file's bytes as the viewer opens a file, with only the mapping
// left out: the bytes, copied into a block of exactly their size so that
// AddressSanitizer catches any read past them, go through identification
// and the whole tree build of ViewerCore (the walkers, sibling order, the
// text store, the decoding of decorated names, the dependency check of the
// bytes, which looks for the libraries they name in no system folder).
// What the viewer would show comes back, with every rule it broke on the
// way. The fuzz target and the tests of damaged files all open
// their inputs here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "version_resource.h"

namespace corvane::testing {

struct ShownBranch {
  std::string text;
  std::vector<std::string> children;  // as shown
};

struct OpenedImage {
  std::string message;                // the error box's text; empty when none
  std::vector<ShownBranch> branches;  // the file's root's children, as shown
  // The version record of the same bytes, as the Stats branch reads it from
  // the mapped file (which the in-memory open does not name).
  std::optional<VS_FIXEDFILEINFO> version;
  std::vector<std::string> violations;  // empty when every rule held
};

OpenedImage OpenInMemory(std::span<const std::uint8_t> bytes);

// The message, then one line per branch but "Stats", "text: child, child",
// then the file version: what a test about one image compares.
std::string Describe(const OpenedImage& opened);

// Empty when whatever `part` (a prefix of a file) shows, but its stats, which
// read 0 where a header was cut, `whole` (a longer prefix) shows too;
// otherwise what was lost.
std::string NotWithin(const OpenedImage& part, const OpenedImage& whole);

}  // namespace corvane::testing
