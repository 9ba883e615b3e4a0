#include "readable_names.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "llvm/Demangle/Demangle.h"
#include "llvm/Demangle/ItaniumDemangle.h"

namespace corvane {
namespace {

namespace itanium = llvm::itanium_demangle;

// Frees what the demangler allocated with malloc.
struct FreeText {
  void operator()(char* text) const { std::free(text); }
};
using DemangledText = std::unique_ptr<char, FreeText>;

// The deepest level a name opens: `opens` and `closes` say what each
// character does, and a character that opens a level with no end of its
// own (a pointer, a qualifier) is simply never closed.
template <typename Opens, typename Closes>
std::size_t Nesting(std::string_view raw, Opens opens, Closes closes) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  for (const char c : raw) {
    if (opens(c)) {
      deepest = std::max(deepest, ++depth);
    } else if (closes(c) && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Whether `length` doubled once per back-reference stays within the bound.
bool ExpansionWithin(std::size_t length, std::size_t backReferences) {
  return backReferences < 32 && (length << backReferences) <= kMaxBackReferenceExpansion;
}

enum class NameScheme { kPlain, kItanium, kMicrosoft, kRust };

// The decoration scheme `raw` is spelled in, by its start alone.
NameScheme SchemeOf(std::string_view raw) {
  if (raw.starts_with("_Z") || raw.starts_with("___Z")) return NameScheme::kItanium;
  if (raw.starts_with("_R")) return NameScheme::kRust;
  if (raw.starts_with('?')) return NameScheme::kMicrosoft;
  return NameScheme::kPlain;
}

bool WithinBounds(std::string_view raw, NameScheme scheme) {
  if (raw.size() > kMaxDecoratedLength) return false;
  switch (scheme) {
    case NameScheme::kItanium:
      // Template arguments, nested names, local names, expressions, function
      // types, literals and packs end with E; pointers, references and
      // qualifiers nest without an end.
      return Nesting(
                 raw, [](char c) { return std::string_view("INZXFLJPROKVCDU").find(c) != std::string_view::npos; },
                 [](char c) { return c == 'E'; }) <= kMaxDecoratedNesting;
    case NameScheme::kMicrosoft: {
      // Every nested name or template starts with ? or $; each counts.
      const auto marks = static_cast<std::size_t>(std::count_if(raw.begin(), raw.end(), [](char c) {
        return c == '?' || c == '$';
      }));
      // Back-references are digits; numbers are digits too, and count alike.
      const auto digits = static_cast<std::size_t>(std::count_if(raw.begin(), raw.end(), [](char c) {
        return c >= '0' && c <= '9';
      }));
      return marks <= kMaxDecoratedNesting && ExpansionWithin(raw.size(), digits);
    }
    case NameScheme::kRust: {
      // Every upper-case letter may open a path, type or generic level.
      const auto levels = static_cast<std::size_t>(std::count_if(raw.begin(), raw.end(), IsUpper));
      const auto backReferences = static_cast<std::size_t>(std::count(raw.begin(), raw.end(), 'B'));
      return levels <= kMaxDecoratedNesting && ExpansionWithin(raw.size(), backReferences);
    }
    case NameScheme::kPlain:
      break;
  }
  return false;
}

// The parser's nodes, in blocks freed together when the name is done.
class NodeArena {
 public:
  template <typename T, typename... Args>
  T* makeNode(Args&&... args) {
    return new (Allocate(sizeof(T))) T(std::forward<Args>(args)...);
  }
  void* allocateNodeArray(std::size_t count) { return Allocate(count * sizeof(itanium::Node*)); }
  void reset() {
    blocks_.clear();
    left_ = 0;
  }

 private:
  void* Allocate(std::size_t bytes) {
    constexpr std::size_t kAlignment = alignof(std::max_align_t);
    bytes = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    if (bytes > left_) {
      const std::size_t size = std::max<std::size_t>(bytes, 16 * 1024);
      blocks_.push_back(std::make_unique_for_overwrite<std::max_align_t[]>(size / sizeof(std::max_align_t) + 1));
      next_ = reinterpret_cast<char*>(blocks_.back().get());
      left_ = size;
    }
    char* start = next_;
    next_ += bytes;
    left_ -= bytes;
    return start;
  }

  std::vector<std::unique_ptr<std::max_align_t[]>> blocks_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
};

using ItaniumParser = itanium::ManglingParser<NodeArena>;

// An upper bound on the text a parsed Itanium name prints, worked out from
// its nodes before anything is printed. Back-references make the parse a
// graph whose shared parts print once per reference, so a short name can
// print gigabytes; each node's bound is worked out once and summed per use.
class PrintedSize {
 public:
  std::uint64_t Of(const itanium::Node* root) { return Visit(root).size; }

 private:
  // What a node prints at most, and the longest pack below it (a pack
  // expansion prints its pattern once per element).
  struct Bound {
    std::uint64_t size = 0;
    std::uint64_t pack = 1;
  };
  // Past this nothing is shown anyway; sums stop growing here.
  static constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
  // What a node prints besides its names and children: operators,
  // keywords, punctuation, spelled-out standard names.
  static constexpr std::uint64_t kPerNode = 64;

  static std::uint64_t Add(std::uint64_t a, std::uint64_t b) { return std::min(a + b, kSaturated); }
  static std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > kSaturated / b ? kSaturated : std::min(a * b, kSaturated);
  }

  // Gathers a node's parts, as its constructor took them, into `bound`
  // (the matcher takes it by value: copies add to one bound).
  struct Parts {
    PrintedSize& sizes;
    Bound& bound;
    void TakeNode(const itanium::Node* child) {
      if (child == nullptr) return;
      const Bound part = sizes.Visit(child);
      bound.size = Add(bound.size, part.size);
      bound.pack = std::max(bound.pack, part.pack);
    }
    // Qualifiers, flags and kinds print as a few words at most.
    template <typename Part>
    void Take(const Part& part) {
      if constexpr (std::is_convertible_v<Part, const itanium::Node*>) {
        TakeNode(part);
      } else if constexpr (std::is_same_v<Part, itanium::NodeArray>) {
        for (const itanium::Node* child : part) TakeNode(child);
        bound.pack = std::max<std::uint64_t>(bound.pack, part.size());
      } else if constexpr (std::is_same_v<Part, itanium::StringView>) {
        bound.size = Add(bound.size, part.size());
      }
    }
    template <typename... Args>
    void operator()(const Args&... args) {
      (Take(args), ...);
    }
  };

  Bound Visit(const itanium::Node* node) {
    const auto [known, fresh] = known_.try_emplace(node);
    // A node met again while its own parts are visited is a cycle, which
    // the printer breaks off: it prints nothing there.
    if (!fresh) return known->second;
    Bound bound{kPerNode, 1};
    Parts parts{*this, bound};
    node->visit([&](const auto* typed) { Match(parts, typed); });
    if (node->getKind() == itanium::Node::KParameterPackExpansion) bound.size = Times(bound.size, bound.pack);
    return known_[node] = bound;
  }

  template <typename Typed>
  static void Match(Parts& parts, const Typed* node) {
    node->match(parts);
  }
  static void Match(Parts& parts, const itanium::ForwardTemplateReference* node) { parts.TakeNode(node->Ref); }

  std::unordered_map<const itanium::Node*, Bound> known_;
};

std::optional<std::string> DecodeItanium(std::string_view raw) {
  ItaniumParser parser(raw.data(), raw.data() + raw.size());
  const itanium::Node* root = parser.parse();
  if (root == nullptr || PrintedSize().Of(root) > kMaxDecodedSize) return std::nullopt;
  itanium::OutputBuffer out;
  if (!itanium::initializeOutputBuffer(nullptr, nullptr, out, 1024)) return std::nullopt;
  root->print(out);
  // Printing grows the buffer, which may move it: it is owned once done.
  const DemangledText printed(out.getBuffer());
  std::string text(out.getBuffer(), out.getCurrentPosition());
  // LLVM 14 prints a constructor or destructor of a class with an ABI tag
  // without its name ("failure[abi:cxx11]::(char const*)"); the raw name
  // says more than that.
  if (text.find("]::(") != std::string::npos || text.find("]::~(") != std::string::npos) return std::nullopt;
  return text;
}

std::optional<std::string> FromDemangler(char* decoded, int status) {
  const DemangledText owner(decoded);
  if (decoded == nullptr || status != llvm::demangle_success) return std::nullopt;
  return std::string(decoded);
}

}  // namespace

std::optional<std::string> UndecoratedName(std::string_view raw) {
  const NameScheme scheme = SchemeOf(raw);
  if (scheme == NameScheme::kPlain || !WithinBounds(raw, scheme)) return std::nullopt;
  // The demangler reads up to a NUL; a name holding one is not a name.
  if (raw.find('\0') != std::string_view::npos) return std::nullopt;
  std::optional<std::string> decoded;
  if (scheme == NameScheme::kItanium) {
    decoded = DecodeItanium(raw);
  } else {
    const std::string terminated(raw);
    int status = 0;
    decoded = scheme == NameScheme::kRust
                  ? FromDemangler(llvm::rustDemangle(terminated.c_str(), nullptr, nullptr, &status), status)
                  : FromDemangler(llvm::microsoftDemangle(terminated.c_str(), nullptr, nullptr, nullptr, &status),
                                  status);
  }
  if (!decoded || decoded->empty() || decoded->size() > kMaxDecodedSize || *decoded == raw) return std::nullopt;
  return decoded;
}

std::string ShownName(std::string_view raw) {
  std::optional<std::string> decoded = UndecoratedName(raw);
  return decoded ? std::move(*decoded) : std::string(raw);
}

}  // namespace corvane
