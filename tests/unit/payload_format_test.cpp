#include "packaging/payload_format.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/unit/byte_support.h"

#include <cstring>
#include <functional>
#include <string>

namespace brim {
namespace {

using namespace bytetest;

void Patch32(Bytes& file, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The layout written field by field, so that tests can also write what AppendPayload refuses
// to: any name length, any runtime bytes, a start offset as if more bytes came before.
struct RawPayload {
  uint32_t ms = 0, ls = 0;
  std::string name;  // stored as is; its size is the name length field
  uint32_t runtimeSize = 0;
  Bytes runtimeCompressed;
  Bytes movie;
};

Bytes Encode(Bytes file, const RawPayload& p, uint32_t offsetBase = 0) {
  const size_t start = file.size();
  Put32(file, p.ms);
  Put32(file, p.ls);
  Put32(file, static_cast<uint32_t>(p.name.size()));
  file.insert(file.end(), p.name.begin(), p.name.end());
  Put32(file, p.runtimeSize);
  file.insert(file.end(), p.runtimeCompressed.begin(), p.runtimeCompressed.end());
  file.insert(file.end(), p.movie.begin(), p.movie.end());
  const size_t length = file.size() - start;
  Put32(file, static_cast<uint32_t>(p.runtimeCompressed.size()));
  Put32(file, static_cast<uint32_t>(offsetBase + start));
  Put32(file, static_cast<uint32_t>(length));
  return file;
}

Bytes Exe(size_t size = 64) {
  Bytes exe(size);
  for (size_t i = 0; i < size; ++i) exe[i] = static_cast<uint8_t>(i * 7 + 1);
  exe[0] = 'M';
  exe[1] = 'Z';
  return exe;
}

Bytes Movie(const char* signature, size_t size = 40) {
  Bytes movie(size, 0x5A);
  std::memcpy(movie.data(), signature, std::min<size_t>(3, size));
  return movie;
}

bool Locate(const Bytes& file, PayloadInfo& info) {
  MemoryByteSource source(file);
  return LocatePayload(source, info);
}

TEST(PayloadFormat, RoundTripsWhatAppendPayloadWrites) {
  const Bytes runtime(3000, 0x42);
  const std::string longName = "\\" + std::string(258, 'r');
  struct Case {
    const char* what;
    PayloadContents contents;
    Bytes movie;
  } cases[] = {
      {"uncompressed movie, no runtime", {6 << 16, 29 << 16, "\\flash.ocx", {}, {}}, Movie("FWS")},
      {"compressed movie stored as is", {9 << 16, 1, "\\Flash.ocx", runtime, {}}, Movie("CWS")},
      {"shortest name", {0, 0, "a", runtime, {}}, Movie("FWS", 3)},
      {"longest name", {1, 2, longName.c_str(), {}, {}}, Movie("FWS", 5000)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.contents.movie = c.movie;
    const Bytes exe = Exe();
    Bytes file = exe;
    ASSERT_TRUE(AppendPayload(file, c.contents));
    PayloadInfo info;
    ASSERT_TRUE(Locate(file, info));

    const size_t nameLength = std::strlen(c.contents.runtimeName) + 1;
    EXPECT_EQ(info.flashVersionMS, c.contents.flashVersionMS);
    EXPECT_EQ(info.flashVersionLS, c.contents.flashVersionLS);
    EXPECT_EQ(info.runtimeNameLength, nameLength);
    EXPECT_STREQ(info.runtimeName, c.contents.runtimeName);
    EXPECT_EQ(info.runtimeSize, c.contents.runtime.size());
    EXPECT_EQ(info.runtimeOffset, static_cast<int64_t>(exe.size() + 16 + nameLength));
    EXPECT_EQ(info.movieOffset, info.runtimeOffset + info.runtimeCompressedSize);
    ASSERT_EQ(info.movieLength, static_cast<int64_t>(c.movie.size()));
    EXPECT_TRUE(std::equal(c.movie.begin(), c.movie.end(), file.begin() + info.movieOffset));
    EXPECT_TRUE(std::equal(exe.begin(), exe.end(), file.begin()));

    Bytes unpacked(info.runtimeSize + 1);
    uLongf unpackedSize = static_cast<uLongf>(unpacked.size());
    ASSERT_EQ(uncompress(unpacked.data(), &unpackedSize, file.data() + info.runtimeOffset,
                         info.runtimeCompressedSize),
              Z_OK);
    unpacked.resize(unpackedSize);
    EXPECT_EQ(unpacked, Bytes(c.contents.runtime.begin(), c.contents.runtime.end()));
  }
}

TEST(PayloadFormat, WritesTheVersionSixLayoutExactly) {
  const Bytes runtime(500, 7);
  const Bytes movie = Movie("FWS", 100);
  Bytes file = Exe();
  ASSERT_TRUE(AppendPayload(file, {6 * 65536, 29 * 65536, "\\Flash.ocx", runtime, movie}));

  // The runtime as zlib's default compression writes it.
  uLongf size = compressBound(500);
  Bytes compressed(size);
  ASSERT_EQ(compress(compressed.data(), &size, runtime.data(), 500), Z_OK);
  compressed.resize(size);
  const Bytes expected = Encode(
      Exe(), {6 * 65536, 29 * 65536, std::string("\\Flash.ocx", 11), 500, compressed, movie});
  EXPECT_EQ(file, expected);
}

TEST(PayloadFormat, AppendRefusesNamesTheFormatCannotHoldAndLeavesTheFileAlone) {
  const std::string tooLong = "\\" + std::string(259, 'n');
  for (const char* name : {static_cast<const char*>(nullptr), "", tooLong.c_str()}) {
    Bytes file = Exe();
    const Bytes movie = Movie("FWS");
    EXPECT_FALSE(AppendPayload(file, {0, 0, name, {}, movie}));
    EXPECT_EQ(file, Exe());
  }
}

TEST(PayloadFormat, RefusesFilesWithoutAConsistentPayload) {
  const RawPayload good{1, 2, std::string("\\a", 3), 0, {0x78, 0x9C}, Movie("FWS", 3)};
  const Bytes base = Encode(Exe(), good);
  const size_t trailer = base.size() - kTrailerSize;
  const size_t start = Exe().size();
  auto patched = [&](size_t offset, uint32_t value) {
    Bytes file = base;
    Patch32(file, offset, value);
    return file;
  };
  auto raw = [&](auto change) {
    RawPayload p = good;
    change(p);
    return Encode(Exe(), p);
  };
  Bytes zeroTail = Exe();
  zeroTail.resize(100);
  PayloadInfo info;
  ASSERT_TRUE(Locate(base, info));

  const struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"shorter than a trailer", Bytes(11, 0)},
      {"nothing but a zero trailer", Bytes(12, 0)},
      {"executable ending in zeros", zeroTail},
      {"length one too large", patched(trailer + 8, static_cast<uint32_t>(trailer - start + 1))},
      {"length one too small", patched(trailer + 8, static_cast<uint32_t>(trailer - start - 1))},
      // -1 as start with length T + 1 agrees with T - start = length: only the sign refuses it.
      {"negative start",
       [&] {
         Bytes f = patched(trailer + 4, 0xFFFFFFFFu);
         Patch32(f, trailer + 8, static_cast<uint32_t>(trailer + 1));
         return f;
       }()},
      {"start beyond the trailer",
       [&] {
         Bytes f = patched(trailer + 4, static_cast<uint32_t>(trailer + 1));
         Patch32(f, trailer + 8, 0xFFFFFFFFu);
         return f;
       }()},
      {"name length 0", raw([](RawPayload& p) { p.name.clear(); })},
      {"name length 261", raw([](RawPayload& p) { p.name.assign(261, 'n'); })},
      {"name length past the end", patched(start + 8, 200)},
      {"runtime size past the end", patched(trailer, 0x7FFFFFF0u)},
      {"runtime size wrapping", patched(trailer, 0xFFFFFFFFu)},
      {"movie not a SWF file", raw([](RawPayload& p) { p.movie = Movie("XWS"); })},
      {"wrong last signature byte", raw([](RawPayload& p) { p.movie = Movie("FWX"); })},
      // Z = 'S' puts an "S" right after a two-byte "FW" movie: the trailer must not complete it.
      {"movie of two bytes", raw([](RawPayload& p) {
         p.runtimeCompressed.assign('S', 0);
         p.movie = Movie("FW", 2);
       })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Locate(c.file, info));
  }
}

TEST(PayloadFormat, ANewerPayloadHidesAnOlderOne) {
  Bytes file = Exe();
  const Bytes oldMovie = Movie("CWS", 10), newMovie = Movie("FWS", 20);
  ASSERT_TRUE(AppendPayload(file, {1, 1, "\\old.ocx", {}, oldMovie}));
  const size_t newStart = file.size();
  ASSERT_TRUE(AppendPayload(file, {2, 2, "\\new.ocx", {}, newMovie}));
  PayloadInfo info;
  ASSERT_TRUE(Locate(file, info));
  EXPECT_STREQ(info.runtimeName, "\\new.ocx");
  EXPECT_EQ(info.runtimeOffset, static_cast<int64_t>(newStart + 16 + 9));
  EXPECT_EQ(info.movieLength, 20);
}

TEST(PayloadFormat, TerminatesANameStoredWithoutItsNul) {
  Bytes file = Encode(Exe(), {0, 0, "\\flash.ocx", 0, {}, Movie("FWS")});
  PayloadInfo info;
  ASSERT_TRUE(Locate(file, info));
  EXPECT_STREQ(info.runtimeName, "\\flash.oc");
}

// A payload placed as if the file were nearly 2 GiB long, without allocating that much.
class PlacedBytes : public ByteSource {
 public:
  PlacedBytes(const Bytes& bytes, int64_t base) : bytes_(bytes), base_(base) {}
  int64_t Size() override { return base_ + static_cast<int64_t>(bytes_.size()); }
  bool ReadAt(int64_t offset, void* out, size_t size) override {
    if (offset < 0 || offset + static_cast<int64_t>(size) > Size()) return false;
    for (size_t i = 0; i < size; ++i) {
      const int64_t at = offset + static_cast<int64_t>(i);
      static_cast<uint8_t*>(out)[i] = at < base_ ? 0 : bytes_[at - base_];
    }
    return true;
  }

