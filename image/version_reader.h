#pragma once

// The fixed part of a file's version resource, and its version numbers as
// text.

#include <cstdint>
#include <string>

#include "version_resource.h"

namespace corvane {

// Fills `info` from the version resource of the file `path`, or, with a null
// path, with the program's own version. Clears dwSignature before anything
// else; on success the flags are masked with dwFileFlagsMask. False (and only
// dwSignature written) when the file cannot be read, is not a PE image or has
// no complete root block; false at once for a null `info`.
bool ReadFixedFileInfo(VS_FIXEDFILEINFO* info, const char* path);

// "%u.%u.%u.%u" from the two halves of a version.
std::string FormatVersion(std::uint32_t ms, std::uint32_t ls);

}  // namespace corvane
