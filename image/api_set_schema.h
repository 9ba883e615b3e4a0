#pragma once

// The API set schema: the table through which the loader turns a contract
// name such as api-ms-win-crt-runtime-l1-1-0.dll into the library that
// implements it (its host), here ucrtbase.dll. It is the .apiset section of
// apisetschema.dll, in the layout of schema version 6, which current
// systems and Wine write:
//
//   namespace: Version, Size, Flags, Count, EntryOffset, HashOffset, HashFactor
//   entry:     Flags, NameOffset, NameLength, HashedLength, ValueOffset, ValueCount
//   value:     Flags, NameOffset, NameLength, ValueOffset, ValueLength
//
// all 32-bit, offsets from the section's start, lengths in bytes of UTF-16
// text. An entry's values name its host: the first is the default, each
// further one the host for the importing module its alias (NameOffset)
// names. The schema file is read like any other file: every offset is
// checked, and what cannot be read is left out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_view.h"

namespace corvane {

// True for a name the loader maps through the schema: one that starts with
// "api-" or "ext-", in any case.
bool IsApiSetName(std::string_view name);

class ApiSetSchema {
 public:
  // The schema in the bytes of an .apiset section; nothing unless they hold
  // a version 6 namespace.
  static std::optional<ApiSetSchema> FromSection(ByteView section);
  // The schema of the PE image in `file`, from its section named .apiset.
  static std::optional<ApiSetSchema> FromImage(ByteView file);

  // The host of the library `name` for `importer` (the importing module's
  // file name): `name` up to its last hyphen names the entry, so the
  // version after it does not matter, and case does not matter anywhere.
  // The value whose alias is `importer` wins, else the first. Empty when
  // no entry matches, the entry has no value or its host is empty.
  std::string_view HostOf(std::string_view name, std::string_view importer) const;

  std::size_t EntryCount() const { return entries_.size(); }

 private:
  struct Value {
    std::string alias;  // ASCII lower case
    std::string host;
  };
  struct Entry {
    std::string key;  // the name up to its last hyphen, ASCII lower case
    std::vector<Value> values;
  };
  // Sorted by key, entries of equal keys in schema order: the first wins.
  std::vector<Entry> entries_;
};

}  // namespace corvane
