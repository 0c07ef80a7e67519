#include "player/movie_file.h"

#include <zlib.h>

#include <algorithm>

#include "player/byte_reader.h"

namespace swf {
namespace {

constexpr size_t kPrefixBytes = 8;  // signature, version, file length

MovieError Fail(ErrorKind kind, size_t offset = 0) { return {kind, kNoTag, offset}; }

// Inflates exactly `expected` bytes (fewer means the stream was cut short).
MovieError Inflate(std::span<const uint8_t> in, size_t expected, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return Fail(ErrorKind::CorruptCompressedData, kPrefixBytes);
  const size_t start = out.size();
  out.resize(start + expected);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  z.next_out = out.data() + start;
  z.avail_out = static_cast<uInt>(expected);
  int rc = Z_OK;
  while (z.avail_out > 0 && rc == Z_OK) rc = inflate(&z, Z_NO_FLUSH);
  const size_t produced = expected - z.avail_out;
  inflateEnd(&z);
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
    return Fail(ErrorKind::CorruptCompressedData, kPrefixBytes);
  }
  if (produced < expected) {
    out.resize(start + produced);
    return Fail(ErrorKind::Truncated, kPrefixBytes + produced);
  }
  return {};
}

}  // namespace

const char* ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::None:
      return "none";
    case ErrorKind::NotSwf:
      return "not a SWF file";
    case ErrorKind::UnsupportedCompression:
      return "unsupported compression";
    case ErrorKind::Truncated:
      return "truncated";
    case ErrorKind::CorruptCompressedData:
      return "corrupt compressed data";
    case ErrorKind::TooLarge:
      return "too large";
    case ErrorKind::Malformed:
      return "malformed";
  }
  return "unknown";
}

MovieError ReadMovieFile(std::span<const uint8_t> file, MovieFile& out) {
  out = {};
  if (file.size() < kPrefixBytes || file[1] != 'W' || file[2] != 'S') {
    return Fail(ErrorKind::NotSwf);
  }
  const uint8_t signature = file[0];
  if (signature == 'Z') return Fail(ErrorKind::UnsupportedCompression);
  if (signature != 'F' && signature != 'C') return Fail(ErrorKind::NotSwf);

  ByteReader prefix(file.first(kPrefixBytes));
  prefix.Skip(3);
  out.header.version = prefix.U8();
  out.header.fileLength = prefix.U32();
  const size_t length = out.header.fileLength;
  if (length < kPrefixBytes) return Fail(ErrorKind::Malformed, 4);
  if (length > kMaxUncompressedFileBytes) return Fail(ErrorKind::TooLarge, 4);

  if (signature == 'F') {
    // Bytes past the declared length are not part of the movie (some tools pad files).
    if (file.size() < length) out.cut = Fail(ErrorKind::Truncated, file.size());
    out.bytes.assign(file.begin(), file.begin() + std::min(file.size(), length));
  } else {
    out.bytes.assign(file.begin(), file.begin() + kPrefixBytes);
    MovieError e = Inflate(file.subspan(kPrefixBytes), length - kPrefixBytes, out.bytes);
    if (e.kind == ErrorKind::Truncated) {
      out.cut = e;
    } else if (!e.Ok()) {
      out.bytes.clear();
      return e;
    }
    out.bytes[0] = 'F';
  }

  ByteReader header(std::span<const uint8_t>(out.bytes).subspan(kPrefixBytes));
  out.header.stage = header.Rect();
  out.header.frameRate = UFixed8{header.U16()};
  out.header.frameCount = header.U16();
  if (!header.Ok()) {
    const MovieError cut = out.cut.Ok() ? Fail(ErrorKind::Truncated, kPrefixBytes) : out.cut;
    out.bytes.clear();
    out.cut = {};
    return cut;
  }
  out.tagsOffset = kPrefixBytes + header.Position();
  return {};
}

bool TagStream::Next(Tag& tag) {
  if (done_) return false;
  ByteReader r(data_.subspan(pos_));
  const size_t start = pos_;
  if (r.AtEnd()) {
    // A stream may end without an End tag; what came before stands.
    done_ = true;
    return false;
  }
  const uint16_t codeAndLength = r.U16();
  uint32_t length = codeAndLength & 0x3F;
  if (length == 0x3F) length = r.U32();
  const uint16_t code = codeAndLength >> 6;
  if (!r.Ok()) {
    error_ = {ErrorKind::Truncated, code, baseOffset_ + start};
    done_ = true;
    return false;
  }
  tag.code = code;
  tag.offset = baseOffset_ + start;
  tag.body = r.Bytes(length);
  if (!r.Ok()) {
    error_ = {ErrorKind::Truncated, code, baseOffset_ + start};
    done_ = true;
    return false;
  }
  pos_ += r.Position();
  if (code == static_cast<uint16_t>(TagCode::End)) {
    done_ = true;
    ended_ = true;
    return false;
  }
  return true;
}

}  // namespace swf
