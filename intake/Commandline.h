#pragma once

// The file names given on the command line.

#include <QStringList>

namespace corvane {

// Clears `files`, then appends one item per argument of the process's
// command line (the program's own path first), split at spaces and commas
// outside double quotes. Names are neither opened nor changed. Where the
// rebuilt line cannot carry the arguments (see command_line.h), each
// non-empty argument is one item as given, the program's own path always.
void ParseCommandLine(QStringList* files);

// The same over a given 8-bit line.
void ParseCommandLine(QStringList* files, const char* commandLine);

}  // namespace corvane
