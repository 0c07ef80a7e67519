#pragma once
// The import table of a PE image (PE32 or PE32+), read without trusting a byte of it: every
// offset, count and name is checked against the image before it is followed. Portable: the
// same walk serves a module the loader mapped (offsets are addresses relative to its base) and
// a file on disk (offsets go through the section table).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brim {

enum class ImageLayout { kMapped, kFile };

enum class ImportStatus {
  kOk,
  kNotImage,   // no "MZ"/"PE" headers, or headers cut short
  kNoImports,  // a valid image that imports nothing
  kMalformed,  // the import directory or one of its tables leaves the image or never ends
};

struct ImportSlot {
  std::string function;   // empty for an import by ordinal
  uint32_t ordinal = 0;   // for an import by ordinal
  uint32_t slotRva = 0;   // where the loader writes the function's address
};

struct ImportedModule {
  std::string name;       // as the image spells it, "GDI32.dll"
  bool named = false;     // false when the image keeps no name table (bound, names lost)
  std::vector<ImportSlot> slots;
};

struct ImportTable {
  ImportStatus status = ImportStatus::kNotImage;
  bool is64 = false;      // address slots are 8 bytes (PE32+) rather than 4
  std::vector<ImportedModule> modules;
};

// Reads every import descriptor of the image. Tables are cut off at generous limits (a module
// of thousands of descriptors or of a million slots is taken as damaged).
ImportTable ReadImportTable(std::span<const uint8_t> image, ImageLayout layout);

// The size the image occupies once mapped (SizeOfImage), or 0 when the headers are unusable:
// the range a caller may read of a loaded module.
uint32_t MappedImageSize(std::span<const uint8_t> headers);

// Case-insensitive ASCII comparison, as module and function names are matched.
bool SameName(std::string_view a, std::string_view b);

}  // namespace brim