 private:
  const Bytes& bytes_;
  int64_t base_;
};

TEST(PayloadFormat, RefusesAPayloadReachingBeyondTwoGiB) {
  const RawPayload payload{0, 0, "\\f.ocx", 0, {}, Movie("FWS", 512)};
  for (const auto& [base, found] : {std::pair{0x7FFF0000, true}, std::pair{0x7FFFFF00, false}}) {
    const Bytes bytes = Encode({}, payload, base);
    PlacedBytes source(bytes, base);
    PayloadInfo info;
    EXPECT_EQ(LocatePayload(source, info), found) << std::hex << base;
  }
}

TEST(PayloadFormat, ReadsThroughAStdioFile) {
  Bytes file = Exe(1000);
  const Bytes movie = Movie("FWS", 300);
  ASSERT_TRUE(AppendPayload(file, {3, 4, "\\flash.ocx", Bytes(100, 1), movie}));
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), stream), file.size());

  FileByteSource source(stream);
  PayloadInfo fromFile, fromMemory;
  ASSERT_TRUE(LocatePayload(source, fromFile));
  ASSERT_TRUE(Locate(file, fromMemory));
  EXPECT_EQ(fromFile.movieOffset, fromMemory.movieOffset);
  EXPECT_EQ(fromFile.movieLength, fromMemory.movieLength);
  uint8_t byte;
  EXPECT_FALSE(source.ReadAt(static_cast<int64_t>(file.size()), &byte, 1));
  EXPECT_FALSE(source.HadReadError());
  std::fclose(stream);
}

}  // namespace
}  // namespace brim
