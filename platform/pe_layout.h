#pragma once

// Offsets and sizes of the PE/COFF structures the program reads, as the
// PE/COFF format documents them. Fields are read one at a time through
// ByteView, never by casting file bytes to structures.

#include <cstdint>

namespace corvane::pe {

inline constexpr std::uint16_t kDosSignature = 0x5A4D;  // "MZ"
inline constexpr std::uint32_t kNtSignature = 0x4550;   // "PE\0\0"
inline constexpr std::uint32_t kDosNewHeaderOffset = 0x3C;  // e_lfanew

// IMAGE_FILE_HEADER follows the 4-byte signature.
inline constexpr std::uint32_t kFileHeaderOffset = 4;
inline constexpr std::uint32_t kFileHeaderSize = 20;
inline constexpr std::uint32_t kMachine = kFileHeaderOffset;
inline constexpr std::uint32_t kNumberOfSections = kFileHeaderOffset + 2;
inline constexpr std::uint32_t kSizeOfOptionalHeader = kFileHeaderOffset + 16;
inline constexpr std::uint32_t kOptionalHeaderOffset = kFileHeaderOffset + kFileHeaderSize;

// Optional header, relative to its start.
inline constexpr std::uint16_t kMagicPe32 = 0x10B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x20B;
inline constexpr std::uint32_t kMagic = 0;
inline constexpr std::uint32_t kSizeOfCode = 4;
inline constexpr std::uint32_t kSizeOfInitializedData = 8;
inline constexpr std::uint32_t kSizeOfUninitializedData = 12;
inline constexpr std::uint32_t kImageBasePe32 = 28;      // 32 bits
inline constexpr std::uint32_t kImageBasePe32Plus = 24;  // 64 bits
inline constexpr std::uint32_t kSizeOfHeaders = 60;
inline constexpr std::uint32_t kNumberOfRvaAndSizesPe32 = 92;
inline constexpr std::uint32_t kNumberOfRvaAndSizesPe32Plus = 108;
inline constexpr std::uint32_t kDataDirectoriesPe32 = 96;
inline constexpr std::uint32_t kDataDirectoriesPe32Plus = 112;
inline constexpr std::uint32_t kDataDirectorySize = 8;

inline constexpr std::uint16_t kDirectoryExport = 0;
inline constexpr std::uint16_t kDirectoryImport = 1;
inline constexpr std::uint16_t kDirectoryResource = 2;
inline constexpr std::uint16_t kDirectoryDelayImport = 13;

// IMAGE_SECTION_HEADER.
inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kSectionName = 0;
inline constexpr std::uint32_t kSectionNameSize = 8;
inline constexpr std::uint32_t kSectionVirtualAddress = 12;
inline constexpr std::uint32_t kSectionSizeOfRawData = 16;
inline constexpr std::uint32_t kSectionPointerToRawData = 20;

// IMAGE_EXPORT_DIRECTORY.
inline constexpr std::uint32_t kExportBase = 0x10;
inline constexpr std::uint32_t kExportNumberOfFunctions = 0x14;
inline constexpr std::uint32_t kExportAddressOfFunctions = 0x1C;
inline constexpr std::uint32_t kExportNumberOfNames = 0x18;
inline constexpr std::uint32_t kExportAddressOfNames = 0x20;
inline constexpr std::uint32_t kExportAddressOfNameOrdinals = 0x24;

// IMAGE_IMPORT_DESCRIPTOR.
inline constexpr std::uint32_t kImportDescriptorSize = 20;
inline constexpr std::uint32_t kImportOriginalFirstThunk = 0;
inline constexpr std::uint32_t kImportName = 12;
inline constexpr std::uint32_t kImportFirstThunk = 16;
inline constexpr std::uint32_t kHintSize = 2;  // IMAGE_IMPORT_BY_NAME starts with a hint

// IMAGE_DELAYLOAD_DESCRIPTOR.
inline constexpr std::uint32_t kDelayDescriptorSize = 32;
inline constexpr std::uint32_t kDelayAttributes = 0;
inline constexpr std::uint32_t kDelayAttributeRvaBased = 1;  // else its fields are addresses
inline constexpr std::uint32_t kDelayDllName = 4;
inline constexpr std::uint32_t kDelayImportNameTable = 16;

// Resource directory.
inline constexpr std::uint32_t kResourceDirectorySize = 16;
inline constexpr std::uint32_t kResourceNumberOfNamedEntries = 12;
inline constexpr std::uint32_t kResourceNumberOfIdEntries = 14;
inline constexpr std::uint32_t kResourceEntrySize = 8;
inline constexpr std::uint32_t kResourceSubdirectoryFlag = 0x80000000;
inline constexpr std::uint32_t kResourceTypeVersion = 16;

}  // namespace corvane::pe
