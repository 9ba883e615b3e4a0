#include "version_reader.h"

#include <string>
#include <variant>

#include "corvane_version.h"
#include "mapped_file.h"

namespace corvane {
namespace {

// The program's own fixed file information. On Windows it would come from
// the executable's resource; here the build writes it from the project
// version.
VS_FIXEDFILEINFO OwnFixedFileInfo() {
  VS_FIXEDFILEINFO info;
  info.dwSignature = 0xFEEF04BD;
  info.dwStrucVersion = 0x00010000;
  info.dwFileVersionMS = (kVersionMajor << 16) | kVersionMinor;
  info.dwFileVersionLS = (kVersionPatch << 16) | kVersionTweak;
  info.dwProductVersionMS = info.dwFileVersionMS;
  info.dwProductVersionLS = info.dwFileVersionLS;
  info.dwFileFlagsMask = 0x3F;
  info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
  info.dwFileType = 1;         // VFT_APP
  return info;
}

}  // namespace

bool ReadFixedFileInfo(VS_FIXEDFILEINFO* info, const char* path) {
  if (info == nullptr) return false;
  info->dwSignature = 0;
  VS_FIXEDFILEINFO found;
  if (path == nullptr) {
    found = OwnFixedFileInfo();
  } else {
    auto mapped = MappedFile::Map(path);
    if (std::holds_alternative<MapFailure>(mapped)) return false;
    const auto fixed = FindFixedFileInfo(std::get<MappedFile>(mapped).View());
    if (!fixed) return false;
    found = *fixed;
  }
  *info = found;
  info->dwFileFlags &= info->dwFileFlagsMask;
  return true;
}

std::string FormatVersion(std::uint32_t ms, std::uint32_t ls) {
  return std::to_string(ms >> 16) + '.' + std::to_string(ms & 0xFFFF) + '.' + std::to_string(ls >> 16) + '.' +
         std::to_string(ls & 0xFFFF);
}

}  // namespace corvane
