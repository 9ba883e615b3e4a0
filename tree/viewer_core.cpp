#include "viewer_core.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <variant>

#include "child_text_index.h"
#include "library_search.h"
#include "mapped_file.h"
#include "mapped_image.h"
#include "node_kinds.h"
#include "pe_layout.h"
#include "sibling_order.h"
#include "system_services.h"
#include "version_reader.h"
#include "walkers.h"

namespace corvane {

namespace {

// A name out of the file as a node text. Names in PE files are almost always
// ASCII, which every 8-bit encoding shares with Latin-1: those go into the
// tree as they are, and only the others are decoded. Each byte is looked at
// once, here.
class EightBitText {
 public:
  explicit EightBitText(std::string_view bytes) : EightBitText(bytes, ClassifyBytes(bytes)) {}
  EightBitText(std::string_view bytes, ByteClass byteClass) {
    if (byteClass.ascii) {
      const QLatin1StringView latin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(latin1, byteClass.printableAscii);
    } else {
      decoded_ = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
      view_ = NodeTextView(QStringView(decoded_));
    }
  }
  EightBitText(const EightBitText&) = delete;
  EightBitText& operator=(const EightBitText&) = delete;

  NodeTextView View() const { return view_; }
  TTreeNode* AddTo(TTreeNodes& items, TTreeNode* parent) const { return items.AddChild(parent, view_); }

 private:
  QString decoded_;  // what view_ shows, for a name that is not ASCII
  NodeTextView view_;
};

}  // namespace

QString TextFrom8Bit(std::string_view text) { return EightBitText(text).View().ToString(); }

QString FormatSize(std::uint32_t bytes) {
  return QStringLiteral(" %1 Kb (%2 bytes)").arg(BytesToKb(bytes)).arg(bytes);
}

// One run of BuildFileTree: what the walker callbacks need. A library's
// function names are held as they are read, each once, then ordered, and
// only then made into nodes, already in their places: a library of tens of
// thousands of functions is one sort, with no second pass over the nodes.
class FileTreeBuild {
 public:
  FileTreeBuild(ViewerCore& core, const MappedImage& image)
      : core_(core),
        imports_(image),
        file_(image.base),
        nodesLeft_(image.base.Size() / 2 + kNodesBeyondFileSize),
        textLeft_(image.base.Size() * 2 + kTextBeyondFileSize),
        order_(core.collator_) {}

  // True when the build stopped early because the file named more entries
  // than it can hold.
  bool Cut() const { return cut_ || imports_.Cut(); }

  static bool OnExport(void* userA, void* userB, std::string_view name, std::int32_t nameOrdinal) {
    auto& build = *static_cast<FileTreeBuild*>(userA);
    auto* exports = static_cast<TTreeNode*>(userB);
    if (!build.SpendReading(name.size()) || !build.SpendNode()) return false;
    // Composed in 8 bits so that the node's text is converted and stored once.
    std::string& text = build.exportText_;
    text.assign(name);
    text += " (";
    char digits[16];
    const auto converted = std::to_chars(digits, digits + sizeof digits, nameOrdinal);
    text.append(digits, converted.ptr);
    text += ')';
    SetNodeIcon(EightBitText(text).AddTo(build.core_.items_, exports), kIconExport);
    build.core_.shell_.PumpMessages();
    return true;
  }

  static bool OnImportedLibrary(void* userA, void* userB, std::string_view name) {
    auto& build = *static_cast<FileTreeBuild*>(userA);
    auto* root = static_cast<TTreeNode*>(userB);
    if (!build.SpendReading(name.size())) return false;
    TTreeNode* library = build.LibraryNode(root, EightBitText(name));
    if (library == nullptr) return false;
    // Every descriptor of this name was walked the first time round; a later
    // descriptor of the same name has nothing to add.
    if (!build.walkedLibraries_.insert(name).second) return true;
    build.ForgetHeldNames();
    EnumImportedFunctions(build.imports_, name, OnImportedFunction, &build, nullptr);
    // Also after a cut: the names held were read and are shown.
    build.AddFunctions(library);
    return !build.cut_;
  }

  static bool OnImportedFunction(void* userA, void* /*userB*/, std::string_view name) {
    auto& build = *static_cast<FileTreeBuild*>(userA);
    if (!build.SpendReading(name.size())) return false;
    build.Hold(name);
    build.core_.shell_.PumpMessages();
    return true;
  }

  const ImportDirectory& Imports() const { return imports_; }

