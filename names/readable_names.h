#pragma once

// Names as a person reads them. C++ compilers decorate the names they
// export with the types of their parameters (the Itanium C++ ABI of g++ and
// clang, Microsoft's `?...` decoration), and so does Rust; LLVM's demangler
// turns them back into declarations. The names come out of untrusted files,
// and the demangler has no guard of its own against names nested deeper
// than the stack holds or names that expand to gigabytes, so every name is
// checked before the call and its output bounded (see the limits below):
// each name costs time and memory in proportion to its length.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// A decorated name longer than this is shown as it is. Real names stay far
// below it (the longest export of the mingw-w64 C++ runtimes has a few
// hundred characters); the parser recurses at most once per character, so
// this also bounds the stack a name can take.
inline constexpr std::size_t kMaxDecoratedLength = 4096;
// The deepest nesting a name may open before the call, counted
// conservatively per scheme (every mark that may open a level counts, only
// explicit ends close one).
inline constexpr std::size_t kMaxDecoratedNesting = 256;
// Microsoft and Rust names refer back to earlier parts of themselves (a
// digit or a B), and each reference may repeat everything written so far:
// a name of length n with b such references may write n * 2^b characters,
// and the demangler writes them as it parses. A name is decoded only when
// n * 2^b stays within this, so that no reference can double the work past it.
inline constexpr std::size_t kMaxBackReferenceExpansion = std::size_t{1} << 18;
// A decoded text longer than this is not shown: the raw name is. For
// Itanium names the size is worked out from the parsed name before any text
// is written, so the demangler never writes more.
inline constexpr std::size_t kMaxDecodedSize = 64 * 1024;

// What `raw` reads as decoded, or nothing when it is not a decorated name,
// does not decode, or lies outside the bounds above.
std::optional<std::string> UndecoratedName(std::string_view raw);

// `raw` decoded when that is possible, else `raw` itself.
std::string ShownName(std::string_view raw);

}  // namespace corvane
