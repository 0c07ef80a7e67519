#include "packaging/resource_section.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace brim {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint64_t kTableHeaderSize = 16;
constexpr uint64_t kTableEntrySize = 8;
constexpr uint64_t kDataEntrySize = 16;

uint16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

int CompareNames(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint16_t x = Fold(a[i]);
    const uint16_t y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

uint64_t Align(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bounds-checked little-endian reads over the section's bytes.
class SectionReader {
 public:
  explicit SectionReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Has(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && bytes_.size() - offset >= size;
  }
  uint16_t U16(uint64_t offset) const { return bytes_[offset] | bytes_[offset + 1] << 8; }
  uint32_t U32(uint64_t offset) const {
    return static_cast<uint32_t>(U16(offset)) | static_cast<uint32_t>(U16(offset + 2)) << 16;
  }
  std::span<const uint8_t> Bytes(uint64_t offset, uint64_t size) const {
    return bytes_.subspan(offset, size);
  }
  size_t Size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

struct TableView {
  uint64_t offset = 0;
  uint32_t characteristics = 0;
  uint32_t timeDateStamp = 0;
  uint16_t majorVersion = 0;
  uint16_t minorVersion = 0;
  uint32_t entryCount = 0;
};

}  // namespace

const char* ResourceStatusText(ResourceStatus status) {
  switch (status) {
    case ResourceStatus::kOk:
      return "done";
    case ResourceStatus::kOpenFailed:
      return "the file cannot be opened for reading and writing";
    case ResourceStatus::kNotPe:
      return "not a PE image";
    case ResourceStatus::kNoResourceSection:
      return "no resource section";
    case ResourceStatus::kMalformed:
      return "the resource section is malformed";
    case ResourceStatus::kUnsupportedLayout:
      return "the resource section shares its place with other parts of the file";
    case ResourceStatus::kNoRoom:
      return "the resource section would grow into what follows it";
    case ResourceStatus::kTooLarge:
      return "the resources are too large";
    case ResourceStatus::kReadFailed:
      return "the file cannot be read";
    case ResourceStatus::kWriteFailed:
      return "the file cannot be written";
    case ResourceStatus::kNotBegun:
      return "no edit has begun";
  }
  return "unknown";
}

ResourceKey ResourceKey::Ascii(std::string_view text) {
  return ResourceKey(std::u16string(text.begin(), text.end()));
}

int CompareKeys(const ResourceKey& a, const ResourceKey& b) {
  if (a.IsName() != b.IsName()) return a.IsName() ? -1 : 1;
  if (a.IsName()) return CompareNames(a.Name(), b.Name());
  if (a.Id() == b.Id()) return 0;
  return a.Id() < b.Id() ? -1 : 1;
}

struct ResourceTable::Tree {
  struct Name {
    size_t first = 0;  // index into the sorted entries; its languages follow
    size_t count = 0;
  };
  struct Type {
    std::vector<Name> names;
  };
  std::vector<Type> types;
  size_t nameCount = 0;
};

ResourceKey ResourceTable::Intern(const ResourceKey& key) {
  if (!key.IsName()) return key;
  for (const auto& known : names_) {
    if (known.size() == key.Name().size() && CompareNames(known, key.Name()) == 0) {
      return ResourceKey(known);
    }
  }
  names_.push_back(key.Name());
  return key;
}

ResourceStatus ResourceTable::Parse(std::span<const uint8_t> section, uint32_t sectionRva) {
  entries_.clear();
  headers_.clear();
  names_.clear();
  const SectionReader in(section);
  std::set<uint64_t> visited;
  // Data ranges may be shared, but a section cannot honestly hold much more data than itself;
  // the limit keeps a crafted table from multiplying one range into gigabytes of copies.
  const uint64_t dataLimit = 4 * static_cast<uint64_t>(section.size());
  uint64_t dataTotal = 0;

  auto fail = [this] {
    entries_.clear();
    headers_.clear();
    names_.clear();
    return ResourceStatus::kMalformed;
  };
  auto readTable = [&](uint64_t offset, TableView& table) {
    if (!in.Has(offset, kTableHeaderSize) || !visited.insert(offset).second) return false;
    table.offset = offset;
    table.characteristics = in.U32(offset);
    table.timeDateStamp = in.U32(offset + 4);
    table.majorVersion = in.U16(offset + 8);
    table.minorVersion = in.U16(offset + 10);
    table.entryCount = static_cast<uint32_t>(in.U16(offset + 12)) + in.U16(offset + 14);
    return in.Has(offset + kTableHeaderSize, kTableEntrySize * table.entryCount);
  };
  auto remember = [&](int level, const TableView& table, const ResourceKey& type,
                      const ResourceKey& name) {
    headers_.push_back({level, type, name, table.characteristics, table.timeDateStamp,
                        table.majorVersion, table.minorVersion});
  };
  auto readKey = [&](uint32_t field, std::optional<ResourceKey>& key) {
    if ((field & kHighBit) == 0) {
      // A number's upper half must be empty, or two entries could claim one id.
      if (field > 0xFFFF) return false;
      key = ResourceKey(static_cast<uint16_t>(field));
      return true;
    }
    const uint64_t at = field & ~kHighBit;
    if (!in.Has(at, 2)) return false;
    const uint16_t length = in.U16(at);
    if (!in.Has(at + 2, 2ull * length)) return false;
    std::u16string text(length, u'\0');
    for (uint16_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(in.U16(at + 2 + 2 * i));
    key = Intern(ResourceKey(std::move(text)));
    return true;
  };

  TableView root;
  if (!readTable(0, root)) return fail();
  remember(0, root, 0, 0);
  for (uint32_t t = 0; t < root.entryCount; ++t) {
    const uint64_t at = kTableHeaderSize + kTableEntrySize * t;
    const uint32_t child = in.U32(at + 4);
    // An entry at this depth that is not a directory has no place in the tree; it is left out.
    if ((child & kHighBit) == 0) continue;
    std::optional<ResourceKey> type;
    TableView typeTable;
    if (!readKey(in.U32(at), type) || !readTable(child & ~kHighBit, typeTable)) return fail();
    remember(1, typeTable, *type, 0);
    for (uint32_t n = 0; n < typeTable.entryCount; ++n) {
      const uint64_t nameAt = typeTable.offset + kTableHeaderSize + kTableEntrySize * n;
      const uint32_t nameChild = in.U32(nameAt + 4);
      if ((nameChild & kHighBit) == 0) continue;
      std::optional<ResourceKey> name;
      TableView nameTable;
      if (!readKey(in.U32(nameAt), name) || !readTable(nameChild & ~kHighBit, nameTable)) {
        return fail();
      }
      remember(2, nameTable, *type, *name);
      for (uint32_t l = 0; l < nameTable.entryCount; ++l) {
        const uint64_t langAt = nameTable.offset + kTableHeaderSize + kTableEntrySize * l;
        const uint32_t language = in.U32(langAt);
        const uint32_t dataEntry = in.U32(langAt + 4);
        // Languages are numbers and lead to data: a string or a further directory here is a
        // fourth level that no loader knows.
        if (language > 0xFFFF || (dataEntry & kHighBit) != 0) return fail();
        if (!in.Has(dataEntry, kDataEntrySize)) return fail();
        const uint32_t address = in.U32(dataEntry) & ~kHighBit;
        const uint32_t size = in.U32(dataEntry + 4);
        if (address < sectionRva || !in.Has(address - sectionRva, size)) return fail();
        dataTotal += size;
        if (dataTotal > dataLimit) return fail();
        const auto bytes = in.Bytes(address - sectionRva, size);
        entries_.push_back({*type,
                            *name,
                            static_cast<uint16_t>(language),
                            in.U32(dataEntry + 8),
                            in.U32(dataEntry + 12),
                            {bytes.begin(), bytes.end()}});
      }
    }
  }
  // Two directories whose names differ only in case are one key to us; if both hold the same
  // language, one of them would be lost on the way back.
  std::vector<const ResourceEntry*> order;
  for (const auto& e : entries_) order.push_back(&e);
  auto less = [](const ResourceEntry* a, const ResourceEntry* b) {
    if (int c = CompareKeys(a->type, b->type)) return c < 0;
    if (int c = CompareKeys(a->name, b->name)) return c < 0;
    return a->language < b->language;
  };
  std::sort(order.begin(), order.end(), less);
  for (size_t i = 1; i < order.size(); ++i) {
    if (!less(order[i - 1], order[i])) return fail();
  }
  return ResourceStatus::kOk;
}

const ResourceEntry* ResourceTable::Find(const ResourceKey& type, const ResourceKey& name,
                                         uint16_t language) const {
  for (const auto& e : entries_) {
    if (e.language == language && SameKey(e.type, type) && SameKey(e.name, name)) return &e;
  }
  return nullptr;
}

std::optional<uint16_t> ResourceTable::FirstLanguage(const ResourceKey& type,
                                                     const ResourceKey& name) const {
  std::optional<uint16_t> first;
  for (const auto& e : entries_) {
    if (SameKey(e.type, type) && SameKey(e.name, name) && (!first || e.language < *first)) {
      first = e.language;
    }
  }
  return first;
}

void ResourceTable::Update(const ResourceKey& type, const ResourceKey& name, uint16_t language,
                           std::optional<std::span<const uint8_t>> data) {
  const ResourceKey typeKey = Intern(type);
  const ResourceKey nameKey = Intern(name);
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const ResourceEntry& e) {
    return e.language == language && SameKey(e.type, typeKey) && SameKey(e.name, nameKey);
  });
  if (!data) {
    if (found != entries_.end()) entries_.erase(found);
    return;
  }
  // New data starts afresh: the old entry's code page described the old bytes.
  ResourceEntry entry{typeKey, nameKey, language, 0, 0, {data->begin(), data->end()}};
  if (found != entries_.end()) {
    *found = std::move(entry);
  } else {
    entries_.push_back(std::move(entry));
  }
}

size_t ResourceTable::DeleteAllLanguages(const ResourceKey& type, const ResourceKey& name) {
  const size_t before = entries_.size();
  std::erase_if(entries_, [&](const ResourceEntry& e) {
    return SameKey(e.type, type) && SameKey(e.name, name);
  });
  return before - entries_.size();
}

void ResourceTable::SortAndPrune() {
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const ResourceEntry& a, const ResourceEntry& b) {
                     if (int c = CompareKeys(a.type, b.type)) return c < 0;
                     if (int c = CompareKeys(a.name, b.name)) return c < 0;
                     return a.language < b.language;
                   });
  std::erase_if(names_, [this](const std::u16string& n) {
    return std::none_of(entries_.begin(), entries_.end(), [&](const ResourceEntry& e) {
      return (e.type.IsName() && e.type.Name() == n) || (e.name.IsName() && e.name.Name() == n);
    });
  });
}

