#include "file_tree_build.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "child_text_index.h"
#include "mapped_image.h"
#include "node_kinds.h"
#include "reading_budget.h"
#include "sibling_order.h"
#include "viewer_shell.h"
#include "walkers.h"

namespace corvane {
namespace {

// A set of byte strings that outlive it, open addressing over a
// power-of-two table at most half full, each slot with its string's hash:
// a lookup touches one slot, most often, and the bytes only when the
// hashes agree, and an insertion allocates nothing but the table's growth.
class ByteStringSet {
 public:
  // True when `bytes` was not in the set; it is from then on.
  bool Insert(std::string_view bytes) {
    if (2 * (size_ + 1) > slots_.size()) Grow();
    const std::size_t hash = std::hash<std::string_view>()(bytes);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.bytes.data() == nullptr) {
        slot = {bytes, hash};
        ++size_;
        return true;
      }
      if (slot.hash == hash && slot.bytes == bytes) return false;
    }
  }
  void Clear() {
    slots_.clear();
    size_ = 0;
  }

 private:
  struct Slot {
    std::string_view bytes;  // data() null: empty
    std::size_t hash = 0;
  };
  void Grow() {
    std::vector<Slot> held = std::move(slots_);
    slots_.assign(std::max<std::size_t>(64, 2 * held.size()), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : held) {
      if (slot.bytes.data() == nullptr) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].bytes.data() != nullptr) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace

// One build: what the walker callbacks need. A library's
// function names are held as they are read, each once, then ordered, and
// only then made into nodes, already in their places: a library of tens of
// thousands of functions is one sort, with no second pass over the nodes.
class FileTreeBuild::Walk {
 public:
  Walk(TTreeNodes& items, ViewerShell& shell, const TextCollator& collator, const MappedImage& image)
      : items_(items),
        shell_(shell),
        collator_(collator),
        image_(image),
        imports_(image),
        file_(image.base),
        budget_(image.base.Size()),
        order_(collator) {}

  // True when the build stopped early because the file named more entries
  // than it can hold.
  bool Cut() const { return budget_.Cut() || imports_.Cut(); }

  static bool OnExport(void* userA, void* userB, std::string_view name, std::int32_t nameOrdinal) {
    auto& build = *static_cast<Walk*>(userA);
    auto* exports = static_cast<TTreeNode*>(userB);
    if (!build.budget_.SpendReading(name.size()) || !build.budget_.SpendEntry()) return false;
    // Composed in 8 bits so that the node's text is converted and stored once.
    std::string& text = build.exportText_;
    text.assign(name);
    text += " (";
    char digits[16];
    const auto converted = std::to_chars(digits, digits + sizeof digits, nameOrdinal);
    text.append(digits, converted.ptr);
    text += ')';
    SetNodeIcon(build.items_.AddChild(exports, EightBitText(text).View()), kIconExport);
    build.shell_.PumpMessages();
    return true;
  }

  static bool OnImportedLibrary(void* userA, void* userB, std::string_view name) {
    auto& build = *static_cast<Walk*>(userA);
    auto* root = static_cast<TTreeNode*>(userB);
    if (!build.budget_.SpendReading(name.size())) return false;
    TTreeNode* library = build.LibraryNode(root, EightBitText(name));
    if (library == nullptr) return false;
    // Every descriptor of this name was walked the first time round; a later
    // descriptor of the same name has nothing to add.
    if (!build.walkedLibraries_.insert(name).second) return true;
    build.ForgetHeldNames();
    EnumImportedFunctions(build.imports_, name, OnImportedFunction, &build, nullptr);
    // Also after a cut: the names held were read and are shown.
    build.AddFunctions(library);
    return !build.budget_.Cut();
  }

  static bool OnImportedFunction(void* userA, void* /*userB*/, std::string_view name) {
    auto& build = *static_cast<Walk*>(userA);
    if (!build.budget_.SpendReading(name.size())) return false;
    build.Hold(name);
    build.shell_.PumpMessages();
    return true;
  }

  void AddExports(TTreeNode* exports) { EnumExports(image_, OnExport, this, exports); }
  void AddImports(TTreeNode* root) { EnumImportedLibraries(imports_, OnImportedLibrary, this, root); }

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
      if (!budget_.SpendEntry()) return nullptr;
      TTreeNode* library = items_.AddChild(root, name.View());
      SetNodeIcon(library, kIconLibrary);
      return library;
    });
  }

  void ForgetHeldNames() {
    order_.Clear(SiblingOrder::Repeats::kDrop);
    decodedNames_.Clear();
  }

  void Hold(std::string_view bytes) {
    const ByteClass byteClass = ClassifyBytes(bytes);
    // An ASCII name in the file stays where it is for the whole build, and
    // is its own text: the order drops its repeats by its bytes. Another
    // name of the file is decoded only the first time the library names
    // those bytes: a table may name the same few bytes millions of times.
    // A decoded name is copied, and so is an ordinal's text, which the
    // walker writes the next one over; the order drops different bytes
    // that decode alike. Function nodes are all of one sort group.
    const bool inFile = file_.Holds(bytes);
    if (byteClass.ascii && inFile) {
      const QLatin1StringView latin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      order_.Add(NodeTextView(latin1, byteClass.printableAscii), 0);
    } else if (!inFile || decodedNames_.Insert(bytes)) {
      order_.Add(EightBitText(bytes, byteClass).View(), 0, SiblingOrder::Lifetime::kPassing);
    }
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
    items_.ReserveChildren(library, positions.size());
    for (const std::uint32_t position : positions) {
      const NodeTextView text = order_.Text(position);
      const auto make = [&]() -> TTreeNode* {
        if (!budget_.SpendEntry()) return nullptr;
        TTreeNode* node = items_.AddChild(library, text);
        SetNodeIcon(node, kIconImport);
        return node;
      };
      if ((shown ? shown->FindOrAdd(text, make) : make()) == nullptr) break;
    }
    if (hadFunctions) SortChildrenInTreeOrder(items_, library, collator_);
  }

  TTreeNodes& items_;
  ViewerShell& shell_;
  const TextCollator& collator_;
  const MappedImage& image_;
  ImportDirectory imports_;
  ByteView file_;
  // Names read and nodes made; a node is an entry.
  ReadingBudget budget_;
  std::optional<ChildTextIndex> libraries_;
  // The functions of the library being walked, each once, as read.
  SiblingOrder order_;
  // The names of the file that the library being walked named and that
  // were not ASCII, by their bytes.
  ByteStringSet decodedNames_;
  std::unordered_set<std::string_view> walkedLibraries_;
  std::string exportText_;
};

FileTreeBuild::FileTreeBuild(TTreeNodes& items, ViewerShell& shell, const TextCollator& collator,
                             const MappedImage& image)
    : walk_(std::make_unique<Walk>(items, shell, collator, image)) {}
FileTreeBuild::~FileTreeBuild() = default;
void FileTreeBuild::AddExports(TTreeNode* exports) { walk_->AddExports(exports); }
void FileTreeBuild::AddImports(TTreeNode* root) { walk_->AddImports(root); }
bool FileTreeBuild::Cut() const { return walk_->Cut(); }

}  // namespace corvane
