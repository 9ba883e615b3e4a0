// libFuzzer target over the API set schema reader: each input is the bytes
// of an .apiset section, and is also tried as a whole apisetschema.dll. An
// input fails when it crashes the reader, reads outside its bytes, or
// breaks a rule every schema keeps: each entry has a record of its own in
// the section, and a host is ASCII text without NUL.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "api_set_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kEntryRecordSize = 24;
  const corvane::ByteView input(reinterpret_cast<const std::byte*>(data), size);
  for (const auto& schema : {corvane::ApiSetSchema::FromSection(input), corvane::ApiSetSchema::FromImage(input)}) {
    if (!schema) continue;
    if (schema->EntryCount() > size / kEntryRecordSize) std::abort();
    for (const char c : schema->HostOf("api-ms-win-crt-runtime-l1-1-0.dll", "KERNEL32.dll")) {
      if (c == '\0' || static_cast<unsigned char>(c) > 0x7F) std::abort();
    }
  }
  return 0;
}
