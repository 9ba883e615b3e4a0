#include "version_resource.h"

#include <algorithm>

#include "image_hlp.h"
#include "pe_layout.h"

namespace corvane {
namespace {

struct ResourceEntry {
  std::uint32_t name;
  std::uint32_t offsetToData;  // high bit set: a subdirectory
};

std::optional<ResourceEntry> ReadEntry(ByteView view, std::uint64_t entry) {
  const auto name = view.Read<std::uint32_t>(entry);
  const auto offset = view.Read<std::uint32_t>(entry + 4);
  if (!name || !offset) return std::nullopt;
  return ResourceEntry{*name, *offset};
}

// The subdirectory entry whose ID is `id`, searched among the directory's ID
// entries (they follow the named ones).
std::optional<ResourceEntry> FindIdEntry(ByteView view, std::uint64_t directory, std::uint32_t id) {
  const auto named = view.Read<std::uint16_t>(directory + pe::kResourceNumberOfNamedEntries);
  const auto ids = view.Read<std::uint16_t>(directory + pe::kResourceNumberOfIdEntries);
  if (!named || !ids) return std::nullopt;
  const std::uint64_t first = directory + pe::kResourceDirectorySize + std::uint64_t{*named} * pe::kResourceEntrySize;
  for (std::uint64_t i = 0; i < *ids; ++i) {
    const auto entry = ReadEntry(view, first + i * pe::kResourceEntrySize);
    if (!entry) return std::nullopt;
    if (entry->name == id) return entry;
  }
  return std::nullopt;
}

std::optional<ResourceEntry> FirstEntry(ByteView view, std::uint64_t directory) {
  const auto named = view.Read<std::uint16_t>(directory + pe::kResourceNumberOfNamedEntries);
  const auto ids = view.Read<std::uint16_t>(directory + pe::kResourceNumberOfIdEntries);
  if (!named || !ids || *named + *ids == 0) return std::nullopt;
  return ReadEntry(view, directory + pe::kResourceDirectorySize);
}

bool IsSubdirectory(const ResourceEntry& entry) { return (entry.offsetToData & pe::kResourceSubdirectoryFlag) != 0; }
std::uint64_t Target(std::uint64_t root, const ResourceEntry& entry) {
  return root + (entry.offsetToData & ~pe::kResourceSubdirectoryFlag);
}

// The version resource's bytes, cut to what the view holds.
std::optional<ByteView> FindVersionResource(ByteView view) {
  const auto ntHeaders = ImageNtHeader(view);
  if (!ntHeaders) return std::nullopt;
  const auto root = ImageDirectoryEntryToData(view, false, pe::kDirectoryResource, nullptr);
  if (!root) return std::nullopt;

  const auto type = FindIdEntry(view, *root, pe::kResourceTypeVersion);
  if (!type || !IsSubdirectory(*type)) return std::nullopt;
  const auto name = FirstEntry(view, Target(*root, *type));
  if (!name || !IsSubdirectory(*name)) return std::nullopt;
  const auto language = FirstEntry(view, Target(*root, *name));
  if (!language || IsSubdirectory(*language)) return std::nullopt;

  const std::uint64_t dataEntry = Target(*root, *language);
  const auto dataRva = view.Read<std::uint32_t>(dataEntry);
  const auto dataSize = view.Read<std::uint32_t>(dataEntry + 4);
  if (!dataRva || !dataSize) return std::nullopt;
  const auto data = ImageRvaToVa(view, *ntHeaders, *dataRva);
  if (!data || *data >= view.Size()) return std::nullopt;
  return view.Sub(*data, std::min<std::uint64_t>(*dataSize, view.Size() - *data));
}

}  // namespace

std::optional<VS_FIXEDFILEINFO> FindFixedFileInfo(ByteView view) {
  const auto resource = FindVersionResource(view);
  if (!resource) return std::nullopt;
  // Root block: wLength, wValueLength, wType, the UTF-16 key with its NUL,
  // padding to a 32-bit boundary, then the value.
  const auto length = resource->Read<std::uint16_t>(0);
  const auto valueLength = resource->Read<std::uint16_t>(2);
  if (!length || !valueLength || *valueLength < kFixedFileInfoSize) return std::nullopt;
  const auto block = resource->Sub(0, std::min<std::uint64_t>(*length, resource->Size()));
  if (!block) return std::nullopt;

  constexpr std::uint64_t kKeyOffset = 6;
  std::uint64_t keyEnd = kKeyOffset;
  for (;; keyEnd += 2) {
    const auto unit = block->Read<std::uint16_t>(keyEnd);
    if (!unit) return std::nullopt;
    if (*unit == 0) break;
  }
  const std::uint64_t value = (keyEnd + 2 + 3) & ~std::uint64_t{3};
  if (!block->Contains(value, kFixedFileInfoSize)) return std::nullopt;

  std::uint32_t fields[kFixedFileInfoSize / 4];
  for (std::uint64_t i = 0; i < std::size(fields); ++i) fields[i] = *block->Read<std::uint32_t>(value + i * 4);
  return VS_FIXEDFILEINFO{fields[0], fields[1], fields[2],  fields[3],  fields[4],  fields[5], fields[6],
                          fields[7], fields[8], fields[9], fields[10], fields[11], fields[12]};
}

}  // namespace corvane
