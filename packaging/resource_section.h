#pragma once
// The resources of a PE image as a list we can edit, read from and written back to the bytes
// of its resource section. Portable: no loader and no platform resource calls, so that the
// same code edits a projector on Windows and on a build server.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brim {

// Why a resource edit did not happen. The Win32 glue turns these into last-error values.
enum class ResourceStatus {
  kOk,
  kOpenFailed,         // the file cannot be opened for reading and writing
  kNotPe,              // no "MZ", no PE signature, or headers cut short
  kNoResourceSection,  // no ".rsrc" section, or one without raw data
  kMalformed,          // an offset, length, count or depth that does not fit its section
  kUnsupportedLayout,  // the resource table does not start at its section's start
  kNoRoom,             // the section would have to grow into the section or data after it
  kTooLarge,           // more than the format's 32-bit sizes can describe
  kReadFailed,
  kWriteFailed,
  kNotBegun,  // an edit ended that never began
};

const char* ResourceStatusText(ResourceStatus status);

// A resource type or name: a number, or a UTF-16 string compared without regard to the case
// of A to Z.
class ResourceKey {
 public:
  ResourceKey(uint16_t id) : id_(id) {}  // NOLINT: numbered keys read best as plain numbers
  explicit ResourceKey(std::u16string name) : isName_(true), name_(std::move(name)) {}
  // For names we spell in code, such as "BINARY".
  static ResourceKey Ascii(std::string_view text);

  bool IsName() const { return isName_; }
  uint16_t Id() const { return id_; }
  const std::u16string& Name() const { return name_; }

 private:
  bool isName_ = false;
  uint16_t id_ = 0;
  std::u16string name_;
};

// Order of keys in a resource directory: every name before every number, names by their
// A-to-Z-folded code units, numbers by value. Zero when the keys are the same key.
int CompareKeys(const ResourceKey& a, const ResourceKey& b);
inline bool SameKey(const ResourceKey& a, const ResourceKey& b) { return CompareKeys(a, b) == 0; }

// Well-known resource types.
constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;

struct ResourceEntry {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  uint32_t reserved = 0;
  std::vector<uint8_t> data;
};

// The header fields of a directory table found in the file, kept so that a rewrite does not
// change them. Level 0 is the root, 1 a type's table, 2 a name's table of languages.
struct DirectoryHeader {
  int level = 0;
  ResourceKey type = 0;
  ResourceKey name = 0;
  uint32_t characteristics = 0;
  uint32_t timeDateStamp = 0;
  uint16_t majorVersion = 0;
  uint16_t minorVersion = 0;
};

// What a rebuilt section measures.
struct SectionSizes {
  uint32_t virtualSize = 0;  // the bytes that mean something
  uint32_t rawSize = 0;      // rounded up to the file alignment
};

class ResourceTable {
 public:
  // Reads a resource section: `section` holds its raw bytes, `sectionRva` is its address in the
  // image (data entries give addresses, not offsets). Every table, string and data range is
  // checked against `section`; anything outside, a table reached twice, or a fourth level is
  // kMalformed and leaves the table empty.
  ResourceStatus Parse(std::span<const uint8_t> section, uint32_t sectionRva);

  // Adds or replaces the data of (type, name, language); `data` nothing deletes it. A string
  // key that matches one already known apart from the case of A to Z uses the known spelling.
  void Update(const ResourceKey& type, const ResourceKey& name, uint16_t language,
              std::optional<std::span<const uint8_t>> data);
  // Deletes (type, name) in every language; the number deleted.
  size_t DeleteAllLanguages(const ResourceKey& type, const ResourceKey& name);
  // Drops every resource but keeps what the file's directories said about themselves.
  void Clear() { entries_.clear(); }

  const ResourceEntry* Find(const ResourceKey& type, const ResourceKey& name,
                            uint16_t language) const;
  // The first language (in directory order) that (type, name) exists in.
  std::optional<uint16_t> FirstLanguage(const ResourceKey& type, const ResourceKey& name) const;
  const std::vector<ResourceEntry>& Entries() const { return entries_; }

  // Sizes of the section Build would make.
  std::optional<SectionSizes> Measure(uint32_t fileAlignment);
  // The new section: directories depth first, then the names, then the data, zero-filled to
  // its raw size. Directories that were not in the file get `newDirectoryTime` as their time
  // stamp. Nothing when it would not fit the format's 32-bit sizes.
  std::optional<std::vector<uint8_t>> Build(uint32_t sectionRva, uint32_t fileAlignment,
                                            uint32_t newDirectoryTime);

 private:
  struct Tree;
  ResourceKey Intern(const ResourceKey& key);
  void SortAndPrune();
  Tree Group() const;
  const DirectoryHeader* HeaderFor(int level, const ResourceKey& type,
                                   const ResourceKey& name) const;

  std::vector<ResourceEntry> entries_;
  std::vector<DirectoryHeader> headers_;
  std::vector<std::u16string> names_;  // in the order they first appeared
};

}  // namespace brim
