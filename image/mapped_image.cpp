#include "mapped_image.h"

#include "pe_layout.h"

namespace corvane {

bool MappedImage::IsPe32Plus() const {
  return base.Read<std::uint16_t>(OptionalHeader() + pe::kMagic) == pe::kMagicPe32Plus;
}

std::uint64_t MappedImage::OptionalHeader() const { return std::uint64_t{ntHeaders.value_or(0)} + pe::kOptionalHeaderOffset; }

std::uint32_t MappedImage::OptionalHeaderField(std::uint32_t offset) const {
  return base.Read<std::uint32_t>(OptionalHeader() + offset).value_or(0);
}

std::uint64_t MappedImage::ImageBase() const {
  if (IsPe32Plus()) return base.Read<std::uint64_t>(OptionalHeader() + pe::kImageBasePe32Plus).value_or(0);
  return OptionalHeaderField(pe::kImageBasePe32);
}

std::uint32_t GetImageFormat(ByteView view) {
  if (view.Read<std::uint16_t>(0) != pe::kDosSignature) return kFormatNone;
  // A new-header offset or signature that lies outside the file leaves a
  // plain DOS program.
  const auto newHeader = view.Read<std::uint32_t>(pe::kDosNewHeaderOffset);
  if (!newHeader) return kFormatDos;
  const auto signature = view.Read<std::uint32_t>(*newHeader);
  if (!signature) {
    // "NE" and "LE" need only two bytes; a file may end right after them.
    const auto shortSignature = view.Read<std::uint16_t>(*newHeader);
    if (shortSignature == kFormatNe || shortSignature == kFormatLe) return *shortSignature;
    return kFormatDos;
  }
  const auto low = static_cast<std::uint16_t>(*signature & 0xFFFF);
  if (low == kFormatNe || low == kFormatLe) return low;
  if (*signature == pe::kNtSignature) return kFormatPe;
  return kFormatDos;
}

std::optional<std::uint16_t> ImageMachine(ByteView view) {
  const auto ntHeaders = ImageNtHeader(view);
  if (!ntHeaders) return std::nullopt;
  return view.Read<std::uint16_t>(std::uint64_t{*ntHeaders} + pe::kMachine);
}

bool IdentifyImage(MappedImage& image, ByteView view) {
  image = MappedImage{};
  image.format = GetImageFormat(view);
  image.base = view;
  image.strings = CStringFinder(view);
  if (image.format != kFormatPe) return false;
  image.ntHeaders = ImageNtHeader(view);
  if (image.ntHeaders) image.sections = SectionMap(view, *image.ntHeaders);
  return true;
}

std::optional<PeFile> MapPeFile(const std::string& path, std::optional<MapFailure>* failure) {
  auto mapping = MappedFile::Map(path);
  if (const auto* failed = std::get_if<MapFailure>(&mapping)) {
    if (failure != nullptr) *failure = *failed;
    return std::nullopt;
  }
  PeFile pe{std::move(std::get<MappedFile>(mapping)), {}};
  if (!IdentifyImage(pe.image, pe.file.View())) return std::nullopt;
  return pe;
}

std::optional<std::uint64_t> GetDirectoryData(const MappedImage& image, std::uint16_t index) {
  std::uint32_t size = 0;
  return ImageDirectoryEntryToData(image.base, false, index, &size);
}

}  // namespace corvane
