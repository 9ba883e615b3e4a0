#include "image_probe.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "image_hlp.h"
#include "mapped_image.h"
#include "pe_layout.h"
#include "walkers.h"

namespace corvane::probe {
namespace {

// Texts a walker hands out live only during its call, so each one is checked
// where it arrives: a name must be bytes of the view ending at a NUL inside
// it, an ordinal must read "%6u (ordinal)".
class TextChecks {
 public:
  TextChecks(ByteView view, std::vector<std::string>& violations) : view_(view), violations_(violations) {}

  bool IsNameOfView(std::string_view text) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(view_.Data());
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    if (at < begin || at - begin >= view_.Size()) return false;
    const std::uintptr_t offset = at - begin;
    return text.size() < view_.Size() - offset && text.data()[text.size()] == '\0';
  }

  static bool IsOrdinalText(std::string_view text) {
    constexpr std::string_view kSuffix = " (ordinal)";
    if (text.size() != 16 || !text.ends_with(kSuffix)) return false;
    const std::string_view number = text.substr(0, 6);
    const auto digits = number.find_first_not_of(' ');
    return digits != std::string_view::npos &&
           number.find_first_not_of("0123456789", digits) == std::string_view::npos;
  }

  void Name(std::string_view text, const char* what) {
    if (!IsNameOfView(text)) Violation(std::string(what) + " outside the view or without its NUL");
  }

  void Function(std::string_view text) {
    if (text.empty()) Violation("an empty function text");
    if (!IsNameOfView(text) && !IsOrdinalText(text)) {
      Violation("function text neither a name of the view nor an ordinal: " + std::string(text.substr(0, 64)));
    }
  }

  // Nothing in a view holds more entries than it has bytes; a walk that
  // reports more is looping.
  bool WithinBound(std::size_t calls, const char* walk) {
    if (calls <= view_.Size()) return true;
    Violation(std::string(walk) + " reported more entries than the view has bytes");
    return false;
  }

  void Violation(std::string text) {
    // One of a kind is enough to explain a failure.
    if (std::find(violations_.begin(), violations_.end(), text) == violations_.end()) {
      violations_.push_back(std::move(text));
    }
  }

 private:
  ByteView view_;
  std::vector<std::string>& violations_;
};

struct ExportWalk {
  TextChecks& checks;
  std::vector<std::string>& exports;
};

bool OnExport(void* userA, void*, std::string_view name, std::int32_t nameOrdinal) {
  auto& walk = *static_cast<ExportWalk*>(userA);
  walk.checks.Name(name, "an export name");
  walk.exports.push_back(std::string(name) + " (" + std::to_string(nameOrdinal) + ")");
  return walk.checks.WithinBound(walk.exports.size(), "the export walk");
}

struct TextWalk {
  TextChecks& checks;
  std::vector<std::string> texts;
};

bool OnLibrary(void* userA, void*, std::string_view name) {
  auto& walk = *static_cast<TextWalk*>(userA);
  walk.checks.Name(name, "a library name");
  walk.texts.emplace_back(name);
  return walk.checks.WithinBound(walk.texts.size(), "the library walk");
}

bool OnFunction(void* userA, void*, std::string_view text) {
  auto& walk = *static_cast<TextWalk*>(userA);
  walk.checks.Function(text);
  walk.texts.emplace_back(text);
  return walk.checks.WithinBound(walk.texts.size(), "a function walk");
}

bool CountAndStop(void* userA, void*, std::string_view) {
  ++*static_cast<int*>(userA);
  return false;
}

bool CountExportAndStop(void* userA, void*, std::string_view, std::int32_t) {
  ++*static_cast<int*>(userA);
  return false;
}

// The stats the tree shows, read exactly as it reads them.
void ReadStats(const MappedImage& image, ImageProbe& probe) {
  probe.imageBase = image.ImageBase();
  probe.code = image.OptionalHeaderField(pe::kSizeOfCode);
  probe.data =
      image.OptionalHeaderField(pe::kSizeOfInitializedData) + image.OptionalHeaderField(pe::kSizeOfUninitializedData);
}

void ReadVersion(ByteView view, ImageProbe& probe) {
  probe.version = FindFixedFileInfo(view);
  if (probe.version) probe.version->dwFileFlags &= probe.version->dwFileFlagsMask;
}

// The translation the walkers use must agree with the table walk it stands
// for, at the places that decide something: each directory and the edges of
// the first sections.
void CheckSectionMap(const MappedImage& image, TextChecks& checks) {
  std::vector<std::uint32_t> rvas;
  for (std::uint16_t index = 0; index < 3; ++index) {
    const std::uint32_t entry = image.IsPe32Plus() ? pe::kDataDirectoriesPe32Plus : pe::kDataDirectoriesPe32;
    rvas.push_back(image.OptionalHeaderField(entry + index * pe::kDataDirectorySize));
  }
  const std::uint64_t table = *image.ntHeaders + pe::kOptionalHeaderOffset +
                              image.base.Read<std::uint16_t>(*image.ntHeaders + pe::kSizeOfOptionalHeader).value_or(0);
  const std::uint16_t sections = image.base.Read<std::uint16_t>(*image.ntHeaders + pe::kNumberOfSections).value_or(0);
  for (std::uint32_t index = 0; index < std::min<std::uint32_t>(sections, 4); ++index) {
    const std::uint64_t header = table + std::uint64_t{index} * pe::kSectionHeaderSize;
    const auto address = image.base.Read<std::uint32_t>(header + pe::kSectionVirtualAddress);
    const auto rawSize = image.base.Read<std::uint32_t>(header + pe::kSectionSizeOfRawData);
    if (!address || !rawSize) break;
    const std::uint32_t end = *address + *rawSize;
    rvas.insert(rvas.end(), {*address - 1, *address, end - 1, end});
  }
  for (const std::uint32_t rva : rvas) {
    if (image.sections.RvaToOffset(rva) != ImageRvaToVa(image.base, *image.ntHeaders, rva)) {
      checks.Violation("the section map and the section table translate an RVA differently");
    }
  }
}

// A walker answers the callback's false by stopping at once.
void CheckStops(const MappedImage& image, const ImportDirectory& imports, const ImageProbe& probe,
                TextChecks& checks) {
  int calls = 0;
  EnumExports(image, CountExportAndStop, &calls, nullptr);
  if (calls != std::min<int>(1, static_cast<int>(probe.exports.size()))) {
    checks.Violation("the export walk went on after its callback said stop");
  }
  calls = 0;
  EnumImportedLibraries(imports, CountAndStop, &calls, nullptr);
  if (calls != (imports.Descriptors().empty() ? 0 : 1)) {
    checks.Violation("the library walk went on after its callback said stop");
  }
  if (probe.libraries.empty()) return;
  calls = 0;
  EnumImportedFunctions(imports, probe.libraries.front().name, CountAndStop, &calls, nullptr);
  if (calls > 1) checks.Violation("a function walk went on after its callback said stop");
}

void ReadImports(const MappedImage& image, ImageProbe& probe, TextChecks& checks) {
  const ImportDirectory imports(image);
  TextWalk libraries{checks, {}};
  probe.importsFound = EnumImportedLibraries(imports, OnLibrary, &libraries, nullptr);
  if (probe.importsFound != imports.Present()) checks.Violation("the library walk misreports its table");

  // The walk over the image builds its own index each time; comparing it on
  // the first few libraries keeps a file with thousands of them linear.
  constexpr std::size_t kCompared = 8;
  TextWalk direct{checks, {}};
  if (EnumImportedLibraries(image, OnLibrary, &direct, nullptr) != probe.importsFound ||
      direct.texts != libraries.texts) {
    checks.Violation("the two library walks disagree");
  }

  std::unordered_set<std::string> walked;
  for (const std::string& name : libraries.texts) {
    if (!walked.insert(name).second) continue;
    ImportedLibrary library{name, {}, false};
    TextWalk functions{checks, {}};
    library.functionsFound = EnumImportedFunctions(imports, name, OnFunction, &functions, nullptr);
    if (walked.size() <= kCompared) {
      TextWalk again{checks, {}};
      if (EnumImportedFunctions(image, name, OnFunction, &again, nullptr) != library.functionsFound ||
          again.texts != functions.texts) {
        checks.Violation("the two function walks disagree on " + name);
      }
    }
    std::unordered_set<std::string> shown;
    for (std::string& text : functions.texts) {
      if (shown.insert(text).second) library.functions.push_back(std::move(text));
    }
    probe.libraries.push_back(std::move(library));
  }
  CheckStops(image, imports, probe, checks);
}

}  // namespace