ResourceTable::Tree ResourceTable::Group() const {
  Tree tree;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const bool newType = i == 0 || !SameKey(entries_[i].type, entries_[i - 1].type);
    if (newType) tree.types.emplace_back();
    auto& names = tree.types.back().names;
    if (newType || !SameKey(entries_[i].name, entries_[i - 1].name)) {
      names.push_back({i, 0});
      ++tree.nameCount;
    }
    ++names.back().count;
  }
  return tree;
}

const DirectoryHeader* ResourceTable::HeaderFor(int level, const ResourceKey& type,
                                                const ResourceKey& name) const {
  for (const auto& h : headers_) {
    if (h.level == level && (level < 1 || SameKey(h.type, type)) &&
        (level < 2 || SameKey(h.name, name))) {
      return &h;
    }
  }
  return nullptr;
}

std::optional<SectionSizes> ResourceTable::Measure(uint32_t fileAlignment) {
  if (fileAlignment == 0) return std::nullopt;
  SortAndPrune();
  const Tree tree = Group();
  uint64_t size = kTableHeaderSize + (kTableHeaderSize + kTableEntrySize) *
                                         (tree.types.size() + tree.nameCount + entries_.size());
  uint64_t strings = 0;
  for (const auto& n : names_) strings += 2 + 2 * static_cast<uint64_t>(n.size());
  size += Align(strings, 4);
  for (const auto& e : entries_) size += Align(e.data.size(), 4);
  const uint64_t raw = Align(size, fileAlignment);
  if (raw > 0x7FFFFFFF) return std::nullopt;
  return SectionSizes{static_cast<uint32_t>(size), static_cast<uint32_t>(raw)};
}

