#pragma once
// The SWF container: signature, compression, header and the stream of tags.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/geometry.h"
#include "player/movie_error.h"

namespace swf {

// The engine refuses files that claim to inflate beyond this; no real movie comes close.
inline constexpr size_t kMaxUncompressedFileBytes = 64u << 20;

struct MovieHeader {
  uint8_t version = 0;
  uint32_t fileLength = 0;  // as declared: uncompressed length including the 8-byte prefix
  TwipsRect stage;
  UFixed8 frameRate;
  uint16_t frameCount = 0;
};

struct Tag {
  uint16_t code = 0;
  size_t offset = 0;  // where its header starts in the uncompressed file
  std::span<const uint8_t> body;
};

// An uncompressed movie: the whole file as if it had been stored "FWS", and where its tags
// begin.
struct MovieFile {
  MovieHeader header;
  std::vector<uint8_t> bytes;
  size_t tagsOffset = 0;
  // Set when the file holds fewer bytes than its header declares: `bytes` is what there is.
  MovieError cut;
};

// Reads the signature and header and inflates a "CWS" body. A body shorter than declared is
// kept as far as it goes (and noted in `cut`); a header cut short is refused.
MovieError ReadMovieFile(std::span<const uint8_t> file, MovieFile& out);

// Walks a tag stream (the file's or a sprite's). Next() yields false at the End tag, at the
// end of the data, or on an error, which error() then holds.
class TagStream {
 public:
  // `baseOffset`: the stream's position in the file, so that errors point into the file.
  TagStream(std::span<const uint8_t> data, size_t baseOffset)
      : data_(data), baseOffset_(baseOffset) {}

  bool Next(Tag& tag);
  const MovieError& error() const { return error_; }
  // Whether the stream closed with an End tag rather than running out.
  bool ended() const { return ended_; }

 private:
  std::span<const uint8_t> data_;
  size_t baseOffset_;
  size_t pos_ = 0;
  bool done_ = false;
  bool ended_ = false;
  MovieError error_;
};

}  // namespace swf
