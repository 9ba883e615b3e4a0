#pragma once

// Finding the fixed part of a version resource in a mapped PE file, the way
// the system's version library finds it: the first resource of type 16, its
// first name and first language, the root block VS_VERSION_INFO and the
// value that follows the block's key.

#include <cstdint>
#include <optional>

#include "byte_view.h"

namespace corvane {

struct VS_FIXEDFILEINFO {
  std::uint32_t dwSignature = 0;
  std::uint32_t dwStrucVersion = 0;
  std::uint32_t dwFileVersionMS = 0;
  std::uint32_t dwFileVersionLS = 0;
  std::uint32_t dwProductVersionMS = 0;
  std::uint32_t dwProductVersionLS = 0;
  std::uint32_t dwFileFlagsMask = 0;
  std::uint32_t dwFileFlags = 0;
  std::uint32_t dwFileOS = 0;
  std::uint32_t dwFileType = 0;
  std::uint32_t dwFileSubtype = 0;
  std::uint32_t dwFileDateMS = 0;
  std::uint32_t dwFileDateLS = 0;
};
inline constexpr std::uint32_t kFixedFileInfoSize = 52;
static_assert(sizeof(VS_FIXEDFILEINFO) == kFixedFileInfoSize);

// The root block's VS_FIXEDFILEINFO as stored in the file (flags unmasked),
// or nothing when the view is not a PE image, has no version resource, or the
// root block cannot hold the whole record. A block is bounded by the least of
// its own length, the resource's size and the view, so lengths that lie never
// widen it.
std::optional<VS_FIXEDFILEINFO> FindFixedFileInfo(ByteView view);

}  // namespace corvane
