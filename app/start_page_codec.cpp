#include "app/start_page_codec.h"

#include <cstring>

namespace brim {
namespace {

constexpr size_t kWordBytes = 4;
constexpr size_t kHeaderWords = 2;  // checksum, length

uint32_t LoadWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreWord(uint8_t* p, uint32_t value) {
  for (size_t i = 0; i < kWordBytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Takes 64 bits so that the check means the same with a 32-bit size_t.
bool FitsLengthWord(uint64_t size) { return size <= 0xFFFFFFFFu - kHeaderWords * kWordBytes; }

}  // namespace

// Arbitrary; it only has to stay the same between the resource packer and the program.
const StartPageKey kStartPageKey = {0x6B1F3A95u, 0xD24C87E1u, 0x3E90F5B7u, 0xA7D6420Cu};

std::vector<uint8_t> ScrambleStartPage(std::span<const uint8_t> movie, const StartPageKey& key) {
  // The length word cannot describe more; an empty resource reads back as "too small".
  if (!FitsLengthWord(movie.size())) return {};
  const size_t words = kHeaderWords + (movie.size() + kWordBytes - 1) / kWordBytes;
  std::vector<uint8_t> resource(words * kWordBytes, 0);
  StoreWord(&resource[kWordBytes], static_cast<uint32_t>(movie.size()));
  if (!movie.empty()) {
    std::memcpy(&resource[kHeaderWords * kWordBytes], movie.data(), movie.size());
  }

  StartPageKey running = key;
  uint32_t checksum = 0;
  for (size_t i = 1; i < words; ++i) {
    uint8_t* word = &resource[i * kWordBytes];
    const uint32_t stored = LoadWord(word) ^ running[i % 4];
    running[i % 4] = stored;
    checksum += stored;
    StoreWord(word, stored);
  }
  StoreWord(resource.data(), checksum);
  return resource;
}

StartPageStatus UnscrambleStartPage(std::span<const uint8_t> resource, const StartPageKey& key,
                                    std::vector<uint8_t>& movie) {
  movie.clear();
  const size_t words = resource.size() / kWordBytes;
  if (words < kHeaderWords) return StartPageStatus::TooSmall;

  uint32_t checksum = 0;
  for (size_t i = 1; i < words; ++i) checksum += LoadWord(&resource[i * kWordBytes]);
  if (checksum != LoadWord(resource.data())) return StartPageStatus::ChecksumMismatch;

  std::vector<uint8_t> plain(words * kWordBytes, 0);
  StartPageKey running = key;
  for (size_t i = 1; i < words; ++i) {
    const uint32_t stored = LoadWord(&resource[i * kWordBytes]);
    StoreWord(&plain[i * kWordBytes], stored ^ running[i % 4]);
    running[i % 4] = stored;
  }

  const size_t available = (words - kHeaderWords) * kWordBytes;
  const uint32_t declared = LoadWord(&plain[kWordBytes]);
  const size_t length = declared < available ? declared : available;
  const auto first = plain.begin() + kHeaderWords * kWordBytes;
  movie.assign(first, first + static_cast<std::ptrdiff_t>(length));
  return StartPageStatus::Ok;
}

}  // namespace brim
