#pragma once
// The projector file layout: a movie payload and a 12-byte trailer appended to the executable.
// Portable: the Win32 reader and the projector builder both go through this one definition.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

namespace brim {

constexpr uint32_t kMovieStreamMagic = 0x55665566;
constexpr size_t kTrailerSize = 12;
constexpr size_t kRuntimeNameCapacity = 260;

// A little-endian 32-bit value, as every integer of the projector and PE formats is stored.
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A stdio file that closes itself.
struct StdFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueStdFile = std::unique_ptr<std::FILE, StdFileCloser>;

// Random-access bytes to read a payload from: the running file, or memory in tests and fuzzing.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t Size() = 0;  // -1 when unknown
  // Reads exactly `size` bytes at `offset`; false when any of them lies outside the source or
  // the read fails.
  virtual bool ReadAt(int64_t offset, void* out, size_t size) = 0;
};

// A stdio file opened "rb" by the caller; does not own it.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(std::FILE* file) : file_(file) {}
  int64_t Size() override;
  bool ReadAt(int64_t offset, void* out, size_t size) override;
  bool HadReadError() const { return readError_; }

 private:
  std::FILE* file_;
  bool readError_ = false;
};

class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  bool ReadAt(int64_t offset, void* out, size_t size) override;

 private:
  std::span<const uint8_t> bytes_;
};

// What a checked payload says, with the offsets the reader and the runtime extraction need.
struct PayloadInfo {
  uint32_t flashVersionMS = 0;
  uint32_t flashVersionLS = 0;
  uint32_t runtimeNameLength = 0;               // N, the NUL included
  char runtimeName[kRuntimeNameCapacity] = {};  // always NUL-terminated
  uint32_t runtimeSize = 0;
  uint32_t runtimeCompressedSize = 0;
  int64_t runtimeOffset = 0;  // first byte of the compressed runtime
  int64_t movieOffset = 0;    // first byte of the movie ("FWS" or "CWS")
  int64_t movieLength = 0;    // bytes up to the trailer
};

// Finds and checks the payload. False means "no payload": short file, trailer fields that do
// not agree, a name length of 0 or above 260, any offset outside the file, or a movie that does
// not begin with "FWS" or "CWS". `info` is only meaningful on true.
bool LocatePayload(ByteSource& source, PayloadInfo& info);

// Everything a projector carries besides its executable image.
struct PayloadContents {
  uint32_t flashVersionMS = 0;
  uint32_t flashVersionLS = 0;
  const char* runtimeName = "\\flash.ocx";  // with its leading backslash
  std::span<const uint8_t> runtime;         // the control module, uncompressed
  std::span<const uint8_t> movie;           // the SWF file as stored
};

// The payload's fields before the compressed runtime: the versions, the name's length, the
// name with its NUL and the runtime's size. False when the name is empty or longer than 259
// bytes.
bool AppendPayloadHead(std::vector<uint8_t>& out, uint32_t flashVersionMS, uint32_t flashVersionLS,
                       const char* runtimeName, uint32_t runtimeSize);
// The 12 bytes that end every projector.
void AppendTrailer(std::vector<uint8_t>& out, uint32_t runtimeCompressedSize, uint32_t payloadStart,
                   uint32_t payloadLength);

// Appends payload and trailer to `file` (the executable's bytes). False when the runtime cannot
// be compressed, the name is empty or longer than 259 bytes, or the result would not fit the
// format's signed 32-bit offsets.
bool AppendPayload(std::vector<uint8_t>& file, const PayloadContents& contents);

}  // namespace brim
