#include "viewer_core.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <variant>

#include "dependency_marks.h"
#include "file_tree_build.h"
#include "library_search.h"
#include "mapped_file.h"
#include "mapped_image.h"
#include "node_kinds.h"
#include "pe_layout.h"
#include "scope_exit.h"
#include "sibling_order.h"
#include "system_services.h"
#include "version_reader.h"
#include "walkers.h"

namespace corvane {

QString FormatSize(std::uint32_t bytes) {
  return QStringLiteral(" %1 Kb (%2 bytes)").arg(BytesToKb(bytes)).arg(bytes);
}

const char* MapFailureMessage(MapFailure failure) {
  switch (failure) {
    case MapFailure::kOpen:
      return kMessageFileNotFound;
    case MapFailure::kMapping:
      return kMessageCannotMap;
    case MapFailure::kView:
      return kMessageCannotView;
  }
  return kMessageFileNotFound;
}

namespace {

// Starts a build; the guard returned ends it however it ends: the tree
// repaints, the totals show, the window takes input again and the cursor
// comes back.
auto BeginBuild(ViewerCore& core, ViewerShell& shell, TTreeNodes& items, int& depth) {
  shell.SetWaitCursor();
  shell.SetWindowEnabled(false);
  items.BeginUpdate();
  ++depth;
  return ScopeExit([&core, &shell, &items, &depth] {
    --depth;
    items.EndUpdate();
    core.UpdateStatusBar();
    shell.SetWindowEnabled(true);
    shell.FocusWindow();
    shell.RestoreCursor();
  });
}

}  // namespace

ViewerCore::ViewerCore(ViewerShell& shell) : shell_(shell) {
  items_.SortType = TSortType::stText;
  items_.OnCompare = [this](TTreeNode* node1, TTreeNode* node2, int data, int& compare) {
    InfoTreeCompare(node1, node2, data, compare);
  };
  items_.OnDeletion = [this](TTreeNode* node) { InfoTreeDeletion(node); };
}

void ViewerCore::OpenList(const QStringList& files) {
  ClearAll();
  shell_.SetWaitCursor();
  if (!files.isEmpty()) {
    items_.BeginUpdate();
    for (const QString& file : files) ProcessFile(nullptr, file.toLocal8Bit().toStdString());
    SetFileFolder(files.front().toLocal8Bit().toStdString());
    items_.EndUpdate();
  }
  shell_.RestoreCursor();
}

void ViewerCore::ProcessFile(TTreeNode* parent, const std::string& fileName) {
  const char* message = nullptr;
  {
    auto mapping = MappedFile::Map(fileName);
    if (const auto* failure = std::get_if<MapFailure>(&mapping)) {
      message = MapFailureMessage(*failure);
    } else {
      message = ProcessView(parent, fileName, std::get<MappedFile>(mapping).View());
    }
  }  // the view is unmapped and the file closed before the user reads any message
  if (message != nullptr) shell_.ShowError(QString::fromLatin1(message), kErrorBoxStyle, {fileName, {}});
}

const char* ViewerCore::ProcessView(TTreeNode* parent, const std::string& fileName, ByteView view) {
  MappedImage image;
  if (!IdentifyImage(image, view)) return kMessageNotPe;
  return BuildFileTree(parent, fileName, image) ? kMessageTreeCut : nullptr;
}

bool ViewerCore::BuildFileTree(TTreeNode* parent, const std::string& fileName, const MappedImage& image) {
  const auto buildEnd = BeginBuild(*this, shell_, items_, buildDepth_);

  TTreeNode* root = parent;
  if (root == nullptr) {
    root = items_.AddFirst(nullptr, TextFrom8Bit(fileName));
    SetNodeIcon(root, kIconFile);
  }

  TTreeNode* stats = items_.AddChild(root, QStringLiteral("Stats"));
  SetNodeIcon(stats, kIconStats);
  AddStatsNodes(stats, image);
  AddVersionNodes(stats, fileName);

  FileTreeBuild build(items_, shell_, collator_, image);
  TTreeNode* exports = items_.AddChild(root, QStringLiteral("Exported APIs"));
  SetNodeIcon(exports, kIconExports);
  build.AddExports(exports);
  if (exports->GetChildren()) {
    exports->SetExpanded(false);
  } else {
    items_.Delete(exports);
  }

  build.AddImports(root);
  const bool cut = build.Cut();

  if (parent != nullptr) SetNodeIcon(parent, kIconInspectedLibrary);
  importers_[root] = {FileNamePart(fileName), ImageMachine(image.base).value_or(0),
                      image.IsPe32Plus()};
  SortChildrenInTreeOrder(items_, root, collator_);
  root->SetExpanded(true);
  if (checkDependencies_) {
    if (parent == nullptr) {
      CheckFile(root, fileName, image);
    } else {
      MarkInspectedLibrary(parent, fileName);
    }
  }
  if (nameOptions_ != NameOptions{}) shownNames_.Apply(items_, root, nameOptions_, collator_);
  return cut;
}

void ViewerCore::SetNameOptions(const NameOptions& options) {
  nameOptions_ = options;
  if (items_.GetCount() == 0) return;
  items_.BeginUpdate();
  shownNames_.Apply(items_, nullptr, nameOptions_, collator_);
  items_.EndUpdate();
}

MarkNode ViewerCore::Marker() {
  return [this](TTreeNode* node, Severity severity, const QString& reason) {
    node->SetMark(static_cast<int>(severity));
    markReasons_[node] = reason;
  };
}

void ViewerCore::CheckFile(TTreeNode* root, const std::string& fileName, const MappedImage& image) {
  // The check shares the search's folder listings but none of its
  // answers with earlier opens: a file may have been copied in since.
  DependencyCheck check(librarySearch_);
  const Closure& closure = closures_[root] = check.Check(fileName, image, [this] { shell_.PumpMessages(); });
  const MarkNode mark = Marker();
  MarkFileRoot(root, closure, MarkImports(root, closure, 0, mark), mark);
  shownNames_.LearnOrdinalNames(root, closure, 0);
}

void ViewerCore::MarkInspectedLibrary(TTreeNode* library, const std::string& fileName) {
  const Closure* checked = ClosureOf(library);
  if (checked == nullptr) return;
  const Closure& closure = *checked;
  const std::string path = FullPathName(fileName);
  for (std::size_t module = 0; module < closure.modules.size(); ++module) {
    if (closure.modules[module].path == path && closure.modules[module].host == kNoModule) {
      MarkImports(library, closure, module, Marker());
      shownNames_.LearnOrdinalNames(library, closure, module);
      return;
    }
  }
}

QString ViewerCore::MarkReason(const TTreeNode* node) const {
  const auto reason = markReasons_.find(node);
  return reason != markReasons_.end() ? reason->second : QString();
}

const Closure* ViewerCore::ClosureOf(const TTreeNode* node) const {
  if (node == nullptr) node = items_.GetFirstNode();
  while (node != nullptr && node->Parent() != nullptr) node = node->Parent();
  const auto checked = closures_.find(node);
  return checked != closures_.end() ? &checked->second : nullptr;
}

void ViewerCore::AddStatsNodes(TTreeNode* stats, const MappedImage& image) {
  char imageBase[48];
  if (image.IsPe32Plus()) {
    std::snprintf(imageBase, sizeof imageBase, "Image Base Addr: 0x%016llX",
                  static_cast<unsigned long long>(image.ImageBase()));
  } else {
    std::snprintf(imageBase, sizeof imageBase, "Image Base Addr: 0x%08X", static_cast<unsigned>(image.ImageBase()));
  }
  SetNodeIcon(items_.AddChild(stats, QString::fromLatin1(imageBase)), kIconStatsValue);

  const std::uint32_t code = image.OptionalHeaderField(pe::kSizeOfCode);
  codeTotal_ += code;
  SetNodeIcon(items_.AddChild(stats, QStringLiteral("Code: ") + FormatSize(code)), kIconStatsValue);

  const std::uint32_t data =
      image.OptionalHeaderField(pe::kSizeOfInitializedData) + image.OptionalHeaderField(pe::kSizeOfUninitializedData);
  dataTotal_ += data;
  SetNodeIcon(items_.AddChild(stats, QStringLiteral("Data: ") + FormatSize(data)), kIconStatsValue);
}

bool ViewerCore::AddVersionNodes(TTreeNode* stats, const std::string& fileName) {
  VS_FIXEDFILEINFO info;
  if (!ReadFixedFileInfo(&info, fileName.c_str())) return false;
  auto add = [&](const QString& text) { SetNodeIcon(items_.AddChild(stats, text), kIconVersionValue); };
  add(QStringLiteral("Version: ") + QString::fromStdString(FormatVersion(info.dwFileVersionMS, info.dwFileVersionLS)));
  add(QStringLiteral("Product Version: ") +
      QString::fromStdString(FormatVersion(info.dwProductVersionMS, info.dwProductVersionLS)));

  if (info.dwFileFlags != 0) {
    static constexpr struct {
      std::uint32_t bit;
      const char* name;
    } kFlags[] = {{0x20, "SpecialBuild"}, {0x08, "PrivateBuild"}, {0x02, "PreRelease"},
                  {0x04, "Patched"},      {0x10, "InfoInferred"}, {0x01, "Debug"}};
    QString flags = QStringLiteral("Flags:");
    for (const auto& flag : kFlags) {
      if ((info.dwFileFlags & flag.bit) != 0) flags += QLatin1Char(' ') + QLatin1String(flag.name);
    }
    add(flags);
  }

  static constexpr struct {
    std::uint32_t value;
    const char* name;
  } kTypes[] = {{0, "Unknown"}, {1, "Application"}, {2, "Dynamic Link Library"}, {3, "Device Driver"},
                {4, "Font"},    {5, "Virtual Device Driver"}, {7, "Static Link Library"}};
  for (const auto& type : kTypes) {
    if (type.value == info.dwFileType) {
      add(QStringLiteral("Type: ") + QLatin1String(type.name));
      break;
    }
  }
  return true;
}

void ViewerCore::ClearAll() {
  if (items_.GetCount() > 0) {
    items_.BeginUpdate();
    items_.Clear();
    items_.EndUpdate();
  }
  dataTotal_ = 0;
  codeTotal_ = 0;
  UpdateStatusBar();
}

void ViewerCore::SetFileFolder(const std::string& path) {
  fileFolder_ = FolderPart(path);
  (void)SetCurrentDirectoryA(fileFolder_);
}

void ViewerCore::UpdateStatusBar() {
  if (codeTotal_ == 0) {
    for (int panel = 0; panel < 3; ++panel) shell_.SetStatusPanelText(panel, QString());
    return;
  }
  shell_.SetStatusPanelText(0, QStringLiteral("Code: %1 Kb").arg(BytesToKb(codeTotal_)));
  shell_.SetStatusPanelText(1, QStringLiteral("Data: %1 Kb").arg(BytesToKb(dataTotal_)));
  shell_.SetStatusPanelText(2, QStringLiteral("Total: %1 Kb").arg(BytesToKb(codeTotal_ + dataTotal_)));
}

void ViewerCore::InfoTreeCompare(TTreeNode* node1, TTreeNode* node2, int data, int& compare) const {
  (void)data;
  const int group1 = NodeOrderGroup(node1);
  const int group2 = NodeOrderGroup(node2);
  if (group1 != group2) {
    compare = group1 < group2 ? -1 : 1;
    return;
  }
  const NodeTextView text1 = node1->TextView();
  const NodeTextView text2 = node2->TextView();
  if (text1.empty() || text2.empty()) {
    compare = int{!text1.empty()} - int{!text2.empty()};
    return;
  }
  compare = collator_.Compare(text1, text2);
}

void ViewerCore::InfoTreeDeletion(TTreeNode* node) {
  if (node->Data() != nullptr) node->SetData(nullptr);
  if (node->Mark() != 0) markReasons_.erase(node);
  // Only file roots and inspected libraries import; the other nodes, nearly
  // all of a large tree, need no lookup.
  const int icon = node->ImageIndex();
  if (icon == kIconFile || icon == kIconInspectedLibrary) importers_.erase(node);
  if (icon == kIconFile) closures_.erase(node);
  if (icon == kIconExport || icon == kIconImport) shownNames_.Forget(node);
}

void ViewerCore::OpenFile(const std::string& fileName) {
  SetFileFolder(fileName);
  ClearAll();
  items_.BeginUpdate();
  ProcessFile(nullptr, fileName);
  items_.EndUpdate();
}

bool ViewerCore::CanInspect(const TTreeNode* node) { return node != nullptr && node->ImageIndex() == kIconLibrary; }

void ViewerCore::PopupInspectClick(TTreeNode* selected) {
  if (!CanInspect(selected)) return;
  ++inspectionDepth_;
  const ScopeExit inspectionEnd([this] { --inspectionDepth_; });
  const std::string name = selected->Text().toLocal8Bit().toStdString();
  LibraryLookup lookup = LookUpLibrary(name, selected->Parent());
  if (!lookup.found) {
    shell_.ShowError(QString::fromLatin1(kMessageLibraryNotFound), kErrorBoxStyle, {name, std::move(lookup.places)});
    return;
  }
  const std::string fullName = FullPathName(*lookup.found);
  items_.BeginUpdate();
  ProcessFile(selected, fullName);
  // The folder keeps its case: on a case-sensitive file system another case
  // would name another folder. A host found through an API set has a name
  // of its own, so the whole file name shows.
  const std::string where = lookup.apiSet == ApiSetStep::kHost ? fullName
                                                                : FolderPart(fullName);
  selected->AppendText(QStringLiteral(" (") + TextFrom8Bit(where) + QLatin1Char(')'));
  items_.EndUpdate();
}

LibraryLookup ViewerCore::LookUpLibrary(const std::string& name, const TTreeNode* root, bool everyPlace) {
  const auto known = importers_.find(root);
  const Importer importer = known != importers_.end() ? known->second : Importer{};
  return librarySearch_.Find(name, importer, librarySearch_.LoaderSearchPlaces(fileFolder_, importer.pe32Plus),
                             everyPlace);
}

void ViewerCore::InfoTreeKeyDown(std::uint16_t& key, int shift) {
  (void)shift;
  if (!keyPopup_ && key == kContextMenuKey) keyPopup_ = true;
}

}  // namespace corvane
