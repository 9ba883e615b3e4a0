#pragma once

// What the reader knows about one mapped file while its subtree is built,
// and the checks that decide whether the file is a PE image at all.

#include <cstdint>
#include <optional>
#include <string>

#include "byte_view.h"
#include "cstring_finder.h"
#include "image_hlp.h"
#include "mapped_file.h"

namespace corvane {

// Signature codes: the two signature letters read as a little-endian number.
enum ImageFormat : std::uint32_t {
  kFormatNone = 0,
  kFormatDos = 0x5A4D,  // MZ
  kFormatNe = 0x454E,   // NE
  kFormatLe = 0x454C,   // LE
  kFormatPe = 0x4550,   // PE
};

struct MappedImage {
  std::uint32_t format = kFormatNone;
  ByteView base;                            // the whole view; offset 0 is the file's first byte
  std::optional<std::uint32_t> ntHeaders;   // offset of the NT headers, PE images only
  SectionMap sections;                      // RVA translation for the walkers
  // The walkers' name lookups. A cache, hence mutable: it changes no result,
  // only how long a hostile file's names take to find.
  mutable CStringFinder strings;

  // PE32+ images are read in their own layout: 64-bit image base and thunks.
  bool IsPe32Plus() const;
  std::uint64_t OptionalHeader() const;
  // A 32-bit optional-header field, or 0 when the header is cut short there.
  std::uint32_t OptionalHeaderField(std::uint32_t offset) const;
  std::uint64_t ImageBase() const;
};

// Signature code of the bytes in `view`.
std::uint32_t GetImageFormat(ByteView view);

// The COFF Machine of the PE image in `view`, read from its headers alone;
// nothing when the view is no PE image or ends before the field.
std::optional<std::uint16_t> ImageMachine(ByteView view);

// Resets `image`, records the format and view, and for a PE image its NT
// headers and section translation. True only for a PE image.
bool IdentifyImage(MappedImage& image, ByteView view);

// A file mapped and identified as a PE image. `image` reads the bytes that
// `file` maps, which a move leaves in place.
struct PeFile {
  MappedFile file;
  MappedImage image;
};

// `path` mapped and identified; nothing when it cannot be mapped, with
// `failure` (when given) saying why, or when it holds no PE image, with
// `failure` left empty.
std::optional<PeFile> MapPeFile(const std::string& path, std::optional<MapFailure>* failure = nullptr);

// Offset of data directory `index` (0 exports, 1 imports), or nothing.
std::optional<std::uint64_t> GetDirectoryData(const MappedImage& image, std::uint16_t index);

}  // namespace corvane
