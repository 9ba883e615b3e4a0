#include "shown_names.h"

#include <charconv>
#include <unordered_set>
#include <vector>

#include "dependency_check.h"
#include "dependency_marks.h"
#include "node_kinds.h"
#include "readable_names.h"
#include "sibling_order.h"
#include "viewer_core.h"

namespace corvane {
namespace {

constexpr QLatin1StringView kOrdinalTail(" (ordinal)");

// The ordinal of a row the build wrote as "   320 (ordinal)".
std::optional<std::uint16_t> OrdinalOf(const QString& text) {
  if (!text.endsWith(kOrdinalTail)) return std::nullopt;
  const QByteArray digits = text.first(text.size() - kOrdinalTail.size()).trimmed().toLatin1();
  std::uint16_t ordinal = 0;
  const auto [end, error] = std::from_chars(digits.begin(), digits.end(), ordinal);
  if (error != std::errc() || end != digits.end() || digits.isEmpty()) return std::nullopt;
  return ordinal;
}

// An export row reads "name (N)": the name, and the rest.
qsizetype ExportNameLength(const QString& text) {
  const qsizetype open = text.lastIndexOf(QLatin1StringView(" ("));
  return open < 0 ? text.size() : open;
}

QString Undecorated(const QString& raw) {
  const QByteArray bytes = raw.toLocal8Bit();
  const std::optional<std::string> decoded = UndecoratedName(std::string_view(bytes.constData(), bytes.size()));
  return decoded ? TextFrom8Bit(*decoded) : raw;
}

// Each exporter's names by the index into its address table they give, the
// first in the name table's order when several give one.
class OrdinalNameTable {
 public:
  explicit OrdinalNameTable(const ModuleRecord& record) {
    for (const auto& [name, index] : record.byName) {
      const auto [entry, fresh] = names_.try_emplace(index, name);
      // The names lie in the record's block in table order.
      if (!fresh && name.data() < entry->second.data()) entry->second = name;
    }
  }
  std::optional<std::string_view> Name(std::uint32_t index) const {
    const auto found = names_.find(index);
    return found != names_.end() ? std::optional(found->second) : std::nullopt;
  }

 private:
  std::unordered_map<std::uint32_t, std::string_view> names_;
};

}  // namespace

void ShownNames::LearnOrdinalNames(TTreeNode* node, const Closure& closure, std::size_t module) {
  for (TTreeNode* library = node->getFirstChild(); library != nullptr; library = node->GetNextChild(library)) {
    const std::size_t imported = ImportedModule(*library, closure, module);
    if (imported == kNoModule || !closure.Found(imported)) continue;
    const ModuleRecord& record = *closure.modules[closure.FileModule(imported)].record;
    std::optional<OrdinalNameTable> table;
    for (TTreeNode* function = library->getFirstChild(); function != nullptr;
         function = library->GetNextChild(function)) {
      const std::optional<std::uint16_t> ordinal = OrdinalOf(built_.contains(function) ? built_[function]
                                                                                       : function->Text());
      if (!ordinal) continue;
      if (!table) table.emplace(record);
      // Below Base the index wraps to far past any table.
      if (const auto name = table->Name(std::uint32_t{*ordinal} - record.ordinalBase)) {
        ordinalNames_[function] = std::string(*name);
      }
    }
  }
}

void ShownNames::Apply(TTreeNodes& items, TTreeNode* top, const NameOptions& options, const TextCollator& collator) {
  std::unordered_set<TTreeNode*> changedLibraries;
  const auto visit = [&](auto& self, TTreeNode* node) -> void {
    const int icon = node->ImageIndex();
    if (icon == kIconExport || icon == kIconImport) {
      const auto known = built_.find(node);
      const QString built = known != built_.end() ? known->second : node->Text();
      QString shown = built;
      if (icon == kIconExport) {
        if (options.undecorate) {
          const qsizetype length = ExportNameLength(built);
          shown = Undecorated(built.first(length)) + built.sliced(length);
        }
      } else if (const auto ordinal = ordinalNames_.find(node);
                 options.nameOrdinals && ordinal != ordinalNames_.end()) {
        const QString name = TextFrom8Bit(ordinal->second);
        shown = (options.undecorate ? Undecorated(name) : name) +
                QStringLiteral(" (ordinal %1)").arg(*OrdinalOf(built));
      } else if (options.undecorate) {
        shown = Undecorated(built);
      }
      if (shown != node->Text()) {
        node->SetTextInPlace(shown);
        if (icon == kIconImport) changedLibraries.insert(node->Parent());
      }
      if (shown == built) {
        if (known != built_.end()) built_.erase(known);
      } else if (known == built_.end()) {
        built_.emplace(node, built);
      }
      return;
    }
    for (TTreeNode* child = node->getFirstChild(); child != nullptr; child = node->GetNextChild(child)) {
      self(self, child);
    }
  };
  if (top != nullptr) {
    visit(visit, top);
  } else {
    for (int i = 0; i < items.TopCount(); ++i) visit(visit, items.TopItem(i));
  }
  for (TTreeNode* library : changedLibraries) SortChildrenInTreeOrder(items, library, collator);
}

std::optional<QString> ShownNames::RawName(const TTreeNode* node) const {
  const auto built = built_.find(node);
  if (built == built_.end()) return std::nullopt;
  if (const auto ordinal = ordinalNames_.find(node); ordinal != ordinalNames_.end()) {
    return TextFrom8Bit(ordinal->second);
  }
  if (node->ImageIndex() == kIconExport) return built->second.first(ExportNameLength(built->second));
  return built->second;
}

std::optional<QString> ShownNames::OtherSpelling(const TTreeNode* node) const {
  // With the option off an ordinal's name is known but not shown.
  if (const auto ordinal = ordinalNames_.find(node); ordinal != ordinalNames_.end()) {
    return TextFrom8Bit(ordinal->second);
  }
  return RawName(node);
}

void ShownNames::Forget(const TTreeNode* node) {
  // Called for every node deleted, nearly always with both options off.
  if (built_.empty() && ordinalNames_.empty()) return;
  built_.erase(node);
  ordinalNames_.erase(node);
}

void ShownNames::Clear() {
  built_.clear();
  ordinalNames_.clear();
}

}  // namespace corvane