 private:
  // The root's child of library kind with exactly this text, made when there
  // is none.
  TTreeNode* LibraryNode(TTreeNode* root, const EightBitText& name) {
    if (!libraries_) {
      // Made once the exports are done, when the root's children before the
      // libraries keep their places. A node inspected before may already
      // hold libraries with their functions; the build adds to them rather
      // than beside them.
      libraries_.emplace(root);
      libraries_->AddExistingChildren([](const TTreeNode* child) { return child->ImageIndex() == kIconLibrary; });
    }
    return libraries_->FindOrAdd(name.View(), [&]() -> TTreeNode* {
      if (!SpendNode()) return nullptr;
      TTreeNode* library = name.AddTo(core_.items_, root);
      SetNodeIcon(library, kIconLibrary);
      return library;
    });
  }

  void ForgetHeldNames() { order_.Clear(SiblingOrder::Repeats::kDrop); }

  void Hold(std::string_view bytes) {
    const ByteClass byteClass = ClassifyBytes(bytes);
    // An ASCII name in the file stays where it is for the whole build. A
    // decoded name is copied, and so is an ordinal's text, which the walker
    // writes the next one over. Function nodes are all of one sort group.
    if (byteClass.ascii && InFile(bytes)) {
      const QLatin1StringView latin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      order_.Add(NodeTextView(latin1, byteClass.printableAscii), 0);
    } else {
      order_.Add(EightBitText(bytes, byteClass).View(), 0, SiblingOrder::Lifetime::kPassing);
    }
  }

  bool InFile(std::string_view bytes) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(file_.Data());
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    return at >= begin && at - begin <= file_.Size() && bytes.size() <= file_.Size() - (at - begin);
  }

  void AddFunctions(TTreeNode* library) {
    const std::span<const std::uint32_t> positions = order_.Sort();
    // The library may have functions already: from before this build, or
    // from another name that reads the same. Those are looked up and the
    // whole set sorted again; otherwise the nodes are made in order.
    const bool hadFunctions = library->Count() > 0;
    std::optional<ChildTextIndex> shown;
    if (hadFunctions) {
      shown.emplace(library);
      shown->AddExistingChildren([](const TTreeNode*) { return true; });
    }
    core_.items_.ReserveChildren(library, positions.size());
    for (const std::uint32_t position : positions) {
      const NodeTextView text = order_.Text(position);
      const auto make = [&]() -> TTreeNode* {
        if (!SpendNode()) return nullptr;
        TTreeNode* node = core_.items_.AddChild(library, text);
        SetNodeIcon(node, kIconImport);
        return node;
      };
      if ((shown ? shown->FindOrAdd(text, make) : make()) == nullptr) break;
    }
    if (hadFunctions) core_.ResortChildren(library);
  }

  // Every entry a well-formed file shows takes at least four bytes of it (a
  // thunk, or a name pointer and more), and its name stands in the file once.
  // A file whose tables point at the same bytes over and over can name
  // vastly more: a 75 KB file, four million functions; an 11 MB one, a
  // hundred thousand names of 8 MB each. Twice what the file could hold, and
  // some room for small files, is where a build stops. Names are counted
  // as they are read, also those already shown: five megabytes of thunks
  // that all name one 4 MB function would otherwise be read a hundred
  // thousand times over for one node.
  static constexpr std::uint64_t kNodesBeyondFileSize = 65536;
  static constexpr std::uint64_t kTextBeyondFileSize = std::uint64_t{16} << 20;
  bool SpendReading(std::size_t nameLength) {
    // The one is the name's end, so that even empty names count.
    if (textLeft_ <= nameLength) cut_ = true;
    if (cut_) return false;
    textLeft_ -= nameLength + 1;
    return true;
  }
  // Callers read before they make a node, so a cut in reading stops them
  // there; names already read still become nodes.
  bool SpendNode() {
    if (nodesLeft_ == 0) {
      cut_ = true;
      return false;
    }
    --nodesLeft_;
    return true;
  }

  ViewerCore& core_;
  ImportDirectory imports_;
  ByteView file_;
  std::uint64_t nodesLeft_;
  std::uint64_t textLeft_;
  bool cut_ = false;
  std::optional<ChildTextIndex> libraries_;
  // The functions of the library being walked, each once, as read.
  SiblingOrder order_;
  std::unordered_set<std::string_view> walkedLibraries_;
  std::string exportText_;
};

namespace {

// Ends a build however it ends: the tree repaints, the totals show, the
// window takes input again and the cursor comes back.
class BuildScope {
 public:
  BuildScope(ViewerCore& core, ViewerShell& shell, TTreeNodes& items, int& depth)
      : core_(core), shell_(shell), items_(items), depth_(depth) {
    shell_.SetWaitCursor();
    shell_.SetWindowEnabled(false);
    items_.BeginUpdate();
    ++depth_;
  }
  BuildScope(const BuildScope&) = delete;
  BuildScope& operator=(const BuildScope&) = delete;
  ~BuildScope() {
    --depth_;
    items_.EndUpdate();
    core_.UpdateStatusBar();
    shell_.SetWindowEnabled(true);
    shell_.FocusWindow();
    shell_.RestoreCursor();
  }

