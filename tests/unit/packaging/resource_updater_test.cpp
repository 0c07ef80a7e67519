// Resource edits of real PE files that nobody here wrote (Wine's programs and DLLs of both
// bitnesses, MinGW's DLLs), checked with python3-pefile, an independent reader.
#include "packaging/resource_updater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <set>

#include <unistd.h>

#include "pe_support.h"
#include "tools/whole_file.h"

namespace brim {
namespace {

namespace fs = std::filesystem;

std::string KeyText(const ResourceKey& key) {
  // The names in the files we read are plain ASCII, as pefile prints them.
  return key.IsName() ? std::string(key.Name().begin(), key.Name().end())
                      : "#" + std::to_string(key.Id());
}

// The line pe_resources.py prints for the same resource.
std::string Line(const ResourceEntry& e) {
  char tail[64];
  std::snprintf(tail, sizeof tail, " %u %zu %u %08lx", e.language, e.data.size(), e.codePage,
                crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
  return KeyText(e.type) + " " + KeyText(e.name) + tail;
}

std::vector<std::string> Lines(const ResourceTable& table) {
  std::vector<std::string> lines;
  for (const auto& e : table.Entries()) lines.push_back(Line(e));
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> RealFiles() {
  std::vector<std::string> files;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/",
                          "/usr/lib/i386-linux-gnu/wine/i386-windows/"}) {
    for (const char* name : {"notepad.exe", "regedit.exe", "winecfg.exe", "wordpad.exe",
                             "comctl32.dll", "comdlg32.dll", "user32.dll", "shell32.dll",
                             "tzres.dll", "lz32.dll", "msimsg.dll", "stdole32.tlb"}) {
      if (fs::exists(std::string(dir) + name)) files.push_back(std::string(dir) + name);
    }
  }
  for (const char* arch : {"i686", "x86_64"}) {
    for (const char* name : {"zlib1.dll", "libwinpthread-1.dll"}) {
      files.push_back(std::string("/usr/") + arch + "-w64-mingw32/lib/" + name);
    }
  }
  return files;
}

fs::path Scratch(const char* name) {
  const fs::path dir = fs::temp_directory_path() /
                       ("brimloft_" + std::string(name) + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(ResourceUpdater, RealFilesKeepEveryResourceThroughRewriteDeleteReplaceAndAdd) {
  const auto files = RealFiles();
  ASSERT_GE(files.size(), 20u) << "scripts/setup-deps installs Wine and the MinGW packages";
  const fs::path dir = Scratch("resources");
  const bytetest::Bytes replacement = bytetest::Noise(37, 5);
  const bytetest::Bytes first = bytetest::Noise(50, 6), second = bytetest::Noise(21, 7);

  std::vector<std::string> written;
  std::map<std::string, std::vector<std::string>> expected;
  std::map<std::string, std::vector<std::string>> ours;
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    bytetest::Bytes original;
    ASSERT_TRUE(tools::ReadWholeFile(files[i], original));
    MemoryByteSource source(original);

    // Unchanged: every resource comes back as it was.
    ResourceEdit same;
    ASSERT_EQ(same.Begin(source), ResourceStatus::kOk);
    ours[files[i]] = Lines(same.Resources());
    std::vector<FilePatch> patches;
    ASSERT_EQ(same.Prepare(1, patches), ResourceStatus::kOk);
    bytetest::Bytes rewritten = original;
    ApplyPatches(rewritten, patches);
    const std::string samePath = (dir / (std::to_string(i) + ".same")).string();
    ASSERT_TRUE(tools::WriteWholeFile(samePath, rewritten));
    written.push_back(samePath);
    expected[samePath] = ours[files[i]];

    // Edited: the largest resource deleted (the section shrinks), another replaced, and one
    // added under a named type, then replaced under the same names in other letter case.
    ResourceEdit edit;
    ASSERT_EQ(edit.Begin(source), ResourceStatus::kOk);
    ResourceTable& table = edit.Resources();
    auto lines = Lines(table);
    const auto& entries = table.Entries();
    const auto largest = std::max_element(entries.begin(), entries.end(), [](auto& a, auto& b) {
      return a.data.size() < b.data.size();
    });
    const ResourceEntry deleted = *largest;
    auto take = [&](const ResourceEntry& e) {
      auto at = std::find(lines.begin(), lines.end(), Line(e));
      ASSERT_NE(at, lines.end());
      lines.erase(at);
    };
    take(deleted);
    table.Update(deleted.type, deleted.name, deleted.language, std::nullopt);
    if (!entries.empty()) {
      ResourceEntry changed = entries.front();
      take(changed);
      table.Update(changed.type, changed.name, changed.language, replacement);
      changed.data = replacement;
      changed.codePage = 0;
      lines.push_back(Line(changed));
    }
    table.Update(ResourceKey::Ascii("BrimTest"), ResourceKey::Ascii("Case"), 0x409, first);
    table.Update(ResourceKey::Ascii("BRIMTEST"), ResourceKey::Ascii("cASE"), 0x409, second);
    lines.push_back("BrimTest Case 1033 21 0 " + [&] {
      char crc[16];
      std::snprintf(crc, sizeof crc, "%08lx", crc32(0, second.data(), 21));
      return std::string(crc);
    }());
    std::sort(lines.begin(), lines.end());

    SectionSizes sizes;
    ASSERT_EQ(edit.Prepare(1, patches, &sizes), ResourceStatus::kOk);
    bytetest::Bytes edited = original;
    ApplyPatches(edited, patches);
    // Shrinking never shortens the file: the old section's tail and all after it stay.
    const auto& layout = edit.Layout();
    ASSERT_LE(sizes.rawSize, layout.sectionRawSize);
    EXPECT_EQ(edited.size(), original.size());
    EXPECT_TRUE(std::equal(edited.begin() + layout.sectionRawPointer + sizes.rawSize, edited.end(),
                           original.begin() + layout.sectionRawPointer + sizes.rawSize));
    const std::string editPath = (dir / (std::to_string(i) + ".edit")).string();
    ASSERT_TRUE(tools::WriteWholeFile(editPath, edited));
    written.push_back(editPath);
    expected[editPath] = lines;
  }

  auto listings = petest::ListResources(files);
  const auto more = petest::ListResources(written);
  listings.insert(more.begin(), more.end());
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(ours[file].empty());
    EXPECT_EQ(ours[file], listings[file]) << "our reading differs from pefile's";
  }
  for (const auto& path : written) {
    SCOPED_TRACE(path);
    EXPECT_EQ(listings[path], expected[path]);
  }
  fs::remove_all(dir);
}

TEST(ResourceUpdater, GrowthStopsAtWhateverFollowsTheSection) {
  ResourceTable small;
  small.Update(kRtVersion, 1, 0x409, bytetest::Noise(300, 1));
  const bytetest::Bytes last = petest::MakeImage(small);
  const bytetest::Bytes last32 = petest::MakeImage(small, {0x14C, false, false});
  const bytetest::Bytes followed = petest::MakeImage(small, {0x14C, false, true});
  const fs::path dir = Scratch("growth");
  const struct {
    std::string name;
    bytetest::Bytes bytes;
    size_t added;
    bool fits;
  } cases[] = {
      {"PE32+ ending in its resources", last, 10000, true},
      {"PE32 ending in its resources, with bytes appended",
       [&] {
         auto b = last32;
         b.insert(b.end(), 5000, 0xAB);
         return b;
       }(),
       10000, true},
      {"a section after the resources, within the slack", followed, 20, true},
      {"a section after the resources, beyond the slack", followed, 600, false},
      {"Wine's notepad.exe (relocations after the resources)",
       [] {
         bytetest::Bytes b;
         tools::ReadWholeFile("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe", b);
         return b;
       }(),
       70000, false},
      {"Wine's 32-bit lz32.dll, resources last",
       [] {
         bytetest::Bytes b;
         tools::ReadWholeFile("/usr/lib/i386-linux-gnu/wine/i386-windows/lz32.dll", b);
         return b;
       }(),
       70000, true},
  };
  std::vector<std::string> grown;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    const std::string path = (dir / (std::to_string(grown.size()) + ".dll")).string();
    ASSERT_TRUE(tools::WriteWholeFile(path, c.bytes));
    ResourceFileUpdate update;
    ASSERT_EQ(update.Begin(path.c_str()), ResourceStatus::kOk);
    update.Resources()->Update(ResourceKey::Ascii("GROWN"), 7, 0, bytetest::Noise(c.added, 9));
    const ResourceStatus status = update.End(false, 1);
    bytetest::Bytes after;
    ASSERT_TRUE(tools::ReadWholeFile(path, after));
    if (!c.fits) {
      EXPECT_EQ(status, ResourceStatus::kNoRoom);
      EXPECT_EQ(after, c.bytes) << "a refused edit changes nothing";
      continue;
    }
    ASSERT_EQ(status, ResourceStatus::kOk);
    // The image's size follows a last section; pefile must find the new resource.
    MemoryByteSource source(after);
    PeResourceLayout layout;
    ASSERT_EQ(ReadPeResourceLayout(source, layout), ResourceStatus::kOk);
    const uint32_t end =
        (layout.sectionRva + layout.sectionVirtualSize + layout.sectionAlignment - 1) &
        ~(layout.sectionAlignment - 1);
    EXPECT_EQ(layout.sizeOfImage, layout.nextRva ? petest::ReadImageSize(c.bytes) : end);
    grown.push_back(path);
  }
  for (const auto& [path, lines] : petest::ListResources(grown)) {
    SCOPED_TRACE(path);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("GROWN #7 0 ", 0) == 0; }),
              1);
  }
  EXPECT_EQ(grown.size(), 4u);
  fs::remove_all(dir);
}

