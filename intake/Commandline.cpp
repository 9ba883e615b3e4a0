#include "Commandline.h"

#include <QString>

#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"

namespace corvane {

void ParseCommandLine(QStringList* files) {
  if (CommandLineCarriesArguments()) {
    ParseCommandLine(files, GetCommandLineA());
    return;
  }
  files->clear();
  const std::vector<std::string>& arguments = CommandLineArguments();
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    // The caller drops item 0 as the program's path, so it stays even when
    // empty.
    if (i == 0 || !arguments[i].empty()) {
      files->append(QString::fromLocal8Bit(arguments[i].data(), static_cast<qsizetype>(arguments[i].size())));
    }
  }
}

void ParseCommandLine(QStringList* files, const char* commandLine) {
  files->clear();
  const char* text = commandLine;
  const char* end = text + std::strlen(text);
  while (text < end && static_cast<unsigned char>(*text) <= ' ') ++text;

  const char* itemStart = nullptr;
  bool quoted = false;
  auto endItem = [&](const char* itemEnd) {
    if (itemStart != nullptr && itemEnd > itemStart) {
      files->append(QString::fromLocal8Bit(itemStart, static_cast<qsizetype>(itemEnd - itemStart)));
    }
    itemStart = nullptr;
    quoted = false;
  };

  for (const char* c = text; c < end; ++c) {
    if (*c == '"') {
      if (quoted) {
        endItem(c);
      } else {
        // Unquoted characters gathered before the quote are dropped.
        itemStart = c + 1;
        quoted = true;
      }
    } else if ((*c == ' ' || *c == ',') && !quoted) {
      if (itemStart != nullptr) endItem(c);
    } else if (itemStart == nullptr) {
      itemStart = c;
    }
  }
  endItem(end);
}

}  // namespace corvane
