#pragma once
// Where things lie in a PE image's headers (PE32 and PE32+), for the code that reads them
// itself: the machine check, the resource updater, the import-table walk. Portable.
#include <cstdint>

namespace brim::pe {

inline constexpr uint32_t kNewHeaderOffsetField = 0x3C;  // in the "MZ" header
inline constexpr uint32_t kSignature = 0x00004550;       // "PE\0\0"
inline constexpr uint32_t kFileHeaderSize = 20;
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint16_t kMagicPe32 = 0x10B;
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
// Offsets inside the optional header, the same for both kinds up to the checksum.
inline constexpr uint32_t kSectionAlignmentField = 32;
inline constexpr uint32_t kFileAlignmentField = 36;
inline constexpr uint32_t kSizeOfImageField = 56;
// Where the directory count stands, and the directories after it.
inline constexpr uint32_t DirectoryCountField(bool pe32Plus) { return pe32Plus ? 108 : 92; }
inline constexpr uint32_t DirectoriesField(bool pe32Plus) { return pe32Plus ? 112 : 96; }
// Directory entries, 8 bytes each.
inline constexpr uint32_t kImportDirectory = 1;
inline constexpr uint32_t kResourceDirectory = 2;
inline constexpr uint32_t kCertificateDirectory = 4;

}  // namespace brim::pe
