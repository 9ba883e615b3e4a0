// The writer is only as good as its agreement with an independent PE parser:
// every reader test trusts that the bytes it built are the image it meant.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "pe_writer.h"
#include "temp_files.h"

namespace corvane::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Prints what pefile understood, one fact a line, with file offsets where
// pefile knows them so that BuiltImage's offsets are checked too.
constexpr const char* kPefileScript = R"py(
import sys, pefile
pe = pefile.PE(sys.argv[1])
oh = pe.OPTIONAL_HEADER
print("image_base", oh.ImageBase)
print("sizes", oh.SizeOfCode, oh.SizeOfInitializedData, oh.SizeOfUninitializedData)
print("sections", len(pe.sections))
if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
    e = pe.DIRECTORY_ENTRY_EXPORT
    print("exports", e.name.decode(), "at", e.struct.get_file_offset())
    for s in e.symbols:
        if s.name is not None:
            print("  export", s.name.decode(), s.ordinal - e.struct.Base)
for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    tables = "both" if d.struct.OriginalFirstThunk else "iat"
    print("import", d.dll.decode(), tables, "at", d.struct.get_file_offset())
    for i in d.imports:
        if i.import_by_ordinal:
            print("  ordinal", i.ordinal)
        else:
            print("  name", i.name.decode(), i.hint)
if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
    r = pe.DIRECTORY_ENTRY_RESOURCE
    print("resources", *[t.id for t in r.entries], "at", r.struct.get_file_offset())
if hasattr(pe, "VS_FIXEDFILEINFO"):
    v = pe.VS_FIXEDFILEINFO[0]
    print("version", v.FileVersionMS, v.FileVersionLS, "at", pe.VS_VERSIONINFO[0].get_file_offset())
for w in pe.get_warnings():
    # Small synthetic images are mostly zeros, and pefile insists on a
    # StringFileInfo child that the version block legitimately omits.
    if not w.startswith("Byte 0x00 makes up") and "StringFileInfo" not in w:
        print("warning", w)
)py";

std::string RunCommand(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) throw std::runtime_error("popen failed: " + command);
  std::string output;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) output.append(buffer, n);
  return output;
}

class PefileOracle : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    if (std::system((std::string(kPython) + " -c 'import pefile' >/dev/null 2>&1").c_str()) != 0) {
      GTEST_SKIP() << kPython << " cannot import pefile";
    }
  }

  std::string Parse(const BuiltImage& image) {
    const std::string script = dir_.Path() + "/dump.py";
    std::ofstream(script) << kPefileScript;
    const std::string path = dir_.Write("image.bin", image.bytes);
    return RunCommand(std::string(kPython) + " " + script + " " + path + " 2>&1");
  }

  TempDir dir_;
};

std::string At(std::optional<std::size_t> offset) {
  return offset ? " at " + std::to_string(*offset) + "\n" : " at <none>\n";
}

TEST_P(PefileOracle, SeesEveryDirectoryAsWritten) {
  const Layout layout = GetParam();
  const bool wide = layout == Layout::Pe32Plus;
  const std::uint64_t base = wide ? 0x180000000 : 0x10000000;
  const BuiltImage image =
      PeWriter(layout)
          .ImageBase(base)
          .SizeOfCode(0x1234)
          .SizeOfInitializedData(0x5678)
          .SizeOfUninitializedData(0x9A)
          .ExportDllName("alpha.dll")
          .ExportBase(7)
          .Export("Zeta", 3)  // deliberately unsorted, with a gap and an unnamed tail
          .Export("Alpha", 0)
          .UnnamedExports(2)
          .Import("KERNEL32.dll", {ByName("ExitProcess", 0x12), ByOrdinal(17)})
          .Import("USER32.dll", {ByName("MessageBoxA")}, ThunkTables::FirstThunkOnly)
          .Import("KERNEL32.dll", {ByName("Sleep", 3)})
          .Resource(3, std::vector<std::uint8_t>(40, 0xAA))
          .Version(FixedFileInfo{.fileVersionMS = 0x10002, .fileVersionLS = 0x30004})
          .EmptySection(".bss")
          .Build();

  ASSERT_EQ(image.imports.size(), 3u);
  const std::string expected =
      "image_base " + std::to_string(base) + "\n" + "sizes 4660 22136 154\n" + "sections 5\n" +
      "exports alpha.dll" + At(image.exportDirectory) + "  export Zeta 3\n" + "  export Alpha 0\n" +
      "import KERNEL32.dll both" + At(image.imports[0].descriptor) + "  name ExitProcess 18\n" +
      "  ordinal 17\n" + "import USER32.dll iat" + At(image.imports[1].descriptor) +
      "  name MessageBoxA 0\n" + "import KERNEL32.dll both" + At(image.imports[2].descriptor) +
      "  name Sleep 3\n" + "resources 3 16" + At(image.resourceRoot) + "version 65538 196612" +
      At(image.versionBlock);
  EXPECT_EQ(Parse(image), expected);
}

