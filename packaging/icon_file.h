#pragma once
// Icon files (.ico) as the icon resources of an executable: each image becomes one icon
// resource, and one icon-group resource lists them with the numbers they got.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "packaging/resource_section.h"

namespace brim {

enum class IconStatus {
  kOk,
  kTooShort,      // not even the six header bytes, or fewer entries than the count says
  kNotIcon,       // the reserved word is not 0 or the type is not 1 (a cursor, or not an icon)
  kImageOutside,  // an image's offset and size reach outside the file or into the entries
  kEmptyImage,    // an entry with no bytes
};

const char* IconStatusText(IconStatus status);

struct IconImage {
  // Width, height, colour count, reserved, planes, bit count and bytes in image, as an icon
  // group's entry repeats them.
  std::array<uint8_t, 12> entry{};
  // The image as the file holds it: a bitmap header and bits, or a whole PNG file.
  std::span<const uint8_t> bytes;
};

struct IconFile {
  std::array<uint8_t, 6> header{};
  std::vector<IconImage> images;  // point into the bytes given to ReadIconFile
};

// Checks every entry against the file; `icon` is only meaningful on kOk.
IconStatus ReadIconFile(std::span<const uint8_t> file, IconFile& icon);

// The projector's two icon groups.
constexpr uint16_t kMainIconGroup = 211;
constexpr uint16_t kSecondIconGroup = 222;

// Puts new icons into groups 211 and 222 (either may be null: that group keeps its icon).
// Images are numbered from 1: the new main icon's first, then the new second icon's, then
// those of a group that keeps its icon, which moves along so that no two groups share a
// number. Each group stays in the language it had (neutral when it had none), and the images
// the old groups used are removed. Returns the next free icon number.
uint16_t ReplaceIconGroups(ResourceTable& table, const IconFile* mainIcon,
                           const IconFile* secondIcon);

}  // namespace brim
