#pragma once

// What the tests of the dependency check share: an API set schema section
// written entry by entry, a written family of libraries whose imports each
// fail in their own way, and an environment variable set for one scope.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <cstdlib>

#include "temp_files.h"

namespace corvane::testing {

// The schema's header fields and records, layout version 6.
inline constexpr std::size_t kSchemaCount = 12;
inline constexpr std::size_t kSchemaEntryOffset = 16;
inline constexpr std::size_t kSchemaEntries = 28;  // the first entry record, right after the header
inline constexpr std::size_t kSchemaEntrySize = 24;
inline constexpr std::size_t kSchemaValueSize = 20;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t value);

// An .apiset section: each entry is its name, then pairs of an alias and a host.
std::vector<std::uint8_t> SchemaSection(const std::vector<std::vector<std::string>>& entries);

// Writes, all x86-64: system/apisetschema.dll and system/host.dll, the host
// of api-ms-win-test-l1-1-0; app/app.exe, which imports from a.dll (version
// 2.3.4.5; an unnamed export, a name and an ordinal it lacks), that API set,
// fwd.dll (forwarders to b.dll, to itself, to a missing export, to gone.dll
// and to a.dll by ordinal), and delay-loads late.dll (missing) and b.dll
// (which needs missing.dll); app/cyc.dll and app/cyb.dll, which import from
// each other; app/late-only.exe; other/ships.exe, whose shipped.dll is in
// libs/.
void WriteModuleFamily(const TempDir& dir);

// Sets an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnvironment() { Set(old_); }

 private:
  void Set(const std::optional<std::string>& value) { value ? ::setenv(name_, value->c_str(), 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace corvane::testing
