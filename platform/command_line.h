#pragma once

// The process's raw command line as one 8-bit string. POSIX hands a program
// its arguments already split, so the line is rebuilt from them: items joined
// by one space, an item holding a space or a comma wrapped in double quotes.
// Splitting that line again gives every argument back as one item.

#include <string>

namespace corvane {

// Called once at start-up with main's arguments.
void SetCommandLineFromArguments(int argc, const char* const* argv);

// The line built from the arguments; empty before SetCommandLineFromArguments.
const char* GetCommandLineA();

// The line for `argv` without storing it.
std::string JoinCommandLine(int argc, const char* const* argv);

}  // namespace corvane
