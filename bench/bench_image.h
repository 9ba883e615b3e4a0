#pragma once

// The image the benchmarks open: a PE32 library with many named exports and
// many imported libraries, the shape of a large real-world DLL scaled up.

#include <cstdint>
#include <string>

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

}  // namespace corvane::bench
