#pragma once
// Portable pieces of getting the player control at hand: unpacking the compressed copy a
// projector carries, and finding a registered control's file from registry values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace brim {

// Inflates `compressedSize` bytes of one zlib stream starting at `offset` of `source` and
// appends what comes out to `destination`. Input is read whole when it can be allocated,
// otherwise 1024 bytes at a time; output leaves in 4096-byte pieces. A corrupt or truncated
// stream leaves a shorter file; the result says whether the stream ended properly.
bool InflateRuntime(std::FILE* source, int64_t offset, uint32_t compressedSize,
                    std::FILE* destination);
// The first `limit` bytes (or fewer) of the same stream, to look at the module's headers
// without unpacking all of it.
std::vector<uint8_t> InflateRuntimeHead(std::FILE* source, int64_t offset, uint32_t compressedSize,
                                        size_t limit);

// Reads keys below HKEY_CLASSES_ROOT. The Win32 side implements it; tests give their own.
class ClassesRootReader {
 public:
  virtual bool KeyExists(const std::string& key) = 0;
  // The key's default value; empty when the key or the value is missing.
  virtual std::optional<std::string> DefaultValue(const std::string& key) = 0;

 protected:
  ~ClassesRootReader() = default;
};

// The server path registered for `classText`: the "LocalServer32" key when it exists, else the
// "InprocServer32" key; a value wrapped in double quotes loses them.
std::optional<std::string> FindRegisteredServer(ClassesRootReader& registry,
                                                const std::string& classText);

// Removes one pair of surrounding double quotes, the way a registered path may be stored.
std::string StripQuotes(const std::string& text);

// Whether an installed control of version (ms, ls) is strictly newer than the packed one.
constexpr bool InstalledIsNewer(uint32_t installedMS, uint32_t installedLS, uint32_t packedMS,
                                uint32_t packedLS) {
  return installedMS > packedMS || (installedMS == packedMS && installedLS > packedLS);
}

}  // namespace brim
