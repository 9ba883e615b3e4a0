#pragma once

// The process's raw command line as one 8-bit string. POSIX hands a program
// its arguments already split, so the line is rebuilt from them: items joined
// by one space, an item holding a comma or any character up to the space
// wrapped in double quotes. Splitting that line again gives every argument
// back as one item, unless an argument holds a double quote (which on the
// line always opens or closes a quoted item) or the program's own path is
// empty (an empty item gives no name, so the first file would take its
// place); for those the arguments themselves are kept.

#include <string>
#include <vector>

namespace corvane {

// Called once at start-up with main's arguments.
void SetCommandLineFromArguments(int argc, const char* const* argv);

// The line built from the arguments; empty before SetCommandLineFromArguments.
const char* GetCommandLineA();

// False when the line cannot give the arguments back one for one.
bool CommandLineCarriesArguments();

// The arguments as main received them, the program's own path first.
const std::vector<std::string>& CommandLineArguments();

}  // namespace corvane
