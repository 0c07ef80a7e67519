#include "render/import_table.h"

#include <optional>

#include "base/pe_layout.h"

namespace brim {
namespace {

// Beyond these a table is taken as damaged rather than walked for ever.
constexpr size_t kMaxDescriptors = 4096;
constexpr size_t kMaxSlots = 1 << 20;
constexpr size_t kMaxName = 512;

using namespace pe;
constexpr size_t kDescriptorSize = 20;

uint32_t Read16(std::span<const uint8_t> b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Read32(std::span<const uint8_t> b, size_t at) {
  return Read16(b, at) | (Read16(b, at + 2) << 16);
}
uint64_t Read64(std::span<const uint8_t> b, size_t at) {
  return Read32(b, at) | (uint64_t{Read32(b, at + 4)} << 32);
}

struct Section {
  uint32_t virtualAddress, rawSize, rawOffset;
};

// The image's headers, as far as the walk needs them.
class Image {
 public:
  Image(std::span<const uint8_t> bytes, ImageLayout layout) : bytes_(bytes), layout_(layout) {}

  bool ReadHeaders() {
    if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') return false;
    const uint64_t nt = Read32(bytes_, kNewHeaderOffsetField);
    if (!Fits(nt, 24) || Read32(bytes_, nt) != kSignature) return false;
    const uint32_t sections = Read16(bytes_, nt + 6);
    const uint32_t optionalSize = Read16(bytes_, nt + 20);
    const uint64_t optional = nt + 24;
    if (!Fits(optional, optionalSize) || optionalSize < 2) return false;
    const uint32_t magic = Read16(bytes_, optional);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
    is64_ = magic == kMagicPe32Plus;
    const uint64_t countAt = optional + DirectoryCountField(is64_);
    const uint64_t directories = countAt + 4;
    if (countAt + 4 > optional + optionalSize || optionalSize < 60) return false;
    sizeOfImage_ = Read32(bytes_, optional + kSizeOfImageField);
    const uint64_t count = Read32(bytes_, countAt);
    if (count > kImportDirectory &&
        directories + 8 * (kImportDirectory + 1) <= optional + optionalSize) {
      importRva_ = Read32(bytes_, directories + 8 * kImportDirectory);
    }
    const uint64_t table = optional + optionalSize;
    if (!Fits(table, uint64_t{sections} * kSectionHeaderSize)) return false;
    for (uint32_t i = 0; i < sections; ++i) {
      const uint64_t at = table + uint64_t{i} * kSectionHeaderSize;
      sections_.push_back({Read32(bytes_, at + 12), Read32(bytes_, at + 16),
                           Read32(bytes_, at + 20)});
    }
    return true;
  }

  bool Is64() const { return is64_; }
  uint32_t ImportRva() const { return importRva_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }

  // The offset of `length` bytes at `rva`, when they lie in the image in one piece.
  std::optional<size_t> At(uint64_t rva, uint64_t length) const {
    if (layout_ == ImageLayout::kMapped) {
      if (!Fits(rva, length)) return std::nullopt;
      return static_cast<size_t>(rva);
    }
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
      const uint64_t inside = rva - s.virtualAddress;
      if (inside + length > s.rawSize || !Fits(uint64_t{s.rawOffset} + inside, length)) {
        return std::nullopt;
      }
      return static_cast<size_t>(s.rawOffset + inside);
    }
    return std::nullopt;
  }

  std::optional<uint32_t> Word32(uint64_t rva) const {
    const auto at = At(rva, 4);
    if (!at) return std::nullopt;
    return Read32(bytes_, *at);
  }

  // An address slot, 4 or 8 bytes.
  std::optional<uint64_t> Slot(uint64_t rva) const {
    const auto at = At(rva, is64_ ? 8 : 4);
    if (!at) return std::nullopt;
    return is64_ ? Read64(bytes_, *at) : Read32(bytes_, *at);
  }

  // A zero-ended name; nothing when it runs out of the image or past kMaxName.
  std::optional<std::string> Name(uint64_t rva) const {
    std::string name;
    for (uint64_t i = 0; i < kMaxName; ++i) {
      const auto at = At(rva + i, 1);
      if (!at) return std::nullopt;
      if (bytes_[*at] == 0) return name;
      name.push_back(static_cast<char>(bytes_[*at]));
    }
    return std::nullopt;
  }

 private:
  bool Fits(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }

  std::span<const uint8_t> bytes_;
  ImageLayout layout_;
  bool is64_ = false;
  uint32_t importRva_ = 0;
  uint32_t sizeOfImage_ = 0;
  std::vector<Section> sections_;
};

// One descriptor's slots; false when its tables are damaged.
bool ReadSlots(const Image& image, uint32_t namesRva, uint32_t addressesRva, size_t& budget,
               ImportedModule& module) {
  const uint64_t width = image.Is64() ? 8 : 4;
  const uint64_t ordinalFlag = image.Is64() ? uint64_t{1} << 63 : uint64_t{1} << 31;
  // Without a name table the address table is walked: in a file it still holds the names, in
  // a mapped module only addresses.
  const uint64_t listRva = module.named ? namesRva : addressesRva;
  for (uint64_t i = 0;; ++i) {
    if (budget == 0) return false;
    --budget;
    const auto entry = image.Slot(listRva + i * width);
    if (!entry) return false;
    if (*entry == 0) return true;
    ImportSlot slot;
    slot.slotRva = static_cast<uint32_t>(addressesRva + i * width);
    // The address slot a patch would write must lie in the image as surely as the name does.
    if (addressesRva + i * width > UINT32_MAX || !image.Slot(addressesRva + i * width)) {
      return false;
    }
    if (!module.named) {
      // Nothing to read but the slot itself.
    } else if (*entry & ordinalFlag) {
      slot.ordinal = static_cast<uint32_t>(*entry & 0xFFFF);
    } else {
      if (*entry > 0x7FFFFFFF) return false;
      const auto name = image.Name(*entry + 2);  // past the two-byte hint
      if (!name) return false;
      slot.function = *name;
    }
    module.slots.push_back(std::move(slot));
  }
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

uint32_t MappedImageSize(std::span<const uint8_t> headers) {
  Image image(headers, ImageLayout::kMapped);
  return image.ReadHeaders() ? image.SizeOfImage() : 0;
}

ImportTable ReadImportTable(std::span<const uint8_t> bytes, ImageLayout layout) {
  ImportTable table;
  Image image(bytes, layout);
  if (!image.ReadHeaders()) return table;
  table.is64 = image.Is64();
  table.status = ImportStatus::kNoImports;
  if (image.ImportRva() == 0) return table;
  size_t budget = kMaxSlots;
  for (size_t i = 0;; ++i) {
    const uint64_t at = uint64_t{image.ImportRva()} + i * kDescriptorSize;
    const auto names = image.Word32(at);
    const auto nameRva = image.Word32(at + 12);
    const auto addresses = image.Word32(at + 16);
    if (i == kMaxDescriptors || !names || !nameRva || !addresses) {
      table.status = ImportStatus::kMalformed;
      table.modules.clear();
      return table;
    }
    if (*addresses == 0) break;
    ImportedModule module;
    const auto name = image.Name(*nameRva);
    module.named = *names != 0 || layout == ImageLayout::kFile;
    if (!name || !ReadSlots(image, *names, *addresses, budget, module)) {
      table.status = ImportStatus::kMalformed;
      table.modules.clear();
      return table;
    }
    module.name = *name;
    table.modules.push_back(std::move(module));
  }
  if (!table.modules.empty()) table.status = ImportStatus::kOk;
  return table;
}

}  // namespace brim
