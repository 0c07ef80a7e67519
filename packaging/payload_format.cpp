#include "packaging/payload_format.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace brim {
namespace {

// Every offset and length in the format is a signed 32-bit value; nothing may end beyond it.
constexpr int64_t kFormatLimit = std::numeric_limits<int32_t>::max();
constexpr int64_t kFixedPayloadFields = 16;  // versions, name length, runtime size

// Takes 64 bits so that the check means the same with a 32-bit size_t.
bool FitsFormat(uint64_t value) { return value <= static_cast<uint64_t>(kFormatLimit); }

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Reads only inside [0, limit): the payload must not borrow bytes from its own trailer.
bool ReadBounded(ByteSource& source, int64_t limit, int64_t offset, void* out, size_t size) {
  if (offset < 0 || offset > limit || static_cast<uint64_t>(limit - offset) < size) return false;
  return source.ReadAt(offset, out, size);
}

bool ReadU32(ByteSource& source, int64_t limit, int64_t offset, uint32_t& value) {
  uint8_t bytes[4];
  if (!ReadBounded(source, limit, offset, bytes, sizeof bytes)) return false;
  value = LoadU32(bytes);
  return true;
}

}  // namespace

int64_t FileByteSource::Size() {
  if (file_ == nullptr) return -1;
#if defined(_WIN32)
  if (_fseeki64(file_, 0, SEEK_END) != 0) return -1;
  const int64_t size = _ftelli64(file_);
#else
  if (fseeko(file_, 0, SEEK_END) != 0) return -1;
  const int64_t size = ftello(file_);
#endif
  return size < 0 ? -1 : size;
}

bool FileByteSource::ReadAt(int64_t offset, void* out, size_t size) {
  if (file_ == nullptr || offset < 0) return false;
#if defined(_WIN32)
  const bool seeked = _fseeki64(file_, offset, SEEK_SET) == 0;
#else
  const bool seeked = static_cast<int64_t>(static_cast<off_t>(offset)) == offset &&
                      fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
  if (!seeked) {
    readError_ = true;
    return false;
  }
  if (size == 0) return true;
  if (std::fread(out, 1, size, file_) == size) return true;
  // A short read at the end of the file is an ordinary "not there"; anything else is the disk.
  if (std::ferror(file_)) readError_ = true;
  return false;
}

