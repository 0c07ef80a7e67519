#include "packaging/payload_reader.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/show_message.h"
#include "resources/resource_ids.h"

namespace brim {

namespace {

void PutLe32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

bool MovieMemory::Allocate(size_t bytes) {
  Free();
  memory_.reset(GlobalAlloc(GMEM_MOVEABLE, bytes));
  return Present();
}

uint8_t* MovieMemory::Lock() {
  if (!locked_ && memory_) locked_ = static_cast<uint8_t*>(GlobalLock(memory_.get()));
  return locked_;
}

void MovieMemory::Unlock() {
  if (locked_) GlobalUnlock(memory_.get());
  locked_ = nullptr;
}

void MovieMemory::Free() {
  Unlock();
  memory_.reset();
}

PayloadReader::~PayloadReader() = default;

int PayloadReader::ReadPayload(const char* path) {
  CopyText(sourcePath_, path);
  UniqueStdFile file(std::fopen(sourcePath_, "rb"));
  if (!file) return 0;
  FileByteSource source(file.get());
  PayloadInfo info;
  if (!LocatePayload(source, info)) return 0;
  info_ = info;

  const auto length = static_cast<size_t>(info.movieLength);
  uint8_t* block = nullptr;
  if (movie_.Allocate(length + 8)) block = movie_.Lock();
  if (!block) {
    movie_.Free();
    ShowMessage(IDS_OUT_OF_MEMORY, nullptr);
    return -1;
  }
  PutLe32(block, kMovieStreamMagic);
  PutLe32(block + 4, static_cast<uint32_t>(length));
  // A short read is as much a read error as a failing one: the checks above proved the bytes
  // are there, so anything less means the file changed or the disk failed.
  const bool read = source.ReadAt(info.movieOffset, block + 8, length);
  movie_.Unlock();
  if (!read) {
    ShowMessage(IDS_FILE_READ_ERROR, nullptr);
    return -1;
  }
  loaded_ = 1;
  return 1;
}

int PayloadReader::WriteMovieFile(const char* path) {
  UniqueFile file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
  if (!file) {
    ShowMessage(IDS_TEMP_CREATE_FAILED, nullptr);
    return -1;
  }
  uint8_t* block = movie_.Lock();
  if (!block || movie_.Size() < 8) {
    file.reset();
    ShowMessage(IDS_OUT_OF_MEMORY, nullptr);
    return -1;
  }
  PutLe32(block, kMovieStreamMagic);
  uint32_t length = 0;
  std::memcpy(&length, block + 4, 4);
  if (length > movie_.Size() - 8) length = static_cast<uint32_t>(movie_.Size() - 8);
  DWORD written = 0;
  // A short write would leave a cut movie behind a success; it counts as a failed write.
  if (!WriteFile(file.get(), block + 8, length, &written, nullptr) || written != length) {
    file.reset();
    ShowMessage(IDS_TEMP_WRITE_FAILED, nullptr);
    return -1;
  }
  return 0;
}

}  // namespace brim
