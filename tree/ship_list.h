#pragma once

// What a cross-compiled program's folder must carry: the libraries of its
// closure that were found outside the system folders. Two kinds found there
// are left out, since copying them beside a program breaks it on Windows:
// the host of an API set, whose name is virtual and whose file is the
// system's; and Wine's own libraries, wherever they lie.

#include <string>
#include <unordered_set>
#include <vector>

#include "byte_view.h"
#include "dependency_check.h"

namespace corvane {

// True when the DOS stub of `file`, a PE image, says "Wine builtin DLL" or
// "Wine placeholder DLL", as Wine marks the libraries it provides itself.
bool IsMarkedAsWines(ByteView file);

class ShipList {
 public:
  // Takes the modules of one checked file's closure that its folder must
  // carry. The checked file itself never is, nor any other file checked.
  void Add(const Closure& closure);
  // Each file to ship, once, as an absolute path, in the order found.
  std::vector<std::string> Paths() const;

 private:
  std::vector<std::string> found_;
  std::unordered_set<std::string> seen_;     // every path judged, shipped or not
  std::unordered_set<std::string> checked_;  // the files checked themselves
};

}  // namespace corvane
