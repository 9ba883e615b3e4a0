#include "dependency_marks.h"

#include <algorithm>
#include <unordered_map>

#include "node_kinds.h"
#include "node_text.h"
#include "walkers.h"

namespace corvane {
namespace {

// The function node's text for what the finding names, as the build wrote it.
std::string NodeTextOf(const Finding& finding) {
  char ordinalText[24];
  const std::optional<std::uint16_t> ordinal = finding.function.ordinal;
  return ordinal ? std::string(OrdinalText(*ordinal, ordinalText)) : finding.function.name;
}

QString FunctionReason(const Closure& closure, const Finding& finding) {
  if (finding.kind == FindingKind::kNotExported) {
    return QStringLiteral("Not exported by ") + TextFrom8Bit(closure.modules[finding.library].name);
  }
  QString reason = TextFrom8Bit(FindingReason(finding));
  reason[0] = reason[0].toUpper();
  return reason;
}

QString AndMore(QString text, std::size_t more) {
  if (more > 0) text += QStringLiteral(" (and %1 more)").arg(more);
  return text;
}

// How a library stands, on its node and on its row in the Modules pane: not
// found; or not exporting `lackingCount` of the functions imported from it,
// `firstLacking` first; or needing what the finding `firstBelow` says is
// missing further down.
ModuleMark LibraryMark(const Closure& closure, std::size_t library, const Finding* firstLacking,
                       std::size_t lackingCount, std::size_t firstBelow) {
  if (!closure.Found(library)) return {Severity::kProblem, QStringLiteral("Not found")};
  if (firstLacking != nullptr) {
    const QString lacks = TextFrom8Bit(FunctionText(firstLacking->function));
    return {Severity::kWarning, AndMore(QStringLiteral("Does not export ") + lacks, lackingCount - 1)};
  }
  if (firstBelow != kNoModule) return {Severity::kWarning, NeedsText(closure, closure.findings[firstBelow])};
  return {};
}

}  // namespace

QString NeedsText(const Closure& closure, const Finding& finding) {
  QString text = QStringLiteral("Needs ");
  if (finding.kind != FindingKind::kLibraryNotFound) {
    text += TextFrom8Bit(FunctionText(finding.function)) + QStringLiteral(" from ");
  }
  return text + TextFrom8Bit(closure.modules[finding.library].name) + QStringLiteral(", which is ") +
         TextFrom8Bit(FindingReason(finding));
}

std::size_t ImportedModule(const TTreeNode& library, const Closure& closure, std::size_t module) {
  if (library.ImageIndex() != kIconLibrary) return kNoModule;
  return closure.LibraryOf(module, library.Text().toLocal8Bit().toStdString());
}

Severity MarkImports(TTreeNode* node, const Closure& closure, std::size_t module, const MarkNode& mark) {
  const std::vector<std::size_t> firstBelow = closure.FirstFindingBelow();
  // What each library lacks, by the text of its function's node.
  std::unordered_map<std::size_t, std::unordered_map<std::string, const Finding*>> lacking;
  for (const Finding& finding : closure.findings) {
    if (finding.importer == module && finding.kind != FindingKind::kLibraryNotFound) {
      lacking[finding.library].try_emplace(NodeTextOf(finding), &finding);
    }
  }
  Severity gravest = Severity::kNone;
  for (TTreeNode* library = node->getFirstChild(); library != nullptr; library = node->GetNextChild(library)) {
    const std::size_t imported = ImportedModule(*library, closure, module);
    if (imported == kNoModule) continue;
    const auto own = lacking.find(imported);
    const Finding* firstLacking = nullptr;
    for (TTreeNode* function = library->getFirstChild(); own != lacking.end() && function != nullptr;
         function = library->GetNextChild(function)) {
      const auto failed = own->second.find(function->Text().toLocal8Bit().toStdString());
      if (failed == own->second.end()) continue;
      mark(function, Severity::kProblem, FunctionReason(closure, *failed->second));
      if (firstLacking == nullptr) firstLacking = failed->second;
      gravest = Severity::kProblem;
    }
    const std::size_t lackingCount = own == lacking.end() ? 0 : own->second.size();
    const ModuleMark libraryMark =
        LibraryMark(closure, imported, firstLacking, lackingCount, firstBelow[closure.FileModule(imported)]);
    if (libraryMark.severity == Severity::kNone) continue;
    mark(library, libraryMark.severity, libraryMark.reason);
    gravest = std::max(gravest, libraryMark.severity);
  }
  return gravest;
}

std::vector<ModuleMark> ModuleMarks(const Closure& closure) {
  std::vector<ModuleMark> marks(closure.modules.size());
  if (marks.empty()) return marks;
  const std::vector<std::size_t> firstBelow = closure.FirstFindingBelow();
  // What each file fails to export, first finding first.
  std::vector<std::vector<const Finding*>> lacking(closure.modules.size());
  for (const Finding& finding : closure.findings) {
    if (finding.kind != FindingKind::kLibraryNotFound) lacking[closure.FileModule(finding.library)].push_back(&finding);
  }
  for (std::size_t module = 1; module < marks.size(); ++module) {
    const std::size_t file = closure.FileModule(module);
    marks[module] = LibraryMark(closure, module, lacking[file].empty() ? nullptr : lacking[file].front(),
                                lacking[file].size(), firstBelow[file]);
  }
  // The file's root takes the gravest mark of its imports' nodes.
  Severity below = Severity::kNone;
  for (const auto& [name, library] : closure.modules[0].libraries) below = std::max(below, marks[library].severity);
  for (const Finding& finding : closure.findings) {
    if (finding.importer == 0 && finding.kind != FindingKind::kLibraryNotFound) below = Severity::kProblem;
  }
  MarkFileRoot(nullptr, closure, below, [&](TTreeNode*, Severity severity, const QString& reason) {
    marks[0] = {severity, reason};
  });
  for (std::size_t module = 0; module < marks.size(); ++module) {
    marks[module].failedImports = lacking[closure.FileModule(module)].size();
  }
  // A library not found binds none of the functions imported from it.
  for (std::size_t importer = 0; importer < closure.modules.size(); ++importer) {
    const ModuleRecord* record = closure.modules[importer].record.get();
    if (record == nullptr) continue;
    for (const ImportedLibrary& imported : record->imports) {
      const std::size_t library = closure.LibraryOf(importer, imported.name);
      if (library != kNoModule && !closure.Found(library)) marks[library].failedImports += imported.functions.size();
    }
  }
  return marks;
}

Severity MarkFileRoot(TTreeNode* root, const Closure& closure, Severity below, const MarkNode& mark) {
  const Severity worst = closure.Worst();
  const Severity severity = std::max(below, std::min(worst, Severity::kWarning));
  if (severity == Severity::kNone) return severity;
  const auto first = std::find_if(closure.findings.begin(), closure.findings.end(),
                                  [&](const Finding& finding) { return finding.severity == worst; });
  mark(root, severity, AndMore(NeedsText(closure, *first), closure.findings.size() - 1));
  return severity;
}

}  // namespace corvane