ImageProbe ProbeImage(ByteView view) {
  ImageProbe probe;
  TextChecks checks(view, probe.violations);
  MappedImage image;
  probe.pe = IdentifyImage(image, view);
  if (probe.pe != (GetImageFormat(view) == kFormatPe)) checks.Violation("identification and format disagree");
  if (probe.pe != ImageNtHeader(view).has_value()) checks.Violation("identification and the NT header disagree");

  ReadVersion(view, probe);
  if (probe.pe) {
    ReadStats(image, probe);
    CheckSectionMap(image, checks);
  }
  ExportWalk exports{checks, probe.exports};
  probe.exportsFound = EnumExports(image, OnExport, &exports, nullptr);
  ReadImports(image, probe, checks);
  if (!probe.pe && (probe.exportsFound || probe.importsFound || probe.version)) {
    checks.Violation("tables found in a view that is not a PE image");
  }
  return probe;
}

std::string Describe(const ImageProbe& probe) {
  if (!probe.pe) return "not PE\n";
  char stats[96];
  std::snprintf(stats, sizeof stats, "base %llx code %u data %u\n", static_cast<unsigned long long>(probe.imageBase),
                static_cast<unsigned>(probe.code), static_cast<unsigned>(probe.data));
  std::string text = stats;
  if (probe.version) {
    const VS_FIXEDFILEINFO& v = *probe.version;
    std::snprintf(stats, sizeof stats, "version %x.%x product %x.%x flags %x type %u\n",
                  static_cast<unsigned>(v.dwFileVersionMS), static_cast<unsigned>(v.dwFileVersionLS),
                  static_cast<unsigned>(v.dwProductVersionMS), static_cast<unsigned>(v.dwProductVersionLS),
                  static_cast<unsigned>(v.dwFileFlags), static_cast<unsigned>(v.dwFileType));
    text += stats;
  }
  text += probe.exportsFound ? "exports:" : "exports: -";
  for (const std::string& name : probe.exports) text += " " + name;
  text += probe.importsFound ? "\nimports:\n" : "\nimports: -\n";
  for (const ImportedLibrary& library : probe.libraries) {
    text += "  " + library.name + (library.functionsFound ? ":" : ": -");
    for (const std::string& function : library.functions) text += " [" + function + "]";
    text += "\n";
  }
  return text;
}

}  // namespace corvane::probe
