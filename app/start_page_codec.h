#pragma once
// The start-page movie resource: the movie behind a checksum word and a length word, scrambled
// with a running XOR over 32-bit little-endian words.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace brim {

using StartPageKey = std::array<uint32_t, 4>;

// The key this program's own resource is made with.
extern const StartPageKey kStartPageKey;

// Builds the resource bytes: checksum, then the scrambled length word and movie (padded to
// whole words with zeros).
std::vector<uint8_t> ScrambleStartPage(std::span<const uint8_t> movie, const StartPageKey& key);

enum class StartPageStatus { Ok, ChecksumMismatch, TooSmall };

// Unscrambles `resource` into `movie`. Never reads past the resource; a length word larger
// than what the resource holds is clamped to that.
StartPageStatus UnscrambleStartPage(std::span<const uint8_t> resource, const StartPageKey& key,
                                    std::vector<uint8_t>& movie);

}  // namespace brim
