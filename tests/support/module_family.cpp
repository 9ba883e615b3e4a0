#include "module_family.h"

#include "pe_writer.h"

namespace corvane::testing {

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> SchemaSection(const std::vector<std::vector<std::string>>& entries) {
  std::size_t value = kSchemaEntries + kSchemaEntrySize * entries.size();
  std::vector<std::uint8_t> out(value);
  for (const auto& entry : entries) out.resize(out.size() + kSchemaValueSize * (entry.size() / 2));
  const auto name = [&out](std::size_t offsetField, const std::string& text) {
    Put32(out, offsetField, out.size());
    Put32(out, offsetField + 4, 2 * text.size());
    for (const char c : text) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
  };
  Put32(out, 0, 6);
  Put32(out, kSchemaCount, entries.size());
  Put32(out, kSchemaEntryOffset, kSchemaEntries);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t entry = kSchemaEntries + kSchemaEntrySize * i;
    name(entry + 4, entries[i][0]);
    Put32(out, entry + 16, value);
    Put32(out, entry + 20, entries[i].size() / 2);
    for (std::size_t j = 1; j + 1 < entries[i].size(); j += 2, value += kSchemaValueSize) {
      name(value + 4, entries[i][j]);
      name(value + 12, entries[i][j + 1]);
    }
  }
  return out;
}

void WriteModuleFamily(const TempDir& dir) {
  const auto write = [&dir](const std::string& name, const BuiltImage& image) { dir.Write(name, image.bytes); };
  const auto x64 = [] { return PeWriter(Layout::Pe32Plus); };
  write("system/apisetschema.dll",
        x64().DataSection(".apiset", SchemaSection({{"api-ms-win-test-l1-1-0", "", "host.dll"}})).Build());
  write("system/host.dll", x64().Export("H", 0).Build());
  write("app/app.exe", x64().Import("a.dll", {ByName("A1"), ByOrdinal(6), ByName("Nope"), ByOrdinal(7)})
                           .Import("api-ms-win-test-l1-1-0.dll", {ByName("H")})
                           .Import("fwd.dll", {ByName("F1"), ByName("F2"), ByName("F3"), ByName("F4"), ByName("F5")})
                           .DelayImport("late.dll", {ByName("X")})
                           .DelayImport("b.dll", {ByName("NotInB")})
                           .Build());
  // Ordinal 5 has a name, 6 none; 7 is past the table.
  FixedFileInfo version;
  version.fileVersionMS = 0x00020003;
  version.fileVersionLS = 0x00040005;
  write("app/a.dll",
        x64().ExportBase(5).Version(version).Export("A1", 0).UnnamedExports(1).Import("b.dll", {ByName("B")}).Build());
  write("app/b.dll", x64().Export("B", 0).Import("missing.dll", {ByName("M")}).Build());
  write("app/fwd.dll",
        x64().Forward("F1", 0, "b.B").Forward("F2", 1, "fwd.F2").Forward("F3", 2, "b.Gone").Forward("F4", 3, "gone.F")
            .Forward("F5", 4, "a.#6").Build());
  // A library that what it needs imports from again.
  write("app/cyc.dll", x64().Export("C", 0).Import("cyb.dll", {ByName("B")}).Build());
  write("app/cyb.dll", x64().Export("B", 0).Import("cyc.dll", {ByName("C"), ByName("Gone")}).Build());
  write("app/late-only.exe", x64().DelayImport("late.dll", {ByName("X")}).Build());
  write("other/ships.exe", x64().Import("shipped.dll", {ByName("S")}).Build());
  write("libs/shipped.dll", x64().Export("S", 0).Build());
}

}  // namespace corvane::testing
