// The payload reader against real files and real global memory.
#include "packaging/payload_reader.h"
#include "packaging/pe_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace brim {
namespace {

std::string TempName() {
  char dir[MAX_PATH], name[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, "BLT", 0, name);
  return name;
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

struct TempFile {
  std::string path = TempName();
  ~TempFile() { DeleteFileA(path.c_str()); }
};

TEST(PayloadReader, CopiesTheMovieIntoTheStreamAndBackOut) {
  for (const char* signature : {"FWS", "CWS"}) {
    SCOPED_TRACE(signature);
    std::vector<uint8_t> exe(3000, 0x90);
    std::vector<uint8_t> runtime(5000);
    for (size_t i = 0; i < runtime.size(); ++i) runtime[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> movie = {uint8_t(signature[0]),
                                  uint8_t(signature[1]),
                                  uint8_t(signature[2]),
                                  8,
                                  99,
                                  0,
                                  0,
                                  0,
                                  1,
                                  2,
                                  3,
                                  4,
                                  5};
    PayloadContents contents;
    contents.flashVersionMS = 6 << 16;
    contents.flashVersionLS = 29 << 16;
    contents.runtimeName = "\\Flash.ocx";
    contents.runtime = runtime;
    contents.movie = movie;
    ASSERT_TRUE(AppendPayload(exe, contents));
    TempFile projector, out;
    WriteAll(projector.path, exe);

    PayloadReader reader;
    ASSERT_EQ(reader.ReadPayload(projector.path.c_str()), 1);
    EXPECT_TRUE(reader.Loaded());
    EXPECT_STREQ(reader.SourcePath(), projector.path.c_str());
    EXPECT_EQ(reader.Info().flashVersionMS, 6u << 16);
    EXPECT_STREQ(reader.Info().runtimeName, "\\Flash.ocx");
    EXPECT_EQ(reader.Info().runtimeOffset, 3000 + 16 + 11);

    // The stream is exactly the 8-byte header and the movie as stored.
    ASSERT_EQ(reader.Stream().Size(), movie.size() + 8);
    const uint8_t* block = reader.Stream().Lock();
    ASSERT_NE(block, nullptr);
    const uint8_t magic[] = {0x66, 0x55, 0x66, 0x55};
    EXPECT_EQ(std::memcmp(block, magic, 4), 0);
    uint32_t length;
    std::memcpy(&length, block + 4, 4);
    EXPECT_EQ(length, movie.size());
    EXPECT_EQ(std::memcmp(block + 8, movie.data(), movie.size()), 0);
    reader.Stream().Unlock();

    // The file holds the movie only, never the stream header.
    ASSERT_EQ(reader.WriteMovieFile(out.path.c_str()), 0);
    EXPECT_EQ(ReadAll(out.path), movie);
  }
}

TEST(PayloadReader, FilesWithoutPayloadLeaveItEmpty) {
  TempFile plain;
  WriteAll(plain.path, std::vector<uint8_t>(4096, 0));
  for (const std::string& path : {plain.path, std::string("Z:\\no\\such\\file.exe")}) {
    PayloadReader reader;
    EXPECT_EQ(reader.ReadPayload(path.c_str()), 0);
    EXPECT_FALSE(reader.Loaded());
    EXPECT_FALSE(reader.Stream().Present());
    EXPECT_STREQ(reader.SourcePath(), path.c_str());
  }
}

}  // namespace
}  // namespace brim

namespace brim {
namespace {

// What this build ships is of the running program's own bitness, the only kind it may load.
TEST(PeMachine, TheShippedFilesAreOfThisProgramsMachine) {
  for (const char* path : {BRIMLOFT_EXE_PATH, BRIMLOFT_FLASH_OCX_PATH}) {
    SCOPED_TRACE(path);
    UniqueStdFile file(std::fopen(path, "rb"));
    ASSERT_TRUE(file);
    FileByteSource source(file.get());
    EXPECT_EQ(ReadPeMachine(source), kOwnMachine);
  }
}

}  // namespace
}  // namespace brim