std::optional<std::vector<uint8_t>> ResourceTable::Build(uint32_t sectionRva,
                                                         uint32_t fileAlignment,
                                                         uint32_t newDirectoryTime) {
  const auto sizes = Measure(fileAlignment);
  if (!sizes || static_cast<uint64_t>(sectionRva) + sizes->rawSize > 0xFFFFFFFFull) {
    return std::nullopt;
  }
  const Tree tree = Group();
  std::vector<uint8_t> out(sizes->rawSize, 0);

  const uint32_t directorySize = static_cast<uint32_t>(
      kTableHeaderSize + (kTableHeaderSize + kTableEntrySize) *
                             (tree.types.size() + tree.nameCount + entries_.size()));
  std::vector<uint32_t> nameOffsets;
  uint32_t at = directorySize;
  for (const auto& n : names_) {
    nameOffsets.push_back(at);
    Store16(&out[at], static_cast<uint16_t>(n.size()));
    for (size_t i = 0; i < n.size(); ++i) Store16(&out[at + 2 + 2 * i], n[i]);
    at += static_cast<uint32_t>(2 + 2 * n.size());
  }
  uint32_t dataAt = static_cast<uint32_t>(Align(at, 4));

  auto keyField = [&](const ResourceKey& key) -> uint32_t {
    if (!key.IsName()) return key.Id();
    const size_t index = std::find(names_.begin(), names_.end(), key.Name()) - names_.begin();
    return nameOffsets[index] | kHighBit;
  };
  auto writeHeader = [&](uint32_t offset, int level, const ResourceKey& type,
                         const ResourceKey& name, uint16_t named, uint16_t ids) {
    const DirectoryHeader* h = HeaderFor(level, type, name);
    Store32(&out[offset], h ? h->characteristics : 0);
    Store32(&out[offset + 4], h ? h->timeDateStamp : newDirectoryTime);
    Store16(&out[offset + 8], h ? h->majorVersion : 0);
    Store16(&out[offset + 10], h ? h->minorVersion : 0);
    Store16(&out[offset + 12], named);
    Store16(&out[offset + 14], ids);
  };
  auto countNames = [](auto first, auto last, auto keyOf) {
    return static_cast<uint16_t>(
        std::count_if(first, last, [&](const auto& x) { return keyOf(x).IsName(); }));
  };

  // Directory tables and counts are 16-bit; more than that many children cannot be written.
  if (tree.types.size() > 0xFFFF) return std::nullopt;
  const uint16_t namedTypes = countNames(tree.types.begin(), tree.types.end(),
                                         [&](const Tree::Type& t) -> const ResourceKey& {
                                           return entries_[t.names.front().first].type;
                                         });
  writeHeader(0, 0, 0, 0, namedTypes, static_cast<uint16_t>(tree.types.size() - namedTypes));
  uint32_t next = static_cast<uint32_t>(kTableHeaderSize + kTableEntrySize * tree.types.size());
  for (size_t t = 0; t < tree.types.size(); ++t) {
    const auto& type = tree.types[t];
    const ResourceKey& typeKey = entries_[type.names.front().first].type;
    if (type.names.size() > 0xFFFF) return std::nullopt;
    const uint32_t typeTable = next;
    Store32(&out[kTableHeaderSize + kTableEntrySize * t], keyField(typeKey));
    Store32(&out[kTableHeaderSize + kTableEntrySize * t + 4], typeTable | kHighBit);
    const uint16_t namedNames = countNames(
        type.names.begin(), type.names.end(),
        [&](const Tree::Name& n) -> const ResourceKey& { return entries_[n.first].name; });
    writeHeader(typeTable, 1, typeKey, 0, namedNames,
                static_cast<uint16_t>(type.names.size() - namedNames));
    next =
        static_cast<uint32_t>(typeTable + kTableHeaderSize + kTableEntrySize * type.names.size());
    for (size_t n = 0; n < type.names.size(); ++n) {
      const auto& name = type.names[n];
      const ResourceKey& nameKey = entries_[name.first].name;
      if (name.count > 0xFFFF) return std::nullopt;
      const uint32_t nameTable = next;
      const uint32_t slot =
          static_cast<uint32_t>(typeTable + kTableHeaderSize + kTableEntrySize * n);
      Store32(&out[slot], keyField(nameKey));
      Store32(&out[slot + 4], nameTable | kHighBit);
      writeHeader(nameTable, 2, typeKey, nameKey, 0, static_cast<uint16_t>(name.count));
      uint32_t dataEntry =
          static_cast<uint32_t>(nameTable + kTableHeaderSize + kTableEntrySize * name.count);
      for (size_t l = 0; l < name.count; ++l) {
        const ResourceEntry& e = entries_[name.first + l];
        const uint32_t langSlot =
            static_cast<uint32_t>(nameTable + kTableHeaderSize + kTableEntrySize * l);
        Store32(&out[langSlot], e.language);
        Store32(&out[langSlot + 4], dataEntry);
        Store32(&out[dataEntry], sectionRva + dataAt);
        Store32(&out[dataEntry + 4], static_cast<uint32_t>(e.data.size()));
        Store32(&out[dataEntry + 8], e.codePage);
        Store32(&out[dataEntry + 12], e.reserved);
        if (!e.data.empty()) std::memcpy(&out[dataAt], e.data.data(), e.data.size());
        dataAt += static_cast<uint32_t>(Align(e.data.size(), 4));
        dataEntry += static_cast<uint32_t>(kDataEntrySize);
      }
      next = dataEntry;
    }
  }
  return out;
}

}  // namespace brim
