#pragma once

// The image the benchmarks open: a PE32 library with many named exports and
// many imported libraries, the shape of a large real-world DLL scaled up.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pe_writer.h"

namespace corvane::bench {

inline testing::BuiltImage LargeImage(std::uint32_t exports, int libraries, int functionsPerLibrary) {
  testing::PeWriter writer(testing::Layout::Pe32);
  writer.SizeOfCode(0x120000).SizeOfInitializedData(0x40000);
  for (std::uint32_t i = 0; i < exports; ++i) {
    writer.Export("ExportedFunction" + std::to_string(i), static_cast<std::uint16_t>(i));
  }
  for (int library = 0; library < libraries; ++library) {
    std::vector<testing::ImportEntry> functions;
    for (int function = 0; function < functionsPerLibrary; ++function) {
      functions.push_back(testing::ByName("ImportedFunction" + std::to_string(function) + "_" +
                                          std::to_string(library)));
    }
    writer.Import("library" + std::to_string(library) + ".dll", std::move(functions));
  }
  return writer.Build();
}

// About `bytes` of one library's import thunks naming two- and three-byte
// names of control characters (0x01-0x1F) and 8-bit bytes (0x80-0xFF), each
// name by four thunks: names no collation weight covers, which only the
// collator can order. The same bytes for the same size, every time.
inline testing::BuiltImage UnweightedNamesImage(std::size_t bytes) {
  constexpr std::size_t kThunksPerName = 4;
  // Four thunks of four bytes and a hint/name entry of about six.
  const std::size_t names = bytes / (4 * kThunksPerName + 6);
  std::minstd_rand rng(1);
  const auto nameByte = [&rng] {
    const auto value = static_cast<int>(rng() % (31 + 128));
    return static_cast<char>(value < 31 ? value + 0x01 : value - 31 + 0x80);
  };
  std::vector<testing::ImportEntry> functions;
  for (std::size_t i = 0; i < names; ++i) {
    std::string name(2 + rng() % 2, '\0');
    for (char& c : name) c = nameByte();
    functions.push_back(testing::ByName(std::move(name)));
  }
  // The other thunks point at the names' entries, whose places a first
  // writing of the same layout tells.
  functions.resize(names * kThunksPerName, testing::RawThunk(0));
  const auto write = [&functions] {
    testing::PeWriter writer(testing::Layout::Pe32);
    writer.SizeOfCode(0x1000).Import("names.dll", functions, testing::ThunkTables::FirstThunkOnly);
    return writer.Build();
  };
  const testing::BuiltImage layout = write();
  for (std::size_t i = names; i < functions.size(); ++i) {
    const std::size_t thunk = layout.imports[0].firstThunk + 4 * (rng() % names);
    std::uint32_t rva = 0;
    for (int b = 3; b >= 0; --b) rva = (rva << 8) | layout.bytes[thunk + static_cast<std::size_t>(b)];
    functions[i] = testing::RawThunk(rva);
  }
  return write();
}

}  // namespace corvane::bench
