// Icon files checked before use, and the two icon groups replaced without any group left
// pointing at another group's images.
#include "packaging/icon_file.h"

#include <gtest/gtest.h>

#include "tests/unit/byte_support.h"

namespace brim {
namespace {

using bytetest::Bytes;

// An .ico whose image i is `images[i]`, entries saying width 16 * (i + 1) and 32 bits.
Bytes MakeIco(const std::vector<Bytes>& images) {
  Bytes ico = {0, 0, 1, 0, static_cast<uint8_t>(images.size()), 0};
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const uint8_t side = static_cast<uint8_t>(16 * (i + 1));
    ico.insert(ico.end(), {side, side, 0, 0, 1, 0, 32, 0});
    bytetest::Put32(ico, static_cast<uint32_t>(images[i].size()));
    bytetest::Put32(ico, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) ico.insert(ico.end(), image.begin(), image.end());
  return ico;
}

const Bytes kPng = [] {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const Bytes rest = bytetest::Noise(60, 8);
  png.insert(png.end(), rest.begin(), rest.end());
  return png;
}();

TEST(IconFile, ChecksEveryEntryAgainstTheFile) {
  const Bytes bitmap = bytetest::Noise(40, 1);
  const Bytes good = MakeIco({bitmap, kPng});
  const struct {
    const char* name;
    size_t offset;  // one byte changed ...
    uint8_t value;
    size_t keep;  // ... and the file cut to this length
    IconStatus status;
  } cases[] = {
      {"intact, a PNG image kept as it is", 0, 0, good.size(), IconStatus::kOk},
      {"no images at all", 4, 0, good.size(), IconStatus::kOk},
      {"header cut short", 0, 0, 5, IconStatus::kTooShort},
      {"more entries than the file holds", 4, 9, good.size(), IconStatus::kTooShort},
      {"reserved word set", 0, 1, good.size(), IconStatus::kNotIcon},
      {"a cursor file", 2, 2, good.size(), IconStatus::kNotIcon},
      {"image offset beyond the file", 6 + 16 + 15, 0x10, good.size(), IconStatus::kImageOutside},
      {"image size beyond the file", 6 + 16 + 9, 0x10, good.size(), IconStatus::kImageOutside},
      {"image inside the entries", 6 + 12, 6, good.size(), IconStatus::kImageOutside},
      {"last image cut off", 0, 0, good.size() - 1, IconStatus::kImageOutside},
      {"an empty image", 6 + 8, 0, good.size(), IconStatus::kEmptyImage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = good;
    file[c.offset] = c.value;
    file.resize(c.keep);
    IconFile icon;
    ASSERT_EQ(ReadIconFile(file, icon), c.status);
    if (c.status == IconStatus::kOk && file[4] == 2) {
      ASSERT_EQ(icon.images.size(), 2u);
      EXPECT_EQ(Bytes(icon.images[1].bytes.begin(), icon.images[1].bytes.end()), kPng);
      EXPECT_EQ(icon.images[1].entry[0], 32);
    }
  }
}

std::vector<uint16_t> GroupIds(const ResourceEntry& group) {
  std::vector<uint16_t> ids;
  const size_t count = group.data[4] | group.data[5] << 8;
  EXPECT_EQ(group.data.size(), 6 + 14 * count);
  for (size_t i = 0; i < count && 6 + 14 * i + 14 <= group.data.size(); ++i) {
    ids.push_back(group.data[6 + 14 * i + 12] | group.data[6 + 14 * i + 13] << 8);
  }
  return ids;
}

TEST(IconFile, GroupsAreNumberedInTurnAndNeverShareImages) {
  const Bytes old1 = bytetest::Noise(30, 11), old2 = bytetest::Noise(31, 12),
              old3 = bytetest::Noise(32, 13), other = bytetest::Noise(33, 14);
  const Bytes a1 = bytetest::Noise(40, 21), a2 = bytetest::Noise(41, 22),
              a3 = bytetest::Noise(42, 23), b1 = bytetest::Noise(50, 31);
  IconFile mainIcon, secondIcon, emptyIcon;
  const Bytes mainIco = MakeIco({a1, a2, a3}), twoIco = MakeIco({a1, a2}),
              secondIco = MakeIco({b1}), emptyIco = MakeIco({});
  IconFile twoIcon;
  ASSERT_EQ(ReadIconFile(mainIco, mainIcon), IconStatus::kOk);
  ASSERT_EQ(ReadIconFile(twoIco, twoIcon), IconStatus::kOk);
  ASSERT_EQ(ReadIconFile(secondIco, secondIcon), IconStatus::kOk);
  ASSERT_EQ(ReadIconFile(emptyIco, emptyIcon), IconStatus::kOk);

  // The program as built: group 211 (images 1 and 2) and 222 (image 3) in US English, and an
  // icon image of some other use, number 50.
  auto group = [](std::vector<uint16_t> ids) {
    Bytes g = {0, 0, 1, 0, static_cast<uint8_t>(ids.size()), 0};
    for (uint16_t id : ids) {
      g.insert(g.end(), {16, 16, 0, 0, 1, 0, 32, 0, 1, 0, 0, 0});
      g.insert(g.end(), {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)});
    }
    return g;
  };
  ResourceTable program;
  program.Update(kRtIcon, 1, 0x409, old1);
  program.Update(kRtIcon, 2, 0x409, old2);
  program.Update(kRtIcon, 3, 0x409, old3);
  program.Update(kRtIcon, 50, 0x409, other);
  program.Update(kRtGroupIcon, kMainIconGroup, 0x409, group({1, 2}));
  program.Update(kRtGroupIcon, kSecondIconGroup, 0x409, group({3}));

  const struct {
    const char* name;
    const IconFile* mainIcon;
    const IconFile* secondIcon;
    std::vector<Bytes> main;    // the images group 211 must show, in order
    std::vector<Bytes> second;  // the same for 222
    uint16_t next;
    size_t mainGroupSize;
  } cases[] = {
      {"a new main icon: the second follows it", &mainIcon, nullptr, {a1, a2, a3}, {old3}, 5, 48},
      {"a new second icon: it takes the first numbers",
       nullptr,
       &secondIcon,
       {old1, old2},
       {b1},
       4,
       34},
      {"both, a two-image main icon", &twoIcon, &secondIcon, {a1, a2}, {b1}, 4, 34},
      {"an icon file with no images", &emptyIcon, nullptr, {}, {old3}, 2, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResourceTable table = program;
    EXPECT_EQ(ReplaceIconGroups(table, c.mainIcon, c.secondIcon), c.next);
    size_t icons = 0;
    for (const auto& e : table.Entries()) {
      icons += !e.type.IsName() && e.type.Id() == kRtIcon;
      // Nothing is left in another language to be found instead.
      if (!e.type.IsName() && (e.type.Id() == kRtIcon || e.type.Id() == kRtGroupIcon)) {
        EXPECT_EQ(e.language, 0x409);
      }
    }
    EXPECT_EQ(icons, c.main.size() + c.second.size() + 1) << "old images are not left behind";
    ASSERT_NE(table.Find(kRtIcon, 50, 0x409), nullptr);
    for (const auto& [id, images] :
         {std::pair{kMainIconGroup, &c.main}, std::pair{kSecondIconGroup, &c.second}}) {
      const ResourceEntry* g = table.Find(kRtGroupIcon, id, 0x409);
      ASSERT_NE(g, nullptr);
      const auto ids = GroupIds(*g);
      ASSERT_EQ(ids.size(), images->size());
      for (size_t i = 0; i < ids.size(); ++i) {
        const ResourceEntry* image = table.Find(kRtIcon, ids[i], 0x409);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->data, (*images)[i]) << "group " << id << " image " << i;
      }
    }
    EXPECT_EQ(table.Find(kRtGroupIcon, kMainIconGroup, 0x409)->data.size(), c.mainGroupSize);
  }

  // A program without icon groups gets them in no particular language.
  ResourceTable bare;
  EXPECT_EQ(ReplaceIconGroups(bare, &twoIcon, nullptr), 3);
  ASSERT_NE(bare.Find(kRtGroupIcon, kMainIconGroup, 0), nullptr);
  EXPECT_EQ(bare.Entries().size(), 3u);
}

}  // namespace
}  // namespace brim