 private:
  ViewerCore& core_;
  ViewerShell& shell_;
  TTreeNodes& items_;
  int& depth_;
};

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
  fileInProcess_ = fileName;
  const char* message = nullptr;
  {
    auto mapping = MappedFile::Map(fileName);
    if (const auto* failure = std::get_if<MapFailure>(&mapping)) {
      switch (*failure) {
        case MapFailure::kOpen:
          message = kMessageFileNotFound;
          break;
        case MapFailure::kMapping:
          message = kMessageCannotMap;
          break;
        case MapFailure::kView:
          message = kMessageCannotView;
          break;
      }
    } else {
      message = ProcessView(parent, fileName, std::get<MappedFile>(mapping).View());
    }
  }  // the view is unmapped and the file closed before the user reads any message
  if (message != nullptr) shell_.ShowError(QString::fromLatin1(message), kErrorBoxStyle);
  fileInProcess_.clear();
}

const char* ViewerCore::ProcessView(TTreeNode* parent, const std::string& fileName, ByteView view) {
  MappedImage image;
  if (!IdentifyImage(image, view)) return kMessageNotPe;
  treeCut_ = false;
  BuildFileTree(parent, fileName, image);
  return treeCut_ ? kMessageTreeCut : nullptr;
}

void ViewerCore::BuildFileTree(TTreeNode* parent, const std::string& fileName, const MappedImage& image) {
  BuildScope scope(*this, shell_, items_, buildDepth_);

  TTreeNode* root = parent;
  if (root == nullptr) {
    root = items_.AddFirst(nullptr, TextFrom8Bit(fileName));
    SetNodeIcon(root, kIconFile);
  }

  TTreeNode* stats = items_.AddChild(root, QStringLiteral("Stats"));
  SetNodeIcon(stats, kIconStats);
  AddStatsNodes(stats, image);
  AddVersionNodes(stats, fileName);

  FileTreeBuild build(*this, image);
  TTreeNode* exports = items_.AddChild(root, QStringLiteral("Exported APIs"));
  SetNodeIcon(exports, kIconExports);
  EnumExports(image, &FileTreeBuild::OnExport, &build, exports);
  if (exports->GetChildren()) {
    exports->SetExpanded(false);
  } else {
    items_.Delete(exports);
  }

  EnumImportedLibraries(build.Imports(), &FileTreeBuild::OnImportedLibrary, &build, root);
  treeCut_ = build.Cut();

  if (image.IsPe32Plus()) pe32PlusRoots_.insert(root);
  if (parent != nullptr) SetNodeIcon(parent, kIconInspectedLibrary);
  ResortChildren(root);
  root->SetExpanded(true);
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

void ViewerCore::ResortChildren(TTreeNode* node) {
  // Once per file and for the rare library that gains functions: the
  // order's buffers are not worth keeping between builds.
  SiblingOrder order(collator_);
  items_.SortChildren(node, [&order](std::span<TTreeNode*> children) { SortSiblings(children, order); });
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
#ifdef _WIN32
  const std::size_t delimiter = path.find_last_of("\\:/");
#else
  const std::size_t delimiter = path.find_last_of('/');
#endif
  fileFolder_ = delimiter == std::string::npos ? std::string() : path.substr(0, delimiter + 1);
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
  if (!pe32PlusRoots_.empty()) pe32PlusRoots_.erase(node);
}

void ViewerCore::PopupInspectClick(TTreeNode* selected) {
  if (selected == nullptr || selected->ImageIndex() != kIconLibrary) return;
  const std::string name = selected->Text().toLocal8Bit().toStdString();
  const bool pe32Plus = pe32PlusRoots_.count(selected->Parent()) != 0;
  const auto found = FindLibrary(name, fileFolder_, LoaderSearchFolders(pe32Plus));
  if (!found) {
    fileInProcess_ = name;
    shell_.ShowError(QString::fromLatin1(kMessageLibraryNotFound), kErrorBoxStyle);
    fileInProcess_.clear();
    return;
  }
  const std::string fullName = FullPathName(*found);
  items_.BeginUpdate();
  ProcessFile(selected, fullName);
  // The folder keeps its case: on a case-sensitive file system another case
  // would name another folder.
  const std::string folder = fullName.substr(0, fullName.find_last_of('/') + 1);
  selected->AppendText(QStringLiteral(" (") + TextFrom8Bit(folder) + QLatin1Char(')'));
  items_.EndUpdate();
}

void ViewerCore::InfoTreeKeyDown(std::uint16_t& key, int shift) {
  (void)shift;
  constexpr std::uint16_t kContextMenuKey = 0x5D;  // VK_APPS
  if (!keyPopup_ && key == kContextMenuKey) keyPopup_ = true;
}

}  // namespace corvane
