#include "closure_output.h"

#include <QString>

#include <algorithm>

#include "readable_names.h"
#include "tree_output.h"

namespace corvane {

std::string ShownFunction(const Finding& finding, bool undecorate) {
  const std::string text = FunctionText(finding.function);
  return undecorate ? ShownName(text) : text;
}

namespace {

// Names come from files in the system's 8-bit encoding.
std::string Utf8(const std::string& text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? text : QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  AppendJsonEscapedTo(out, Utf8(text));
  out += '"';
}

void AppendJsonStringOrNull(std::string& out, const std::optional<std::string>& text) {
  if (text) {
    AppendJsonString(out, *text);
  } else {
    out += "null";
  }
}

std::string NeededBy(const Closure& closure, const ClosureModule& module) {
  std::string names;
  for (const std::size_t importer : module.neededBy) {
    if (!names.empty()) names += ", ";
    names += closure.modules[importer].name;
  }
  return names;
}

void AppendFindings(std::string& out, const Closure& closure, Severity severity, bool undecorate) {
  bool first = true;
  out += '[';
  for (const Finding& finding : closure.findings) {
    if (finding.severity != severity) continue;
    if (!first) out += ',';
    first = false;
    out += "{\"module\":";
    AppendJsonString(out, closure.modules[finding.importer].name);
    out += ",\"library\":";
    AppendJsonString(out, closure.modules[finding.library].name);
    out += ",\"function\":";
    const bool library = finding.kind == FindingKind::kLibraryNotFound;
    const std::optional<std::string> raw = library ? std::nullopt : std::optional(FunctionText(finding.function));
    const std::optional<std::string> shown = raw && undecorate ? std::optional(ShownName(*raw)) : raw;
    AppendJsonStringOrNull(out, shown);
    if (shown != raw) {
      out += ",\"name\":";
      AppendJsonString(out, *raw);
    }
    out += ",\"reason\":";
    AppendJsonString(out, FindingReason(finding));
    out += '}';
  }
  out += ']';
}

}  // namespace

std::string ClosureAsText(const Closure& closure, bool undecorate) {
  std::string out;
  for (std::size_t index = 1; index < closure.modules.size(); ++index) {
    const ClosureModule& module = closure.modules[index];
    out += '\t';
    out += module.name;
    out += " => ";
    out += module.path ? *module.path : "not found";
    std::string notes;
    const auto note = [&notes](const std::string& text) { notes += (notes.empty() ? " (" : ", ") + text; };
    if (module.host != kNoModule) note("API set");
    if (!module.loadTime) note("delay-loaded");
    if (!module.path) note("needed by " + NeededBy(closure, module));
    for (const PlaceTried& place : module.passedOver) note("passed over " + place.path + ": " + DescribePlace(place));
    out += notes.empty() ? notes : notes + ')';
    out += '\n';
  }
  for (const Finding& finding : closure.findings) {
    if (finding.kind == FindingKind::kLibraryNotFound) continue;
    out += '\t' + ShownFunction(finding, undecorate) + " from " + closure.modules[finding.library].name + " => " +
           FindingReason(finding) + " (needed by " + closure.modules[finding.importer].name;
    out += finding.severity == Severity::kWarning ? ", delay-loaded)\n" : ")\n";
  }
  return Utf8(out);
}

std::string ClosureAsJson(const std::string& file, const Closure& closure, bool undecorate) {
  std::string out = "{\"file\":";
  AppendJsonString(out, file);
  out += ",\"modules\":[";
  for (std::size_t index = 1; index < closure.modules.size(); ++index) {
    const ClosureModule& module = closure.modules[index];
    if (index > 1) out += ',';
    out += "{\"name\":";
    AppendJsonString(out, module.name);
    out += ",\"path\":";
    AppendJsonStringOrNull(out, module.path);
    out += ",\"foundIn\":";
    const std::string_view foundIn = FoundInName(module.foundIn);
    AppendJsonStringOrNull(out, foundIn.empty() ? std::nullopt : std::optional<std::string>(foundIn));
    out += ",\"machine\":";
    AppendJsonStringOrNull(out, module.record ? std::optional(MachineName(module.record->machine)) : std::nullopt);
    out += module.host != kNoModule ? ",\"apiSet\":true" : ",\"apiSet\":false";
    out += module.loadTime ? ",\"delayLoaded\":false" : ",\"delayLoaded\":true";
    out += ",\"neededBy\":[";
    for (const std::size_t importer : module.neededBy) {
      if (importer != module.neededBy.front()) out += ',';
      AppendJsonString(out, closure.modules[importer].name);
    }
    out += "]}";
  }
  out += "],\"problems\":";
  AppendFindings(out, closure, Severity::kProblem, undecorate);
  out += ",\"warnings\":";
  AppendFindings(out, closure, Severity::kWarning, undecorate);
  out += '}';
  return out;
}

}  // namespace corvane
