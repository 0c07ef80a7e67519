#pragma once
// Reads the projector payload of the running file once at start-up and keeps its movie in
// movable global memory (the movie stream) until the program ends.
#include <windows.h>

#include <cstdint>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "packaging/payload_format.h"

namespace brim {

// One global memory block that remembers whether it is locked.
class MovieMemory {
 public:
  MovieMemory() = default;
  ~MovieMemory() { Free(); }
  MovieMemory(const MovieMemory&) = delete;
  MovieMemory& operator=(const MovieMemory&) = delete;

  bool Allocate(size_t bytes);
  // The locked address, locking first when needed; null when there is no block or it will not
  // lock.
  uint8_t* Lock();
  void Unlock();
  void Free();
  bool Present() const { return static_cast<bool>(memory_); }
  size_t Size() const { return memory_ ? GlobalSize(memory_.get()) : 0; }

 private:
  UniqueGlobal memory_;
  uint8_t* locked_ = nullptr;
};

class PayloadReader {
 public:
  PayloadReader() = default;
  virtual ~PayloadReader();
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  // 1: payload found and copied; 0: no payload (nothing reported); -1: the payload was valid
  // but its movie could not be copied (reported).
  int ReadPayload(const char* path);
  // Writes the movie's bytes (not the stream header) to `path`; 0 on success, -1 (reported) on
  // failure.
  int WriteMovieFile(const char* path);

  bool Loaded() const { return loaded_ == 1; }
  const char* SourcePath() const { return sourcePath_; }
  const PayloadInfo& Info() const { return info_; }
  MovieMemory& Stream() { return movie_; }

 private:
  MovieMemory movie_;
  char sourcePath_[kPathCapacity] = {};
  int loaded_ = 0;
  PayloadInfo info_;
};

}  // namespace brim
