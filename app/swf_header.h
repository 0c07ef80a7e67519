#pragma once
// Reading just enough of a SWF file to size the window: its header and stage rectangle.
#include <cstddef>
#include <cstdint>
#include <span>

namespace brim {

constexpr size_t kSwfHeaderBytes = 25;  // always holds the stage rectangle

// Fills `buffer` with the file's first `size` bytes, uncompressed ("CWS" is inflated and its
// first byte turned into 'F'). 1 when all `size` bytes were filled, 0 otherwise (size < 25,
// unreadable file, unknown signature, truncated or corrupt data).
int ReadSwfHeader(const char* path, uint8_t* buffer, size_t size);
// The same over bytes already in memory.
int ReadSwfHeaderFromBytes(std::span<const uint8_t> file, uint8_t* buffer, size_t size);

// Stage size in pixels from an uncompressed header (25 bytes, "FWS" first), rounded half away
// from zero. 0 on success, -1 when the header is not an "FWS" header.
int StageSizeFromHeader(std::span<const uint8_t, kSwfHeaderBytes> header, int* width, int* height);

// Stage size of a SWF file; 0 on success, -1 on failure (outputs then unchanged).
int ReadStageSize(const char* path, int* width, int* height);

// No display comes near this many pixels a side; a window and its surfaces beyond it would only
// cost gigabytes of memory.
constexpr int kMaxWindowSide = 8192;
// The window size for a stage: the stage itself when it fits the limit, otherwise the stage
// scaled down to fit with its proportions kept (the control scales the movie into the window).
void FitStageToWindowLimit(int* width, int* height);

}  // namespace brim
