#pragma once
// How the engine reports a file it refuses: what went wrong, in which tag and where.
#include <cstddef>
#include <cstdint>

#include "player/tag_codes.h"

namespace swf {

enum class ErrorKind : uint8_t {
  None = 0,
  NotSwf,                  // no "FWS"/"CWS"/"ZWS" signature or shorter than a header
  UnsupportedCompression,  // "ZWS" (LZMA)
  Truncated,               // the data ends before something it announces
  CorruptCompressedData,   // zlib refused the stream
  TooLarge,                // a size or count beyond what the engine accepts
  Malformed,               // a value that no valid file holds
};

const char* ErrorKindName(ErrorKind kind);

struct MovieError {
  ErrorKind kind = ErrorKind::None;
  uint16_t tag = kNoTag;  // the TagCode value, or kNoTag
  size_t offset = 0;      // byte offset in the uncompressed file where the tag or field started

  bool Ok() const { return kind == ErrorKind::None; }
  friend bool operator==(const MovieError&, const MovieError&) = default;
};

}  // namespace swf
