#include "packaging/resource_updater.h"

#include "base/pe_layout.h"

#include <cerrno>
#include <cstdlib>

#include <algorithm>
#include <ctime>

namespace brim {

namespace {

using namespace pe;
// Offsets inside a section header.
constexpr uint64_t kVirtualSizeField = 8;
constexpr uint64_t kRawSizeField = 16;

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint64_t Align(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

bool IsResourceSectionName(const uint8_t* name) {
  static const char kName[] = ".rsrc";
  for (int i = 0; i < 8; ++i) {
    const char want = i < 5 ? kName[i] : '\0';
    char c = static_cast<char>(name[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != want) return false;
    if (c == '\0') return true;
  }
  return false;
}

}  // namespace

uint32_t CurrentResourceTime() {
  // A build script that sets SOURCE_DATE_EPOCH gets the same file from the same inputs, on the
  // command line and on the desktop alike.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(epoch, &end, 10);
    if (errno == 0 && *end == '\0' && value <= 0xFFFFFFFFull) return static_cast<uint32_t>(value);
  }
  const std::time_t now = std::time(nullptr);
  return now < 0 ? 0 : static_cast<uint32_t>(now);
}

ResourceStatus ReadPeResourceLayout(ByteSource& file, PeResourceLayout& layout) {
  const int64_t fileSize = file.Size();
  uint8_t dos[kNewHeaderOffsetField + 4];
  if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return ResourceStatus::kNotPe;
  }
  const uint64_t peOffset = LoadU32(dos + kNewHeaderOffsetField);
  uint8_t pe[4 + kFileHeaderSize];
  if (!file.ReadAt(static_cast<int64_t>(peOffset), pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' ||
      pe[2] != 0 || pe[3] != 0) {
    return ResourceStatus::kNotPe;
  }
  const uint8_t* fileHeader = pe + 4;
  const uint16_t sectionCount = Load16(fileHeader + 2);
  const uint32_t symbolTable = LoadU32(fileHeader + 8);
  const uint16_t optionalSize = Load16(fileHeader + 16);

  PeResourceLayout found;
  found.optionalHeaderOffset = peOffset + 4 + kFileHeaderSize;
  // The longest optional header we need: PE32+ up to the certificate directory's end.
  uint8_t optional[112 + 8 * 5] = {};
  const size_t optionalRead = std::min<size_t>(optionalSize, sizeof optional);
  if (optionalRead < 2 ||
      !file.ReadAt(static_cast<int64_t>(found.optionalHeaderOffset), optional, optionalRead)) {
    return ResourceStatus::kNotPe;
  }
  const uint16_t magic = Load16(optional);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return ResourceStatus::kNotPe;
  found.pe32Plus = magic == kMagicPe32Plus;
  const uint64_t directoryCountField = DirectoryCountField(found.pe32Plus);
  const uint64_t directories = directoryCountField + 4;
  if (optionalRead < directories + 8 * (kResourceDirectory + 1)) return ResourceStatus::kNotPe;
  const uint32_t directoryCount = LoadU32(optional + directoryCountField);
  if (directoryCount <= kResourceDirectory) return ResourceStatus::kNoResourceSection;
  found.sectionAlignment = LoadU32(optional + kSectionAlignmentField);
  found.fileAlignment = LoadU32(optional + kFileAlignmentField);
  found.sizeOfImage = LoadU32(optional + kSizeOfImageField);
  if (!IsPowerOfTwo(found.fileAlignment) || !IsPowerOfTwo(found.sectionAlignment)) {
    return ResourceStatus::kNotPe;
  }
  const uint32_t resourceRva = LoadU32(optional + directories + 8 * kResourceDirectory);
  uint32_t certificateOffset = 0;
  if (directoryCount > kCertificateDirectory &&
      optionalRead >= directories + 8 * (kCertificateDirectory + 1)) {
    // The one directory whose address is a file position, not an address in the image.
    certificateOffset = LoadU32(optional + directories + 8 * kCertificateDirectory);
    if (LoadU32(optional + directories + 8 * kCertificateDirectory + 4) == 0) {
      certificateOffset = 0;
    }
  }

  const uint64_t sectionTable = found.optionalHeaderOffset + optionalSize;
  std::vector<uint8_t> sections(kSectionHeaderSize * sectionCount);
  if (!file.ReadAt(static_cast<int64_t>(sectionTable), sections.data(), sections.size())) {
    return ResourceStatus::kNotPe;
  }
  int resource = -1;
  for (int i = 0; i < sectionCount && resource < 0; ++i) {
    if (IsResourceSectionName(&sections[kSectionHeaderSize * i])) resource = i;
  }
  if (resource < 0) return ResourceStatus::kNoResourceSection;
  const uint8_t* header = &sections[kSectionHeaderSize * resource];
  found.sectionHeaderOffset = sectionTable + kSectionHeaderSize * resource;
  found.sectionVirtualSize = LoadU32(header + kVirtualSizeField);
  found.sectionRva = LoadU32(header + 12);
  found.sectionRawSize = LoadU32(header + kRawSizeField);
  found.sectionRawPointer = LoadU32(header + 20);
  if (found.sectionRawSize == 0) return ResourceStatus::kNoResourceSection;
  if (fileSize < 0 || static_cast<uint64_t>(found.sectionRawPointer) + found.sectionRawSize >
                          static_cast<uint64_t>(fileSize)) {
    return ResourceStatus::kMalformed;
  }
  // We rebuild from the section's first byte; a table that starts elsewhere would leave
  // whatever shares the section at a wrong place.
  if (resourceRva != found.sectionRva) return ResourceStatus::kUnsupportedLayout;

  // The rebuilt section is written over the old one's bytes: they must belong to it alone.
  if (found.sectionRawPointer < sectionTable + sections.size()) {
    return ResourceStatus::kUnsupportedLayout;
  }
  for (int i = 0; i < sectionCount; ++i) {
    if (i == resource) continue;
    const uint8_t* other = &sections[kSectionHeaderSize * i];
    const uint32_t rva = LoadU32(other + 12);
    const uint32_t rawSize = LoadU32(other + kRawSizeField);
    const uint32_t rawPointer = LoadU32(other + 20);
    if (rawSize != 0 && rawPointer <= found.sectionRawPointer &&
        static_cast<uint64_t>(rawPointer) + rawSize > found.sectionRawPointer) {
      return ResourceStatus::kUnsupportedLayout;
    }
    if (rva > found.sectionRva) found.nextRva = std::min(found.nextRva.value_or(rva), rva);
    if (rawSize != 0 && rawPointer > found.sectionRawPointer) {
      found.nextRawPointer =
          std::min<uint64_t>(found.nextRawPointer.value_or(rawPointer), rawPointer);
    }
  }
  for (uint32_t position : {symbolTable, certificateOffset}) {
    if (position > found.sectionRawPointer) {
      found.nextRawPointer = std::min<uint64_t>(found.nextRawPointer.value_or(position), position);
    }
  }
  layout = found;
  return ResourceStatus::kOk;
}

void ApplyPatches(std::vector<uint8_t>& file, const std::vector<FilePatch>& patches) {
  for (const auto& p : patches) {
    if (file.size() < p.offset + p.bytes.size()) file.resize(p.offset + p.bytes.size());
    std::copy(p.bytes.begin(), p.bytes.end(), file.begin() + static_cast<ptrdiff_t>(p.offset));
  }
}

bool ApplyPatches(std::FILE* file, const std::vector<FilePatch>& patches) {
  for (const auto& p : patches) {
#if defined(_WIN32)
    if (_fseeki64(file, static_cast<int64_t>(p.offset), SEEK_SET) != 0) return false;
#else
    if (fseeko(file, static_cast<off_t>(p.offset), SEEK_SET) != 0) return false;
#endif
    if (std::fwrite(p.bytes.data(), 1, p.bytes.size(), file) != p.bytes.size()) return false;
  }
  return std::fflush(file) == 0;
}

ResourceStatus ResourceEdit::Begin(ByteSource& file, bool discardExisting) {
  table_ = ResourceTable();
  if (auto status = ReadPeResourceLayout(file, layout_); status != ResourceStatus::kOk) {
    return status;
  }
  std::vector<uint8_t> section(layout_.sectionRawSize);
  if (!file.ReadAt(layout_.sectionRawPointer, section.data(), section.size())) {
    return ResourceStatus::kMalformed;
  }
  // The file's directory headers are kept even when its resources are not; a section that
  // is to be replaced whole need not be readable.
  const ResourceStatus status = table_.Parse(section, layout_.sectionRva);
  if (discardExisting) {
    table_.Clear();
    return ResourceStatus::kOk;
  }
  return status;
}

ResourceStatus ResourceEdit::Prepare(uint32_t newDirectoryTime, std::vector<FilePatch>& patches,
                                     SectionSizes* sizesOut) {
  const auto sizes = table_.Measure(layout_.fileAlignment);
  if (!sizes) return ResourceStatus::kTooLarge;
  const uint64_t virtualEnd = static_cast<uint64_t>(layout_.sectionRva) +
                              Align(sizes->virtualSize, layout_.sectionAlignment);
  if (virtualEnd > 0xFFFFFFFFull) return ResourceStatus::kTooLarge;
  if (layout_.nextRva && virtualEnd > *layout_.nextRva) return ResourceStatus::kNoRoom;
  if (layout_.nextRawPointer &&
      static_cast<uint64_t>(layout_.sectionRawPointer) + sizes->rawSize > *layout_.nextRawPointer) {
    return ResourceStatus::kNoRoom;
  }
  auto section = table_.Build(layout_.sectionRva, layout_.fileAlignment, newDirectoryTime);
  if (!section) return ResourceStatus::kTooLarge;

  // The image ends with the last section by address; only when that is ours does its size
  // change, and then to the aligned end of the new section.
  const uint32_t sizeOfImage =
      layout_.nextRva ? layout_.sizeOfImage : static_cast<uint32_t>(virtualEnd);
  const uint64_t resourceDirectory =
      layout_.optionalHeaderOffset + DirectoriesField(layout_.pe32Plus) + 8 * kResourceDirectory;

  patches.clear();
  patches.push_back({layout_.sectionRawPointer, std::move(*section)});
  patches.push_back({layout_.sectionHeaderOffset + kVirtualSizeField, Le32(sizes->virtualSize)});
  patches.push_back({layout_.sectionHeaderOffset + kRawSizeField, Le32(sizes->rawSize)});
  patches.push_back({resourceDirectory + 4, Le32(sizes->virtualSize)});
  patches.push_back({layout_.optionalHeaderOffset + kSizeOfImageField, Le32(sizeOfImage)});
  if (sizesOut) *sizesOut = *sizes;
  return ResourceStatus::kOk;
}

ResourceStatus ResourceFileUpdate::Begin(const char* path, bool discardExisting) {
  file_.reset(std::fopen(path, "r+b"));
  if (!file_) return ResourceStatus::kOpenFailed;
  FileByteSource source(file_.get());
  ResourceStatus status = edit_.Begin(source, discardExisting);
  if (status == ResourceStatus::kOk && source.HadReadError()) status = ResourceStatus::kReadFailed;
  if (status != ResourceStatus::kOk) file_.reset();
  return status;
}

ResourceStatus ResourceFileUpdate::End(bool discard, uint32_t newDirectoryTime) {
  if (!file_) return ResourceStatus::kNotBegun;
  UniqueStdFile file = std::move(file_);
  if (discard) return ResourceStatus::kOk;
  std::vector<FilePatch> patches;
  const ResourceStatus status = edit_.Prepare(newDirectoryTime, patches);
  if (status != ResourceStatus::kOk) return status;
  const bool written = ApplyPatches(file.get(), patches);
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed ? ResourceStatus::kOk : ResourceStatus::kWriteFailed;
}

}  // namespace brim
