// Getting the player control at hand: unpacking the copy a projector carries, and reading a
// registered control's path the way the registry may hold it.
#include "packaging/runtime_core.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <vector>

namespace brim {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(data.size());
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress(out.data(), &size, data.data(), data.size()), Z_OK);
  out.resize(size);
  return out;
}

std::vector<uint8_t> ReadBack(std::FILE* f) {
  std::vector<uint8_t> bytes;
  std::rewind(f);
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  return bytes;
}

TEST(InflateRuntime, UnpacksWhatWasPackedAndCutsShortWhatIsBroken) {
  std::vector<uint8_t> module(200000);
  uint32_t state = 7;
  for (auto& b : module) {
    state = state * 1103515245 + 12345;
    b = static_cast<uint8_t>((state >> 16) % 7);  // compressible, not trivial
  }
  const auto packed = Compress(module);
  const std::vector<uint8_t> prefix(333, 0xAB);

  const struct {
    const char* name;
    size_t keep;        // bytes of the stream stored
    uint32_t declared;  // the size the payload claims
    bool ok;
  } cases[] = {
      {"whole", packed.size(), static_cast<uint32_t>(packed.size()), true},
      {"truncated file", packed.size() / 2, static_cast<uint32_t>(packed.size()), false},
      {"declared too short", packed.size(), static_cast<uint32_t>(packed.size() / 3), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* source = std::tmpfile();
    std::FILE* dest = std::tmpfile();
    ASSERT_TRUE(source && dest);
    std::fwrite(prefix.data(), 1, prefix.size(), source);
    std::fwrite(packed.data(), 1, c.keep, source);
    EXPECT_EQ(InflateRuntime(source, static_cast<int64_t>(prefix.size()), c.declared, dest), c.ok);
    // The module's headers can be read without unpacking the rest, whole stream or not.
    EXPECT_EQ(InflateRuntimeHead(source, static_cast<int64_t>(prefix.size()), c.declared, 5000),
              std::vector<uint8_t>(module.begin(), module.begin() + 5000));
    const auto out = ReadBack(dest);
    if (c.ok) {
      EXPECT_EQ(out, module);
    } else {
      // What came out is a true beginning of the module, never garbage.
      ASSERT_LE(out.size(), module.size());
      EXPECT_TRUE(std::equal(out.begin(), out.end(), module.begin()));
    }
    std::fclose(source);
    std::fclose(dest);
  }
}

TEST(InflateRuntime, RefusesNonsense) {
  std::FILE* source = std::tmpfile();
  std::FILE* dest = std::tmpfile();
  const char junk[] = "this is not a zlib stream at all";
  std::fwrite(junk, 1, sizeof junk, source);
  EXPECT_FALSE(InflateRuntime(source, 0, sizeof junk, dest));
  EXPECT_FALSE(InflateRuntime(source, -1, 4, dest));
  EXPECT_FALSE(InflateRuntime(nullptr, 0, 4, dest));
  std::fclose(source);
  std::fclose(dest);
}

class FakeRegistry : public ClassesRootReader {
 public:
  std::map<std::string, std::optional<std::string>> keys;  // key -> default value (if any)
  bool KeyExists(const std::string& key) override { return keys.count(key) != 0; }
  std::optional<std::string> DefaultValue(const std::string& key) override {
    auto it = keys.find(key);
    return it == keys.end() ? std::nullopt : it->second;
  }
};

TEST(RegisteredServer, LocalServerFirstAndQuotesRemoved) {
  const std::string cls = "{D27CDB6E-AE6D-11cf-96B8-444553540000}";
  const std::string local = "CLSID\\" + cls + "\\LocalServer32";
  const std::string inproc = "CLSID\\" + cls + "\\InprocServer32";
  const struct {
    std::map<std::string, std::optional<std::string>> keys;
    std::optional<std::string> expected;
  } cases[] = {
      {{{inproc, "C:\\x\\Flash.ocx"}}, "C:\\x\\Flash.ocx"},
      {{{inproc, "\"C:\\x y\\Flash.ocx\""}}, "C:\\x y\\Flash.ocx"},
      {{{local, "C:\\local.exe"}, {inproc, "C:\\inproc.ocx"}}, "C:\\local.exe"},
      {{{local, std::nullopt}, {inproc, "C:\\inproc.ocx"}}, std::nullopt},  // key decides
      {{{inproc, "\"\""}}, ""},
      {{{inproc, "\"C:\\half"}}, "\"C:\\half"},
      {{}, std::nullopt},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    registry.keys = c.keys;
    EXPECT_EQ(FindRegisteredServer(registry, cls), c.expected);
  }
}

TEST(RegisteredServer, OnlyAStrictlyNewerInstalledVersionWins) {
  const uint32_t v6 = 6 << 16, v7 = 7 << 16, b29 = 29 << 16, b30 = 30 << 16;
  EXPECT_FALSE(InstalledIsNewer(v6, b29, v6, b29));  // equal: installed again
  EXPECT_TRUE(InstalledIsNewer(v7, 0, v6, b29));
  EXPECT_TRUE(InstalledIsNewer(v6, b30, v6, b29));
  EXPECT_FALSE(InstalledIsNewer(v6, b30, v7, 0));
  EXPECT_FALSE(InstalledIsNewer(0, 0, v6, b29));
}

}  // namespace
}  // namespace brim
