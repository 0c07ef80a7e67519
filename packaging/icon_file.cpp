#include "packaging/icon_file.h"

#include <algorithm>
#include <optional>

namespace brim {

namespace {

constexpr size_t kIconHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(Load16(p)) | static_cast<uint32_t>(Load16(p + 2)) << 16;
}

// A group as it will be written: its language, header and images.
struct GroupPlan {
  uint16_t groupId = 0;
  uint16_t language = 0;
  std::array<uint8_t, 6> header{};
  std::vector<std::array<uint8_t, 12>> entries;
  std::vector<std::vector<uint8_t>> images;
};

// The icon numbers a group resource lists; nothing when it is cut short.
std::optional<std::vector<uint16_t>> GroupIconIds(const std::vector<uint8_t>& group) {
  if (group.size() < kIconHeaderSize) return std::nullopt;
  const size_t count = Load16(&group[4]);
  if (group.size() < kIconHeaderSize + kGroupEntrySize * count) return std::nullopt;
  std::vector<uint16_t> ids;
  for (size_t i = 0; i < count; ++i)
    ids.push_back(Load16(&group[kIconHeaderSize + kGroupEntrySize * i + 12]));
  return ids;
}

// The plan that keeps an existing group's icon under new numbers; nothing when the group or
// one of its images cannot be found.
std::optional<GroupPlan> KeepGroup(const ResourceTable& table, uint16_t groupId,
                                   uint16_t language) {
  const ResourceEntry* group = table.Find(kRtGroupIcon, groupId, language);
  if (!group) return std::nullopt;
  const auto ids = GroupIconIds(group->data);
  if (!ids) return std::nullopt;
  GroupPlan plan;
  plan.groupId = groupId;
  plan.language = language;
  std::copy_n(group->data.begin(), kIconHeaderSize, plan.header.begin());
  for (size_t i = 0; i < ids->size(); ++i) {
    const ResourceEntry* image = table.Find(kRtIcon, (*ids)[i], language);
    if (!image) {
      const auto other = table.FirstLanguage(kRtIcon, (*ids)[i]);
      if (!other) return std::nullopt;
      image = table.Find(kRtIcon, (*ids)[i], *other);
    }
    std::array<uint8_t, 12> entry;
    std::copy_n(group->data.begin() + kIconHeaderSize + kGroupEntrySize * i, 12, entry.begin());
    plan.entries.push_back(entry);
    plan.images.push_back(image->data);
  }
  return plan;
}

GroupPlan NewGroup(const IconFile& icon, uint16_t groupId, uint16_t language) {
  GroupPlan plan;
  plan.groupId = groupId;
  plan.language = language;
  plan.header = icon.header;
  for (const auto& image : icon.images) {
    plan.entries.push_back(image.entry);
    plan.images.emplace_back(image.bytes.begin(), image.bytes.end());
  }
  return plan;
}

}  // namespace

const char* IconStatusText(IconStatus status) {
  switch (status) {
    case IconStatus::kOk:
      return "done";
    case IconStatus::kTooShort:
      return "the icon file is cut short";
    case IconStatus::kNotIcon:
      return "not an icon file";
    case IconStatus::kImageOutside:
      return "an icon image lies outside the file";
    case IconStatus::kEmptyImage:
      return "an icon image is empty";
  }
  return "unknown";
}

IconStatus ReadIconFile(std::span<const uint8_t> file, IconFile& icon) {
  if (file.size() < kIconHeaderSize) return IconStatus::kTooShort;
  if (Load16(&file[0]) != 0 || Load16(&file[2]) != 1) return IconStatus::kNotIcon;
  const size_t count = Load16(&file[4]);
  const size_t directoryEnd = kIconHeaderSize + kFileEntrySize * count;
  if (file.size() < directoryEnd) return IconStatus::kTooShort;
  IconFile read;
  std::copy_n(file.begin(), kIconHeaderSize, read.header.begin());
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &file[kIconHeaderSize + kFileEntrySize * i];
    const uint64_t size = Load32(entry + 8);
    const uint64_t offset = Load32(entry + 12);
    if (size == 0) return IconStatus::kEmptyImage;
    if (offset < directoryEnd || offset > file.size() || file.size() - offset < size) {
      return IconStatus::kImageOutside;
    }
    IconImage image;
    std::copy_n(entry, image.entry.size(), image.entry.begin());
    image.bytes = file.subspan(offset, size);
    read.images.push_back(image);
  }
  icon = std::move(read);
  return IconStatus::kOk;
}

uint16_t ReplaceIconGroups(ResourceTable& table, const IconFile* mainIcon,
                           const IconFile* secondIcon) {
  const struct {
    uint16_t id;
    const IconFile* icon;
  } groups[] = {{kMainIconGroup, mainIcon}, {kSecondIconGroup, secondIcon}};

  std::vector<GroupPlan> plans;  // new icons first, then the groups that keep theirs
  std::vector<GroupPlan> kept;
  std::vector<uint16_t> rewritten;
  std::vector<uint16_t> oldImages;
  for (const auto& g : groups) {
    const auto language = table.FirstLanguage(kRtGroupIcon, g.id);
    std::optional<GroupPlan> plan;
    if (g.icon) {
      plan = NewGroup(*g.icon, g.id, language.value_or(0));
    } else if (language) {
      plan = KeepGroup(table, g.id, *language);
    }
    // A group we cannot read stays exactly as it is, and so do its images.
    if (!plan) continue;
    rewritten.push_back(g.id);
    for (const auto& e : table.Entries()) {
      if (e.type.IsName() || e.type.Id() != kRtGroupIcon || e.name.IsName() ||
          e.name.Id() != g.id) {
        continue;
      }
      if (auto ids = GroupIconIds(e.data))
        oldImages.insert(oldImages.end(), ids->begin(), ids->end());
    }
    (g.icon ? plans : kept).push_back(std::move(*plan));
  }
  plans.insert(plans.end(), std::make_move_iterator(kept.begin()),
               std::make_move_iterator(kept.end()));

  for (uint16_t id : oldImages) table.DeleteAllLanguages(kRtIcon, id);
  for (uint16_t id : rewritten) table.DeleteAllLanguages(kRtGroupIcon, id);

  uint16_t next = 1;
  for (const auto& plan : plans) {
    std::vector<uint8_t> group(plan.header.begin(), plan.header.end());
    uint16_t written = 0;
    // Numbers run out at 65535; a group then lists only the images that got one.
    for (size_t i = 0; i < plan.images.size() && next != 0; ++i, ++next, ++written) {
      table.Update(kRtIcon, next, plan.language, plan.images[i]);
      group.insert(group.end(), plan.entries[i].begin(), plan.entries[i].end());
      group.push_back(static_cast<uint8_t>(next));
      group.push_back(static_cast<uint8_t>(next >> 8));
    }
    group[4] = static_cast<uint8_t>(written);
    group[5] = static_cast<uint8_t>(written >> 8);
    table.Update(kRtGroupIcon, plan.groupId, plan.language, group);
  }
  return next;
}

}  // namespace brim
