#pragma once

// Decorated names shaped against a demangler: nested deep, long, or short
// and expanding to far more than their length. The tests, the written test
// file and the fuzz seeds make them here.

#include <string>
#include <string_view>

namespace corvane::testing {

inline std::string Repeated(std::string_view part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += part;
  return text;
}

// f(a<a<...a<int>...>>), `depth` template argument lists deep.
inline std::string ItaniumNested(std::size_t depth) {
  std::string name = "_Z1f";
  name += Repeated("1aI", depth);
  name += 'i';
  name += Repeated("E", depth);
  return name;
}

// f(a, a(a), ...): each parameter a function type taking the one before
// twice, so each doubles what is printed; `steps` of them.
inline std::string ItaniumDoubling(std::size_t steps) {
  std::string name = "_Z1f1a";
  for (std::size_t i = 0; i < steps; ++i) {
    std::string reference = "S_";
    if (i > 0) reference.insert(1, 1, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[(i - 1) % 36]);
    name += 'F';
    name += reference;
    name += reference;
    name += 'E';
  }
  return name;
}

// A variable of a class template nested `depth` deep, each level naming the
// level inside it four times (once spelt out, three times by reference).
inline std::string MicrosoftFanOut(std::size_t depth) {
  std::string inner = "?$a@H@";
  for (std::size_t i = 0; i < depth; ++i) inner = std::string("?$a@V").append(inner).append("@V1@V1@V1@@");
  return std::string("?x@@3V").append(inner).append("@A");
}

}  // namespace corvane::testing