TEST(ResourceUpdater, RefusesMalformedFilesAndSections) {
  // A section with one named type holding one resource: the root (its entry at 0x10), the type
  // table at 0x18 (entry at 0x28), the name table at 0x30 (language entry at 0x40), the data
  // entry at 0x48, the string "AB" at 0x58 and the data at 0x60.
  ResourceTable table;
  table.Update(ResourceKey::Ascii("AB"), 5, 0x409, bytetest::Noise(8, 3));
  const bytetest::Bytes good = petest::MakeImage(table, {0x14C, false, false});
  constexpr size_t kSection = 0x200, kHeader = 0x40 + 24 + 224;
  const struct {
    const char* name;
    size_t offset;
    uint32_t value;
    int width;
    ResourceStatus status;
  } cases[] = {
      {"intact", 0, 'M', 1, ResourceStatus::kOk},
      {"no MZ", 0, 'X', 1, ResourceStatus::kNotPe},
      {"PE header beyond the file", 0x3C, 0x7FFFFFF0, 4, ResourceStatus::kNotPe},
      {"optional header of neither kind", 0x40 + 24, 0x107, 2, ResourceStatus::kNotPe},
      {"file alignment not a power of two", 0x40 + 24 + 36, 0x300, 4, ResourceStatus::kNotPe},
      {"section table beyond the file", 0x40 + 6, 0xFFFF, 2, ResourceStatus::kNotPe},
      {"no .rsrc section", kHeader + 1, 'x', 1, ResourceStatus::kNoResourceSection},
      {"resource section without raw data", kHeader + 16, 0, 4, ResourceStatus::kNoResourceSection},
      {"raw data beyond the file", kHeader + 16, 0x10000, 4, ResourceStatus::kMalformed},
      {"section bytes inside the headers", kHeader + 20, 0x100, 4,
       ResourceStatus::kUnsupportedLayout},
      {"table not at the section start", 0x40 + 24 + 96 + 16, 0x1010, 4,
       ResourceStatus::kUnsupportedLayout},
      {"root entry count beyond the section", kSection + 12, 0xFFFF, 2, ResourceStatus::kMalformed},
      {"type table beyond the section", kSection + 0x14, 0x80000000 | 0x1F8, 4,
       ResourceStatus::kMalformed},
      {"type table is the root again", kSection + 0x14, 0x80000000, 4, ResourceStatus::kMalformed},
      {"type name beyond the section", kSection + 0x10, 0x800001FF, 4, ResourceStatus::kMalformed},
      {"type name longer than the section", kSection + 0x58, 0xFFFF, 2, ResourceStatus::kMalformed},
      {"a number above 16 bits", kSection + 0x28, 0x10005, 4, ResourceStatus::kMalformed},
      {"a fourth level", kSection + 0x44, 0x80000000 | 0x18, 4, ResourceStatus::kMalformed},
      {"a named language", kSection + 0x40, 0x80000058, 4, ResourceStatus::kMalformed},
      {"data entry beyond the section", kSection + 0x44, 0x1FC, 4, ResourceStatus::kMalformed},
      {"data before the section", kSection + 0x48, 0xFF0, 4, ResourceStatus::kMalformed},
      {"data longer than the section", kSection + 0x4C, 0x1000, 4, ResourceStatus::kMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bytetest::Bytes image = good;
    petest::Store(image, c.offset, c.value, c.width);
    MemoryByteSource source(image);
    ResourceEdit edit;
    EXPECT_EQ(edit.Begin(source), c.status);
  }
}

TEST(ResourceTable, NamesAreOneKeyWhateverTheirCaseAndLeaveWithTheirLastResource) {
  ResourceTable table;
  table.Update(ResourceKey::Ascii("BINARY"), 235, 0, bytetest::Noise(10, 1));
  table.Update(ResourceKey::Ascii("Zeta"), ResourceKey::Ascii("b"), 0, bytetest::Noise(4, 2));
  table.Update(7, ResourceKey::Ascii("a"), 0, bytetest::Noise(4, 3));
  const auto withZeta = table.Measure(1)->virtualSize;
  table.Update(ResourceKey::Ascii("binary"), 235, 0, bytetest::Noise(12, 4));
  ASSERT_EQ(table.Entries().size(), 3u);
  const ResourceEntry* binary = table.Find(ResourceKey::Ascii("Binary"), 235, 0);
  ASSERT_NE(binary, nullptr);
  EXPECT_EQ(binary->type.Name(), u"BINARY") << "the first spelling stays";
  EXPECT_EQ(binary->data, bytetest::Noise(12, 4));
  // Directory order: names before numbers, names without regard to case.
  table.Measure(1);
  EXPECT_EQ(KeyText(table.Entries()[0].type), "BINARY");
  EXPECT_EQ(KeyText(table.Entries()[1].type), "Zeta");
  EXPECT_EQ(KeyText(table.Entries()[2].type), "#7");
  // Deleting the last "Zeta" takes its type, name and language entries (24 bytes each), the
  // strings "Zeta" and "b" (32 bytes of strings become 20 once padded) and its 4 data bytes.
  table.Update(ResourceKey::Ascii("ZETA"), ResourceKey::Ascii("B"), 0, std::nullopt);
  EXPECT_EQ(table.Measure(1)->virtualSize, withZeta - 3 * 24 - 12 - 4);
}

}  // namespace
}  // namespace brim
