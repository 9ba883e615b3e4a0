// libFuzzer target over the API set schema reader: each input is the bytes
// of an .apiset section, and is also tried as a whole apisetschema.dll. An
// input fails when it crashes the reader, reads outside its bytes, or
// breaks a rule every schema keeps: each entry has a record of its own in
// the section, and a host is ASCII text without NUL.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "api_set_schema.h"

namespace {

constexpr std::size_t kEntryRecordSize = 24;

void Check(const std::optional<corvane::ApiSetSchema>& schema, std::size_t size) {
  if (!schema) return;
  if (schema->EntryCount() > size / kEntryRecordSize) std::abort();
  for (const std::string_view name : {"api-ms-win-crt-runtime-l1-1-0.dll", "ext-ms-win-x-l1-1-0", "API-", "api-a-b"}) {
    for (const char c : schema->HostOf(name, "KERNEL32.dll")) {
      if (c == '\0' || static_cast<unsigned char>(c) > 0x7F) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const corvane::ByteView input(reinterpret_cast<const std::byte*>(data), size);
  Check(corvane::ApiSetSchema::FromSection(input), size);
  Check(corvane::ApiSetSchema::FromImage(input), size);
  return 0;
}
