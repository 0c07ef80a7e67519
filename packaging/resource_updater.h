#pragma once
// Editing the resources of a PE32 or PE32+ file: read its resource section, change the list,
// and write back a rebuilt section with the section header, the resource data directory and
// the image size made to match. Nothing is written until every size has been checked, so a
// refused edit leaves the file as it was.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "packaging/payload_format.h"
#include "packaging/resource_section.h"

namespace brim {

// Where the resource section sits in a PE file, and what limits its growth.
struct PeResourceLayout {
  bool pe32Plus = false;
  uint64_t optionalHeaderOffset = 0;
  uint64_t sectionHeaderOffset = 0;  // the 40-byte header of ".rsrc"
  uint32_t fileAlignment = 0;
  uint32_t sectionAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sectionRva = 0;
  uint32_t sectionVirtualSize = 0;
  uint32_t sectionRawPointer = 0;
  uint32_t sectionRawSize = 0;
  // The first address and the first file position used by anything after the section (other
  // sections, the symbol table, a certificate table); nothing when the section is last.
  std::optional<uint32_t> nextRva;
  std::optional<uint64_t> nextRawPointer;
};

// Reads and checks the headers. Every offset and count is checked against the file.
ResourceStatus ReadPeResourceLayout(ByteSource& file, PeResourceLayout& layout);

// One write of a rebuilt file: `bytes` at `offset`.
struct FilePatch {
  uint64_t offset = 0;
  std::vector<uint8_t> bytes;
};

// Writes the patches into a file held in memory, growing it when the section grows at its end;
// the file never gets shorter.
void ApplyPatches(std::vector<uint8_t>& file, const std::vector<FilePatch>& patches);
// The same into an open stdio file; false when a seek or write fails.
bool ApplyPatches(std::FILE* file, const std::vector<FilePatch>& patches);

// The time stamp a directory new to the file gets: now, in seconds since 1970.
uint32_t CurrentResourceTime();

// One edit of one file's resources.
class ResourceEdit {
 public:
  // Reads the headers and the resource section. With `discardExisting`, the edit starts from
  // an empty list and every resource of the file is dropped when it is written.
  ResourceStatus Begin(ByteSource& file, bool discardExisting = false);
  ResourceTable& Resources() { return table_; }
  const PeResourceLayout& Layout() const { return layout_; }
  // The writes that make the file hold the edited resources. kNoRoom when the section would
  // have to grow into what follows it; kTooLarge when it would not fit 32-bit sizes.
  ResourceStatus Prepare(uint32_t newDirectoryTime, std::vector<FilePatch>& patches,
                         SectionSizes* sizes = nullptr);

 private:
  PeResourceLayout layout_;
  ResourceTable table_;
};

// Begin, changes and End of an edit of a file on disk, for callers that keep the file's path
// rather than its bytes. The file stays open "r+b" from Begin to End.
class ResourceFileUpdate {
 public:
  ResourceStatus Begin(const char* path, bool discardExisting = false);
  // Nothing when Begin has not succeeded.
  ResourceTable* Resources() { return file_ ? &edit_.Resources() : nullptr; }
  // Writes the edit unless `discard`; the file is closed either way.
  ResourceStatus End(bool discard, uint32_t newDirectoryTime = CurrentResourceTime());

 private:
  UniqueStdFile file_;
  ResourceEdit edit_;
};

}  // namespace brim