TEST_P(PefileOracle, MinimalImageHasOnlyItsCodeSection) {
  const BuiltImage image = MinimalPe(GetParam());
  const std::string base = GetParam() == Layout::Pe32 ? "4194304" : "5368709120";
  EXPECT_EQ(Parse(image), "image_base " + base + "\nsizes 512 0 0\nsections 1\n");
}

TEST_P(PefileOracle, DirectoriesPastNumberOfRvaAndSizesAreNotWritten) {
  const BuiltImage image = PeWriter(GetParam())
                               .NumberOfRvaAndSizes(2)
                               .Import("a.dll", {ByOrdinal(1)})
                               .Version(FixedFileInfo{})
                               .Build();
  const std::string base = GetParam() == Layout::Pe32 ? "4194304" : "5368709120";
  EXPECT_EQ(Parse(image), "image_base " + base + "\nsizes 512 1024 0\nsections 3\n" +
                              "import a.dll both" + At(image.imports[0].descriptor) +
                              "  ordinal 1\n");
}

INSTANTIATE_TEST_SUITE_P(Layouts, PefileOracle, ::testing::Values(Layout::Pe32, Layout::Pe32Plus),
                         [](const auto& param) { return param.param == Layout::Pe32 ? "Pe32" : "Pe32Plus"; });

// Offsets pefile does not report, read back from the bytes themselves.
TEST(PeWriterOffsets, PointAtTheFieldsTheyName) {
  for (const Layout layout : {Layout::Pe32, Layout::Pe32Plus}) {
    const bool wide = layout == Layout::Pe32Plus;
    const BuiltImage image = PeWriter(layout)
                                 .ELfanew(0x100)
                                 .ImageBase(0x20000)
                                 .Export("f", 0)
                                 .Import("a.dll", {RawThunk(0x80FF0011), ByOrdinal(2)},
                                         ThunkTables::FirstThunkOnly)
                                 .VersionValueLength(0)
                                 .VersionLength(4)
                                 .Version(FixedFileInfo{.fileVersionMS = 0xABCD})
                                 .Build();
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    EXPECT_EQ(image.Read<std::uint32_t>(image.eLfanewField), 0x100u);
    EXPECT_EQ(image.Read<std::uint32_t>(image.ntHeaders), 0x4550u);
    EXPECT_EQ(image.Read<std::uint16_t>(image.optionalHeader), wide ? 0x20Bu : 0x10Bu);
    EXPECT_EQ(image.Read<std::uint32_t>(image.imageBaseField), 0x20000u);
    EXPECT_EQ(image.Read<std::uint32_t>(image.numberOfRvaAndSizesField), 16u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image.bytes[image.SectionHeader(1)])), ".edata");
    // pefile confirms the directory's offset; each table must sit as far from
    // it in the file as its RVA says it does in memory.
    const std::uint32_t directoryRva = image.Read<std::uint32_t>(image.DataDirectory(0));
    const auto fileDistance = [&](std::size_t rvaField) -> std::size_t {
      return image.Read<std::uint32_t>(*image.exportDirectory + rvaField) - directoryRva;
    };
    EXPECT_EQ(*image.exportAddressTable - *image.exportDirectory, fileDistance(28));
    EXPECT_EQ(*image.exportNamePointers - *image.exportDirectory, fileDistance(32));
    EXPECT_EQ(*image.exportNameOrdinals - *image.exportDirectory, fileDistance(36));

    ASSERT_EQ(image.imports.size(), 1u);
    EXPECT_FALSE(image.imports[0].originalFirstThunk);
    const auto thunk = [&](std::size_t index) -> std::uint64_t {
      const std::size_t at = image.imports[0].firstThunk + (wide ? 8 : 4) * index;
      return wide ? image.Read<std::uint64_t>(at) : image.Read<std::uint32_t>(at);
    };
    EXPECT_EQ(thunk(0), 0x80FF0011u);
    EXPECT_EQ(thunk(1), (wide ? 1ull << 63 : 1ull << 31) | 2);
    EXPECT_EQ(thunk(2), 0u);

    EXPECT_EQ(image.Read<std::uint32_t>(*image.versionDataEntry + 4), 92u);  // the true size
    EXPECT_EQ(image.Read<std::uint16_t>(*image.versionBlock), 4u);
    EXPECT_EQ(image.Read<std::uint16_t>(*image.versionBlock + 2), 0u);
    EXPECT_EQ(image.Read<std::uint32_t>(*image.versionBlock + 40), 0xFEEF04BDu);
    EXPECT_EQ(image.Read<std::uint32_t>(*image.versionBlock + 48), 0xABCDu);
  }
}

