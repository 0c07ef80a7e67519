#include "packaging/runtime_core.h"

#include <zlib.h>

#include <climits>
#include <memory>
#include <new>
#include <vector>

namespace brim {

namespace {

// Hands what comes out to `sink`, which answers false to stop (a failed write, or enough).
// True when the stream ended properly.
template <typename Sink>
bool InflateStream(std::FILE* source, int64_t offset, uint32_t compressedSize, Sink&& sink) {
  if (!source || offset < 0 || offset > LONG_MAX) return false;
  if (std::fseek(source, static_cast<long>(offset), SEEK_SET) != 0) return false;

  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;

  // One read of the whole input when memory allows; small chunks otherwise.
  std::unique_ptr<uint8_t[]> whole(new (std::nothrow) uint8_t[compressedSize ? compressedSize : 1]);
  uint8_t chunk[1024];
  uint32_t remaining = compressedSize;
  if (whole) {
    const size_t got = std::fread(whole.get(), 1, compressedSize, source);
    stream.next_in = whole.get();
    stream.avail_in = static_cast<uInt>(got);
    remaining = 0;
  }
  auto refill = [&] {
    if (stream.avail_in != 0 || remaining == 0 || whole) return;
    const size_t want = remaining < sizeof chunk ? remaining : sizeof chunk;
    const size_t got = std::fread(chunk, 1, want, source);
    remaining = got == want ? remaining - static_cast<uint32_t>(got) : 0;
    stream.next_in = chunk;
    stream.avail_in = static_cast<uInt>(got);
  };

  uint8_t out[4096];
  bool writeFailed = false;
  auto drain = [&] {
    const size_t produced = sizeof out - stream.avail_out;
    if (produced && !sink(out, produced)) writeFailed = true;
    stream.next_out = out;
    stream.avail_out = sizeof out;
    return produced;
  };

  stream.next_out = out;
  stream.avail_out = sizeof out;
  // zlib answers Z_BUF_ERROR once it can make no progress, which is how a cut stream ends.
  int status = Z_OK;
  do {
    refill();
    status = inflate(&stream, Z_NO_FLUSH);
    drain();
  } while (status == Z_OK && !writeFailed);
  if (status == Z_BUF_ERROR) {
    size_t produced = 0;
    do {
      status = inflate(&stream, Z_FINISH);
      produced = drain();
    } while (status == Z_OK && produced > 0 && !writeFailed);
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && !writeFailed;
}

}  // namespace

bool InflateRuntime(std::FILE* source, int64_t offset, uint32_t compressedSize,
                    std::FILE* destination) {
  if (!destination) return false;
  return InflateStream(source, offset, compressedSize, [&](const uint8_t* bytes, size_t size) {
    return std::fwrite(bytes, 1, size, destination) == size;
  });
}

std::vector<uint8_t> InflateRuntimeHead(std::FILE* source, int64_t offset, uint32_t compressedSize,
                                        size_t limit) {
  std::vector<uint8_t> head;
  InflateStream(source, offset, compressedSize, [&](const uint8_t* bytes, size_t size) {
    const size_t take = size < limit - head.size() ? size : limit - head.size();
    head.insert(head.end(), bytes, bytes + take);
    return head.size() < limit;
  });
  return head;
}

std::string StripQuotes(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.size() < 3 ? std::string() : text.substr(1, text.size() - 2);
  }
  return text;
}

std::optional<std::string> FindRegisteredServer(ClassesRootReader& registry,
                                                const std::string& classText) {
  // The first key that exists decides, even when its value turns out to be missing.
  for (const char* kind : {"\\LocalServer32", "\\InprocServer32"}) {
    const std::string key = "CLSID\\" + classText + kind;
    if (!registry.KeyExists(key)) continue;
    auto value = registry.DefaultValue(key);
    if (!value) return std::nullopt;
    return StripQuotes(*value);
  }
  return std::nullopt;
}

}  // namespace brim
