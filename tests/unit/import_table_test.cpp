// The import-table walker over real PE files nobody here wrote, both bitnesses, checked against
// binutils' own reading of the same files, and over damaged copies of them.
#include "render/import_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace brim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// "DLL!Function" for every named import, in the order objdump lists them.
std::vector<std::string> ObjdumpImports(const fs::path& path) {
  const std::string command = "x86_64-w64-mingw32-objdump -p '" + path.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  std::vector<std::string> out;
  if (!pipe) return out;
  std::string text;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  pclose(pipe);
  std::istringstream lines(text);
  std::string line, dll;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.find("DLL Name: ") != std::string::npos) {
      dll = line.substr(line.find("DLL Name: ") + 10);
      inTable = true;
    } else if (line.empty()) {
      inTable = false;
    } else if (inTable && line.find("vma:") == std::string::npos) {
      std::istringstream fields(line);
      std::string vma, hint, name;
      // Imports by ordinal have no name ("<none>").
      if (fields >> vma >> hint >> name && name != "<none>") out.push_back(dll + "!" + name);
    }
  }
  return out;
}

std::vector<std::string> Named(const ImportTable& table) {
  std::vector<std::string> out;
  for (const auto& m : table.modules) {
    for (const auto& s : m.slots) {
      if (!s.function.empty()) out.push_back(m.name + "!" + s.function);
    }
  }
  return out;
}

const struct {
  const char* path;
  bool is64;
} kFiles[] = {
    {"/usr/x86_64-w64-mingw32/lib/zlib1.dll", true},
    {"/usr/i686-w64-mingw32/lib/zlib1.dll", false},
    {"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll", true},
    {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/comctl32.dll", true},
    {"/usr/lib/i386-linux-gnu/wine/i386-windows/comctl32.dll", false},
    {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe", true},
};

TEST(ImportTable, ReadsRealFilesAsBinutilsDoes) {
  int read = 0;
  for (const auto& f : kFiles) {
    if (!fs::exists(f.path)) continue;
    ++read;
    const Bytes file = ReadFile(f.path);
    const ImportTable table = ReadImportTable(file, ImageLayout::kFile);
    ASSERT_EQ(table.status, ImportStatus::kOk) << f.path;
    EXPECT_EQ(table.is64, f.is64) << f.path;
    EXPECT_EQ(Named(table), ObjdumpImports(f.path)) << f.path;
    // Slots are consecutive address-sized entries of the module's address table.
    for (const auto& m : table.modules) {
      for (size_t i = 1; i < m.slots.size(); ++i) {
        EXPECT_EQ(m.slots[i].slotRva - m.slots[i - 1].slotRva, f.is64 ? 8u : 4u);
      }
    }
  }
  EXPECT_GE(read, 2) << "MinGW's own DLLs of both bitnesses are always installed";
}

TEST(ImportTable, RefusesDamageWithoutReadingOutsideTheFile) {
  const Bytes original = ReadFile(kFiles[0].path);
  ASSERT_FALSE(original.empty());
  const uint32_t nt = original[0x3C] | (original[0x3D] << 8);
  const size_t directoryCount = nt + 24 + 108, importEntry = nt + 24 + 112 + 8;
  auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes copy = original;
    for (uint8_t b : bytes) copy[at++] = b;
    return copy;
  };
  const struct {
    const char* name;
    Bytes image;
    ImportStatus expected;
  } cases[] = {
      {"no MZ", patched(0, {'X'}), ImportStatus::kNotImage},
      {"no PE signature", patched(nt, {'P', 'X'}), ImportStatus::kNotImage},
      {"new header beyond the file", patched(0x3C, {0xF0, 0xFF, 0xFF, 0x7F}),
       ImportStatus::kNotImage},
      {"headers only", Bytes(original.begin(), original.begin() + nt + 30),
       ImportStatus::kNotImage},
      {"no import directory entry", patched(directoryCount, {1, 0, 0, 0}),
       ImportStatus::kNoImports},
      {"import directory nowhere", patched(importEntry, {0, 0, 0, 0x7F}),
       ImportStatus::kMalformed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadImportTable(c.image, ImageLayout::kFile).status, c.expected) << c.name;
  }
  // Cut anywhere, or with any byte of the headers and tables changed: an answer, never a
  // read outside the copy (the sanitizers watch).
  for (size_t cut = 0; cut < original.size(); cut += 1999) {
    const Bytes part(original.begin(), original.begin() + cut);
    ReadImportTable(part, ImageLayout::kFile);
    ReadImportTable(part, ImageLayout::kMapped);
  }
  for (size_t at = 0; at < original.size(); at += 251) {
    Bytes copy = original;
    copy[at] ^= 0xA5;
    ReadImportTable(copy, ImageLayout::kFile);
  }
}

}  // namespace
}  // namespace brim
