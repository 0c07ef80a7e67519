// A projector loads only a player control built for its own processor: the machine type read
// from real modules of both kinds, and refused when the headers are not there.
#include "packaging/pe_machine.h"

#include <gtest/gtest.h>

#include <cstring>

#include "byte_support.h"

namespace brim {
namespace {

TEST(PeMachine, ReadsModulesOfBothKindsFromTheMinGWPackages) {
  const struct {
    const char* path;
    uint16_t machine;
  } modules[] = {
      {"/usr/i686-w64-mingw32/lib/libwinpthread-1.dll", kMachineI386},
      {"/usr/i686-w64-mingw32/lib/zlib1.dll", kMachineI386},
      {"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll", kMachineAmd64},
      {"/usr/x86_64-w64-mingw32/lib/zlib1.dll", kMachineAmd64},
  };
  for (const auto& m : modules) {
    SCOPED_TRACE(m.path);
    UniqueStdFile file(std::fopen(m.path, "rb"));
    ASSERT_TRUE(file) << "scripts/setup-deps installs the MinGW packages";
    FileByteSource source(file.get());
    EXPECT_EQ(ReadPeMachine(source), m.machine);
    EXPECT_EQ(IsOwnMachine(source), m.machine == kOwnMachine);
  }
}

TEST(PeMachine, RefusesWhatIsNotAPeImage) {
  // A minimal image: "MZ", the new header at 0x40, "PE\0\0" and an AMD64 machine field.
  bytetest::Bytes good(0x40, 0);
  good[0] = 'M';
  good[1] = 'Z';
  good[0x3C] = 0x40;
  good.insert(good.end(), {'P', 'E', 0, 0, 0x64, 0x86});

  const struct {
    const char* name;
    size_t offset;  // one byte changed ...
    uint8_t value;
    size_t keep;  // ... and the image cut to this length
    std::optional<uint16_t> machine;
  } cases[] = {
      {"intact", 0, 'M', good.size(), kMachineAmd64},
      {"no MZ", 1, 'X', good.size(), std::nullopt},
      {"no PE signature", 0x41, 'X', good.size(), std::nullopt},
      {"signature not zero-padded", 0x42, 1, good.size(), std::nullopt},
      {"new header beyond the file", 0x3C, 0xF0, good.size(), std::nullopt},
      {"new header offset far away", 0x3F, 0xFF, good.size(), std::nullopt},
      {"machine field cut off", 0, 'M', good.size() - 1, std::nullopt},
      {"DOS header cut off", 0, 'M', 0x3E, std::nullopt},
      {"empty", 0, 'M', 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bytetest::Bytes image = good;
    image[c.offset] = c.value;
    image.resize(c.keep);
    MemoryByteSource source(image);
    EXPECT_EQ(ReadPeMachine(source), c.machine);
  }
}

}  // namespace
}  // namespace brim