TEST(PeWriterErrors, RejectValuesTheLayoutCannotHold) {
  EXPECT_THROW(PeWriter(Layout::Pe32).Import("a.dll", {RawThunk(1ull << 32)}).Build(), std::invalid_argument);
  EXPECT_THROW(PeWriter(Layout::Pe32).ImageBase(1ull << 32).Build(), std::invalid_argument);
  EXPECT_THROW(PeWriter(Layout::Pe32).EmptySection(".too_long"), std::invalid_argument);
  EXPECT_THROW(PeWriter(Layout::Pe32).ELfanew(0x3C), std::invalid_argument);
}

TEST(BuiltImagePatch, WritesLittleEndianAndRefusesBytesOutsideTheImage) {
  BuiltImage image = MinimalPe(Layout::Pe32);
  const std::size_t size = image.bytes.size();
  image.Patch32(size - 4, 0x11223344);
  EXPECT_EQ(image.bytes[size - 4], 0x44);
  EXPECT_EQ(image.bytes[size - 1], 0x11);
  image.Patch<std::uint8_t>(size - 1, 0x7F);
  EXPECT_EQ(image.Read<std::uint32_t>(size - 4), 0x7F223344u);

  EXPECT_THROW(image.Patch32(size - 3, 0), std::out_of_range);
  EXPECT_THROW(image.Patch16(size, 0), std::out_of_range);
  EXPECT_THROW(image.Patch64(std::numeric_limits<std::size_t>::max() - 2, 0), std::out_of_range);
  EXPECT_THROW((void)image.Read<std::uint16_t>(size - 1), std::out_of_range);
  EXPECT_EQ(image.bytes.size(), size);
}

// The benchmarks build images this large.
TEST(PeWriterScale, BuildsLargeTables) {
  PeWriter writer(Layout::Pe32Plus);
  for (std::uint32_t i = 0; i < 100'000; ++i) {
    writer.Export("Function" + std::to_string(i), static_cast<std::uint16_t>(i));
  }
  for (int d = 0; d < 200; ++d) {
    std::vector<ImportEntry> entries;
    for (int f = 0; f < 50; ++f) entries.push_back(ByName("Import" + std::to_string(f)));
    writer.Import("lib" + std::to_string(d) + ".dll", std::move(entries));
  }
  const BuiltImage image = writer.Build();
  EXPECT_EQ(image.Read<std::uint32_t>(*image.exportDirectory + 20), 65536u);
  EXPECT_EQ(image.Read<std::uint32_t>(*image.exportDirectory + 24), 100'000u);
  ASSERT_EQ(image.imports.size(), 200u);
  EXPECT_EQ(image.Read<std::uint32_t>(*image.importDescriptors + 20 * 200 + 12), 0u);  // terminator
}

TEST(TempDir, WritesFilesAndTakesItsTreeWithIt) {
  std::string root;
  {
    const TempDir dir;
    root = dir.Path();
    const std::string path = dir.Write("sub/file.bin", std::vector<std::uint8_t>{1, 2, 3});
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("\1\2\3"));
  }
  EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
}  // namespace corvane::testing