bool MemoryByteSource::ReadAt(int64_t offset, void* out, size_t size) {
  if (offset < 0 || static_cast<uint64_t>(offset) > bytes_.size() ||
      bytes_.size() - static_cast<size_t>(offset) < size) {
    return false;
  }
  if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

bool LocatePayload(ByteSource& source, PayloadInfo& info) {
  const int64_t fileSize = source.Size();
  if (fileSize < static_cast<int64_t>(kTrailerSize)) return false;
  const int64_t trailer = fileSize - static_cast<int64_t>(kTrailerSize);
  // A 32-bit start and length cannot describe a payload that ends beyond 2 GiB.
  if (trailer > kFormatLimit) return false;

  uint8_t trailerBytes[kTrailerSize];
  if (!source.ReadAt(trailer, trailerBytes, sizeof trailerBytes)) return false;
  const uint32_t compressedSize = LoadU32(trailerBytes);
  const int64_t start = static_cast<int32_t>(LoadU32(trailerBytes + 4));
  const int64_t length = static_cast<int32_t>(LoadU32(trailerBytes + 8));
  if (start < 0 || start > trailer || trailer - start != length) return false;

  PayloadInfo found;
  if (!ReadU32(source, trailer, start, found.flashVersionMS) ||
      !ReadU32(source, trailer, start + 4, found.flashVersionLS) ||
      !ReadU32(source, trailer, start + 8, found.runtimeNameLength)) {
    return false;
  }
  const uint32_t nameLength = found.runtimeNameLength;
  if (nameLength == 0 || nameLength > kRuntimeNameCapacity) return false;
  if (!ReadBounded(source, trailer, start + 12, found.runtimeName, nameLength)) return false;
  found.runtimeName[nameLength - 1] = '\0';
  if (!ReadU32(source, trailer, start + 12 + nameLength, found.runtimeSize)) return false;

  found.runtimeCompressedSize = compressedSize;
  found.runtimeOffset = start + kFixedPayloadFields + nameLength;
  found.movieOffset = found.runtimeOffset + compressedSize;
  if (found.movieOffset > trailer) return false;
  found.movieLength = trailer - found.movieOffset;

  char signature[3];
  if (found.movieLength < 3 ||
      !ReadBounded(source, trailer, found.movieOffset, signature, sizeof signature)) {
    return false;
  }
  if ((signature[0] != 'F' && signature[0] != 'C') || signature[1] != 'W' || signature[2] != 'S') {
    return false;
  }
  info = found;
  return true;
}

bool AppendPayloadHead(std::vector<uint8_t>& out, uint32_t flashVersionMS, uint32_t flashVersionLS,
                       const char* runtimeName, uint32_t runtimeSize) {
  if (runtimeName == nullptr) return false;
  const size_t nameChars = std::strlen(runtimeName);
  if (nameChars == 0 || nameChars >= kRuntimeNameCapacity) return false;
  const uint32_t nameLength = static_cast<uint32_t>(nameChars + 1);
  AppendU32(out, flashVersionMS);
  AppendU32(out, flashVersionLS);
  AppendU32(out, nameLength);
  out.insert(out.end(), runtimeName, runtimeName + nameLength);
  AppendU32(out, runtimeSize);
  return true;
}

void AppendTrailer(std::vector<uint8_t>& out, uint32_t runtimeCompressedSize, uint32_t payloadStart,
                   uint32_t payloadLength) {
  AppendU32(out, runtimeCompressedSize);
  AppendU32(out, payloadStart);
  AppendU32(out, payloadLength);
}

bool AppendPayload(std::vector<uint8_t>& file, const PayloadContents& contents) {
  if (contents.runtimeName == nullptr) return false;
  const size_t nameChars = std::strlen(contents.runtimeName);
  if (nameChars == 0 || nameChars >= kRuntimeNameCapacity) return false;
  const uint32_t nameLength = static_cast<uint32_t>(nameChars + 1);

  // zlib takes a uLong, which is 32 bits on Windows; the format's own limit is smaller anyway.
  if (!FitsFormat(contents.runtime.size())) return false;
  uLongf compressedSize = compressBound(static_cast<uLong>(contents.runtime.size()));
  std::vector<uint8_t> compressed(compressedSize);
  if (compress(compressed.data(), &compressedSize, contents.runtime.data(),
               static_cast<uLong>(contents.runtime.size())) != Z_OK) {
    return false;
  }

  // Sizes checked one by one so that no sum can wrap before it is compared.
  const uint64_t start = file.size();
  if (!FitsFormat(start) || !FitsFormat(contents.movie.size()) || !FitsFormat(compressedSize)) {
    return false;
  }
  const uint64_t payloadLength = static_cast<uint64_t>(kFixedPayloadFields) + nameLength +
                                 compressedSize + contents.movie.size();
  if (!FitsFormat(start + payloadLength)) return false;

  file.reserve(file.size() + payloadLength + kTrailerSize);
  AppendPayloadHead(file, contents.flashVersionMS, contents.flashVersionLS, contents.runtimeName,
                    static_cast<uint32_t>(contents.runtime.size()));
  file.insert(file.end(), compressed.begin(), compressed.begin() + compressedSize);
  file.insert(file.end(), contents.movie.begin(), contents.movie.end());
  AppendTrailer(file, static_cast<uint32_t>(compressedSize), static_cast<uint32_t>(start),
                static_cast<uint32_t>(payloadLength));
  return true;
}

}  // namespace brim
