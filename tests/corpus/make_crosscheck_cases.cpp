// Writes one small image per way in which pefile and corvane-dump are known
// to read a file differently, each named after that difference, so that the
// cross-check's handling of every one of them is tested on a file that
// shows it and nothing else. test_crosscheck.py holds what each must give.
//
// Usage: corvane-make-crosscheck-cases OUTPUT_DIR

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pe_writer.h"
#include "temp_files.h"

namespace corvane::testing {
namespace {

// The index of the section named `name`.
std::size_t Section(const BuiltImage& image, std::string_view name) {
  const std::size_t count = image.Read<std::uint16_t>(image.fileHeader + 2);
  for (std::size_t index = 0; index < count; ++index) {
    const auto at = image.bytes.begin() + static_cast<std::ptrdiff_t>(image.SectionHeader(index));
    if (std::string_view(reinterpret_cast<const char*>(&*at), name.size()) == name && at[name.size()] == 0) {
      return index;
    }
  }
  throw std::logic_error("no section " + std::string(name));
}

std::size_t Find(const BuiltImage& image, std::string_view text) {
  const auto at = std::search(image.bytes.begin(), image.bytes.end(), text.begin(), text.end());
  if (at == image.bytes.end()) throw std::logic_error("no bytes " + std::string(text));
  return static_cast<std::size_t>(at - image.bytes.begin());
}

// A version block whose key is `key` (ASCII, written as UTF-16).
std::vector<std::uint8_t> VersionBlockWithKey(std::string_view key) {
  std::vector<std::uint8_t> block{0, 0, 52, 0, 0, 0};
  for (const char c : key) block.insert(block.end(), {static_cast<std::uint8_t>(c), 0});
  block.insert(block.end(), {0, 0});
  while (block.size() % 4 != 0) block.push_back(0);
  const std::uint32_t fixed[13] = {0xFEEF04BD, 0x10000, 0x50006, 0x70008, 0x50006, 0x70008, 0x3F, 0, 0x40004, 2, 0, 0, 0};
  for (const std::uint32_t value : fixed) {
    for (int i = 0; i < 4; ++i) block.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  block[0] = static_cast<std::uint8_t>(block.size());
  block[1] = static_cast<std::uint8_t>(block.size() >> 8);
  return block;
}

using CaseMaker = std::function<BuiltImage()>;

std::vector<std::pair<std::string, CaseMaker>> Cases() {
  const Layout pe32 = Layout::Pe32;
  return {
      {"plain", [=] {
         return PeWriter(pe32)
             .Export("alpha", 1)
             .Export("beta", 0)
             .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(17)})
             .Import("USER32.dll", {ByName("MessageBoxA")})
             .Version(FixedFileInfo{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004, .fileFlags = 0x22})
             .Build();
       }},
      {"plain-pe32plus", [] {
         return PeWriter(Layout::Pe32Plus)
             .ImageBase(0x180000000)
             .Export("alpha", 0)
             .Import("KERNEL32.dll", {ByName("Sleep"), ByOrdinal(65535)})
             .Build();
       }},
      {"ordinal-named", [=] {
         return PeWriter(pe32).Import("WS2_32.dll", {ByOrdinal(23)}).Import("OLEAUT32.dll", {ByOrdinal(2)}).Build();
       }},
      {"rounded-offsets", [=] {
         // The section of the imports and the version starts one byte past
         // a 512 boundary: pefile rounds the pointer down and reads every
         // table one byte early.
         BuiltImage image = PeWriter(pe32)
                                .Import("KERNEL32.dll", {ByName("Sleep")})
                                .Version(FixedFileInfo{.fileVersionMS = 0x10002})
                                .ResourcesIn(".idata")
                                .Build();
         const std::size_t header = image.SectionHeader(Section(image, ".idata"));
         const std::uint32_t pointer = image.Read<std::uint32_t>(header + 20);
         image.bytes.insert(image.bytes.begin() + pointer, 0xEE);
         image.bytes.push_back(0);
         image.Patch32(header + 20, pointer + 1);
         return image;
       }},
      {"many-exports", [=] {
         PeWriter writer(pe32);
         for (std::uint16_t i = 0; i < 0x2001; ++i) writer.Export("export" + std::to_string(i), i);
         return writer.Build();
       }},
      {"empty-import-name", [=] {
         return PeWriter(pe32).Import("a.dll", {ByName("first"), ByName(""), ByName("after")}).Build();
       }},
      {"name-zero-descriptor", [=] {
         BuiltImage image = PeWriter(pe32)
                                .Import("a.dll", {ByName("f")})
                                .Import("b.dll", {ByName("g")})
                                .Import("c.dll", {ByName("h")})
                                .Build();
         image.Patch32(image.imports[1].descriptor + 12, 0);
         return image;
       }},
      {"library-without-functions", [=] {
         return PeWriter(pe32).Import("a.dll", {ByName("f")}).Import("empty.dll", {}).Build();
       }},
      {"empty-library-name", [=] { return PeWriter(pe32).Import("a.dll", {ByName("f")}).Import("", {ByName("g")}).Build(); }},
      {"unreadable-import-name", [=] {
         // One name lies in no section: the viewer skips that entry, pefile
         // rejects the whole table.
         return PeWriter(pe32).Import("a.dll", {ByName("kept"), RawThunk(0x7FFFFFF0), ByName("also")}).Build();
       }},
      {"ordinal-zero", [=] { return PeWriter(pe32).Import("a.dll", {ByOrdinal(0), ByName("f")}).Build(); }},
      {"rejected-names", [=] {
         return PeWriter(pe32).Export("fine", 0).Export("has space", 1).Import("a.dll", {ByName("bad name")}).Build();
       }},
      {"export-address-zero", [=] {
         BuiltImage image = PeWriter(pe32).Export("alpha", 0).Export("beta", 1).Build();
         image.Patch32(*image.exportAddressTable, 0);
         return image;
       }},
      {"name-in-no-section", [=] {
         BuiltImage image = PeWriter(pe32).Export("alpha", 0).Export("beta", 1).Build();
         image.Patch32(*image.exportNamePointers + 4, 0x7FFFFFF0);
         return image;
       }},
      {"string-past-section", [=] {
         // The section's raw size ends inside the library name, the last
         // string of the section; the file goes on to the name's NUL.
         BuiltImage image = PeWriter(pe32).Import("LongLastLibraryName.dll", {ByName("f")}).Build();
         const std::size_t header = image.SectionHeader(Section(image, ".idata"));
         const std::size_t name = Find(image, "LongLastLibraryName.dll");
         image.Patch32(header + 16, static_cast<std::uint32_t>(name + 4 - image.Read<std::uint32_t>(header + 20)));
         image.Patch32(header + 8, image.Read<std::uint32_t>(header + 16));
         return image;
       }},
      {"section-lookup", [=] {
         // The code section's raw size reaches over the import section's
         // addresses: the viewer takes the first section in table order,
         // whose bytes there lie past the end of the file; pefile clips the
         // code section at the next one.
         BuiltImage image = PeWriter(pe32).Import("a.dll", {ByName("f")}).Build();
         image.Patch32(image.SectionHeader(0) + 16, 0x10000);
         return image;
       }},
      {"version-elsewhere", [=] {
         // The code section starts 0x100 below the resources and its raw
         // data reaches over their first addresses: the viewer reads the
         // resource root from the code section's zeros and finds no
         // version; pefile clips the code section and reads the resources.
         BuiltImage image = PeWriter(pe32).Version(FixedFileInfo{.fileVersionMS = 0x10002}).Build();
         const std::uint32_t resources = image.Read<std::uint32_t>(image.DataDirectory(2));
         image.Patch32(image.SectionHeader(0) + 12, resources - 0x100);
         image.Patch32(image.SectionHeader(0) + 16, 0x200);
         return image;
       }},
      {"version-too-short", [=] {
         return PeWriter(pe32).Version(FixedFileInfo{.fileVersionMS = 0x10002}).VersionValueLength(51).Build();
       }},
      {"version-other-key", [=] { return PeWriter(pe32).VersionRaw(VersionBlockWithKey("VS_VERSION_INFX")).Build(); }},
      {"odd-magic", [=] {
         BuiltImage image = PeWriter(pe32).Export("alpha", 0).Import("a.dll", {ByName("f")}).Build();
         image.Patch16(image.optionalHeader, 0x10C);
         return image;
       }},
      {"kb-wrap", [=] { return PeWriter(pe32).SizeOfCode(0xFFFFFF00).SizeOfInitializedData(0xFFFFFE00).Build(); }},
      {"not-utf8", [=] {
         return PeWriter(pe32).Export("caf\xE9", 0).Import("a.dll", {ByName("na\xEFve")}).Build();
       }},
  };
}

}  // namespace
}  // namespace corvane::testing

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: corvane-make-crosscheck-cases OUTPUT_DIR\n", stderr);
    return 2;
  }
  try {
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    for (const auto& [name, make] : corvane::testing::Cases()) {
      corvane::testing::WriteFile(directory / (name + ".dll"), make().bytes);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvane-make-crosscheck-cases: %s\n", error.what());
    return 1;
  }
  return 0;
}
