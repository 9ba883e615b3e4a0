#pragma once

// A dependency check's result as corvane-dump prints it: one line per module
// like `ldd`, or JSON.

#include <string>

#include "dependency_check.h"

namespace corvane {

// Every module but the file itself, one line each, in the order found:
// "\tNAME => PATH", or "=> not found", with what else there is to say in
// parentheses; then one line per function that would not bind:
// "\tFUNCTION from LIBRARY => REASON (needed by MODULE)". UTF-8. With
// `undecorate`, a decorated FUNCTION is shown decoded.
std::string ClosureAsText(const Closure& closure, bool undecorate = false);

// What a finding's function reads as: decoded with `undecorate` when it is
// a decorated name.
std::string ShownFunction(const Finding& finding, bool undecorate);

// {"file", "modules": [{"name", "path", "foundIn", "machine", "apiSet", "delayLoaded",
// "neededBy"}...], "problems": [...], "warnings": [...]}, where each problem
// or warning is {"module", "library", "function", "reason"}. UTF-8. With
// `undecorate`, a decorated "function" is shown decoded and followed by
// "name", the name as imported.
std::string ClosureAsJson(const std::string& file, const Closure& closure, bool undecorate = false);

}  // namespace corvane
