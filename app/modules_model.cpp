#include "modules_model.h"

#include <QStringList>

#include "viewer_core.h"

namespace corvane {
namespace {

// Where the search found a module, for people: "the file's folder", "a
// system folder", "API set → ucrtbase.dll"...; empty for the file itself
// and a module not found.
QString FoundInText(const Closure& closure, std::size_t module) {
  const ClosureModule& entry = closure.modules[module];
  switch (entry.foundIn) {
    case FoundIn::kNowhere:
      return {};
    case FoundIn::kFileFolder:
      return QStringLiteral("the file's folder");
    case FoundIn::kPathOption:
      return QStringLiteral("an extra folder");
    case FoundIn::kProgramFolder:
      return QStringLiteral("Corvane's folder");
    case FoundIn::kCurrentDirectory:
      return QStringLiteral("the current directory");
    case FoundIn::kSystem:
      return QStringLiteral("a system folder");
    case FoundIn::kPath:
      return QStringLiteral("PATH");
    case FoundIn::kApiSet:
      return QStringLiteral("API set → ") + TextFrom8Bit(closure.modules[closure.FileModule(module)].name);
  }
  return {};
}

}  // namespace

void ModulesModel::SetClosure(const Closure* closure) {
  if (closure == closure_) return;
  beginResetModel();
  closure_ = closure;
  marks_ = closure != nullptr ? ModuleMarks(*closure) : std::vector<ModuleMark>();
  WorkOutColours();
  endResetModel();
}

void ModulesModel::WorkOutColours() {
  for (const Severity severity : {Severity::kWarning, Severity::kProblem}) {
    const int mark = static_cast<int>(severity);
    colours_[mark] = markColour ? QVariant(markColour(mark)) : QVariant();
  }
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1), {Qt::ForegroundRole});
}

int ModulesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || closure_ == nullptr ? 0 : static_cast<int>(closure_->modules.size());
}

int ModulesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QString ModulesModel::Text(std::size_t module, int column) const {
  const ClosureModule& entry = closure_->modules[module];
  const ClosureModule& file = closure_->modules[closure_->FileModule(module)];
  switch (column) {
    case kModule:
      return TextFrom8Bit(entry.name);
    case kFile:
      return entry.path ? TextFrom8Bit(*entry.path) : QStringLiteral("not found");
    case kMachine:
      return file.record != nullptr ? QString::fromStdString(MachineName(file.record->machine)) : QString();
    case kFileVersion:
      return file.record != nullptr ? QString::fromStdString(file.record->fileVersion) : QString();
    case kFoundIn:
      return FoundInText(*closure_, module);
    case kJoinedAs:
      return TextFrom8Bit(JoinedAsName(entry.joinedAs));
    case kNeededBy: {
      QStringList names;
      for (const std::size_t importer : entry.neededBy) names << TextFrom8Bit(closure_->modules[importer].name);
      return names.join(QStringLiteral(", "));
    }
    default:
      return {};
  }
}

QVariant ModulesModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const auto module = static_cast<std::size_t>(index.row());
  const ModuleMark& mark = marks_[module];
  switch (role) {
    case Qt::DisplayRole:
      // A number, so that the column sorts as numbers do.
      if (index.column() == kProblems) return static_cast<qulonglong>(mark.failedImports);
      return Text(module, index.column());
    case Qt::ForegroundRole:
      return colours_[static_cast<int>(mark.severity)];
    case Qt::ToolTipRole: {
      QStringList lines = {mark.reason};
      if (treeNote) lines << treeNote(module);
      lines.removeAll(QString());
      return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
    default:
      return {};
  }
}

QVariant ModulesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kTitles[kColumnCount] = {"Module",   "File",      "Machine",   "File Version",
                                                    "Found In", "Joined As", "Needed By", "Problems"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return QString::fromLatin1(kTitles[section]);
}

}  // namespace corvane
