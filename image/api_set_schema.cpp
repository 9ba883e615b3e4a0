#include "api_set_schema.h"

#include <algorithm>
#include <cstring>

#include "ascii_case.h"
#include "image_hlp.h"
#include "pe_layout.h"
#include "reading_budget.h"

namespace corvane {
namespace {

constexpr std::uint32_t kSchemaVersion = 6;
constexpr std::uint64_t kNamespaceVersion = 0;
constexpr std::uint64_t kNamespaceCount = 12;
constexpr std::uint64_t kNamespaceEntryOffset = 16;

constexpr std::uint64_t kEntrySize = 24;
constexpr std::uint64_t kEntryNameOffset = 4;
constexpr std::uint64_t kEntryNameLength = 8;
constexpr std::uint64_t kEntryValueOffset = 16;
constexpr std::uint64_t kEntryValueCount = 20;

constexpr std::uint64_t kValueSize = 20;
constexpr std::uint64_t kValueNameOffset = 4;
constexpr std::uint64_t kValueNameLength = 8;
constexpr std::uint64_t kValueValueOffset = 12;
constexpr std::uint64_t kValueValueLength = 16;

constexpr char kSectionName[pe::kSectionNameSize] = {'.', 'a', 'p', 'i', 's', 'e', 't', '\0'};

// The part of a contract name that picks its entry.
std::string_view UpToLastHyphen(std::string_view name) { return name.substr(0, name.rfind('-')); }

// Reads the records and names of one section. A schema holds each record
// once and shares few names, so a section whose records point at the same
// bytes over and over is read only up to about twice its size: a small
// file cannot make a large schema.
class SchemaReader {
 public:
  explicit SchemaReader(ByteView section)
      : section_(section), budget_(section.Size(), kTextBeyondSchemaSize) {}

  bool Spent() const { return budget_.Cut(); }

  // The 32-bit field at `offset` of the record at `record`, which the
  // caller checked lies in the section.
  std::uint32_t Field(std::uint64_t record, std::uint64_t offset) const {
    return section_.Read<std::uint32_t>(record + offset).value_or(0);
  }

  // Whether a record of `size` bytes lies at `offset`; charged when it does.
  bool Record(std::uint64_t offset, std::uint64_t size) {
    return section_.Contains(offset, size) && budget_.SpendBytes(size);
  }

  // The UTF-16 name of `length` bytes at `offset`. Names in a schema are
  // ASCII: one that leaves the section, has an odd length or holds another
  // character reads as empty.
  std::string Name(std::uint32_t offset, std::uint32_t length) {
    if (length % 2 != 0 || !section_.Contains(offset, length) || !budget_.SpendBytes(length)) return {};
    std::string name;
    name.reserve(length / 2);
    for (std::uint64_t at = offset; at < std::uint64_t{offset} + length; at += 2) {
      const std::uint16_t unit = *section_.Read<std::uint16_t>(at);
      if (unit == 0 || unit > 0x7F) return {};
      name.push_back(static_cast<char>(unit));
    }
    return name;
  }

 private:
  ByteView section_;
  ReadingBudget budget_;
};

}  // namespace

bool IsApiSetName(std::string_view name) {
  const std::string prefix = FoldedAscii(name.substr(0, 4));
  return prefix == "api-" || prefix == "ext-";
}

std::optional<ApiSetSchema> ApiSetSchema::FromSection(ByteView section) {
  if (section.Read<std::uint32_t>(kNamespaceVersion) != kSchemaVersion) return std::nullopt;
  SchemaReader reader(section);
  const std::uint32_t count = reader.Field(0, kNamespaceCount);
  const std::uint64_t entries = reader.Field(0, kNamespaceEntryOffset);
  ApiSetSchema schema;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t entry = entries + i * kEntrySize;
    if (!reader.Record(entry, kEntrySize)) break;
    Entry read{FoldedAscii(UpToLastHyphen(
                   reader.Name(reader.Field(entry, kEntryNameOffset), reader.Field(entry, kEntryNameLength)))),
               {}};
    const std::uint64_t values = reader.Field(entry, kEntryValueOffset);
    const std::uint32_t valueCount = reader.Field(entry, kEntryValueCount);
    for (std::uint64_t j = 0; j < valueCount; ++j) {
      const std::uint64_t value = values + j * kValueSize;
      if (!reader.Record(value, kValueSize)) break;
      std::string alias = reader.Name(reader.Field(value, kValueNameOffset), reader.Field(value, kValueNameLength));
      std::string host = reader.Name(reader.Field(value, kValueValueOffset), reader.Field(value, kValueValueLength));
      read.values.push_back({FoldedAscii(alias), std::move(host)});
    }
    if (reader.Spent()) break;
    if (!read.key.empty()) schema.entries_.push_back(std::move(read));
  }
  std::stable_sort(schema.entries_.begin(), schema.entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });
  return schema;
}

std::optional<ApiSetSchema> ApiSetSchema::FromImage(ByteView file) {
  const auto ntHeaders = ImageNtHeader(file);
  if (!ntHeaders) return std::nullopt;
  const auto count = file.Read<std::uint16_t>(std::uint64_t{*ntHeaders} + pe::kNumberOfSections);
  const auto optionalSize = file.Read<std::uint16_t>(std::uint64_t{*ntHeaders} + pe::kSizeOfOptionalHeader);
  if (!count || !optionalSize) return std::nullopt;
  const std::uint64_t table = std::uint64_t{*ntHeaders} + pe::kOptionalHeaderOffset + *optionalSize;
  for (std::uint64_t i = 0; i < *count; ++i) {
    const auto header = file.Sub(table + i * pe::kSectionHeaderSize, pe::kSectionHeaderSize);
    if (!header) break;
    if (std::memcmp(header->Data() + pe::kSectionName, kSectionName, sizeof kSectionName) != 0) continue;
    const std::uint64_t start = *header->Read<std::uint32_t>(pe::kSectionPointerToRawData);
    const std::uint64_t size = *header->Read<std::uint32_t>(pe::kSectionSizeOfRawData);
    // Raw data cut short by the end of the file is read as far as it goes.
    if (start >= file.Size()) return std::nullopt;
    return FromSection(*file.Sub(start, std::min<std::uint64_t>(size, file.Size() - start)));
  }
  return std::nullopt;
}

std::string_view ApiSetSchema::HostOf(std::string_view name, std::string_view importer) const {
  const std::string key = FoldedAscii(UpToLastHyphen(name));
  const auto entry = std::lower_bound(entries_.begin(), entries_.end(), key,
                                      [](const Entry& e, const std::string& k) { return e.key < k; });
  if (entry == entries_.end() || entry->key != key || entry->values.empty()) return {};
  const std::string alias = FoldedAscii(importer);
  for (const Value& value : entry->values) {
    if (!value.alias.empty() && value.alias == alias) return value.host;
  }
  return entry->values.front().host;
}

}  // namespace corvane
