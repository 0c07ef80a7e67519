#pragma once
// PE images made for tests around a chosen resource list, and the resource listing of
// python3-pefile, the reader we did not write, to check what ours wrote.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "packaging/resource_section.h"
#include "tests/unit/byte_support.h"

namespace petest {

struct ImageShape {
  uint16_t machine = 0x8664;
  bool pe32Plus = true;
  bool sectionAfterResources = false;  // a ".reloc" section right after ".rsrc"
};

inline void Store(bytetest::Bytes& b, size_t at, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Headers at 0, ".rsrc" at address 0x1000 and file offset 0x200, file alignment 0x200.
inline bytetest::Bytes MakeImage(brim::ResourceTable resources, const ImageShape& shape = {}) {
  constexpr uint32_t kRva = 0x1000, kRaw = 0x200, kFileAlign = 0x200, kSectionAlign = 0x1000;
  auto section = resources.Build(kRva, kFileAlign, 0);
  auto sizes = resources.Measure(kFileAlign);
  const uint32_t virtualSize = sizes->virtualSize, rawSize = sizes->rawSize;
  const uint32_t optionalSize = shape.pe32Plus ? 240 : 224;
  const uint32_t sections = shape.sectionAfterResources ? 2 : 1;
  bytetest::Bytes image(kRaw, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Store(image, 0x3C, 0x40, 4);
  const size_t pe = 0x40, fileHeader = pe + 4, optional = fileHeader + 20;
  image[pe] = 'P';
  image[pe + 1] = 'E';
  Store(image, fileHeader, shape.machine, 2);
  Store(image, fileHeader + 2, sections, 2);
  Store(image, fileHeader + 16, optionalSize, 2);
  Store(image, fileHeader + 18, 0x0102, 2);
  Store(image, optional, shape.pe32Plus ? 0x20B : 0x10B, 2);
  Store(image, optional + 32, kSectionAlign, 4);
  Store(image, optional + 36, kFileAlign, 4);
  const uint32_t resourceEnd =
      kRva + (virtualSize + kSectionAlign - 1) / kSectionAlign * kSectionAlign;
  Store(image, optional + 56, resourceEnd + (sections - 1) * kSectionAlign, 4);
  Store(image, optional + 60, kRaw, 4);
  const size_t directories = optional + (shape.pe32Plus ? 112 : 96);
  Store(image, directories - 4, 16, 4);
  Store(image, directories + 16, kRva, 4);
  Store(image, directories + 20, virtualSize, 4);
  const size_t header = optional + optionalSize;
  std::copy_n(".rsrc", 5, image.begin() + header);
  Store(image, header + 8, virtualSize, 4);
  Store(image, header + 12, kRva, 4);
  Store(image, header + 16, rawSize, 4);
  Store(image, header + 20, kRaw, 4);
  Store(image, header + 36, 0x40000040, 4);
  image.insert(image.end(), section->begin(), section->end());
  if (shape.sectionAfterResources) {
    std::copy_n(".reloc", 6, image.begin() + header + 40);
    Store(image, header + 48, 8, 4);
    Store(image, header + 52, resourceEnd, 4);
    Store(image, header + 56, kFileAlign, 4);
    Store(image, header + 60, kRaw + rawSize, 4);
    image.resize(image.size() + kFileAlign, 0xEE);
  }
  return image;
}

inline uint32_t ReadImageSize(const bytetest::Bytes& image) {
  const size_t pe = image[0x3C] | image[0x3D] << 8;
  const size_t field = pe + 24 + 56;
  return image[field] | image[field + 1] << 8 | image[field + 2] << 16 |
         static_cast<uint32_t>(image[field + 3]) << 24;
}

// python3-pefile's view of each file: "TYPE NAME LANGUAGE SIZE CODEPAGE CRC32" lines, sorted;
// one "error ..." line for a file it cannot read.
inline std::map<std::string, std::vector<std::string>> ListResources(
    const std::vector<std::string>& paths) {
  std::string command =
      "/usr/bin/python3 " BRIMLOFT_SOURCE_DIR "/tests/unit/packaging/pe_resources.py";
  for (const auto& p : paths) command += " '" + p + "'";
  std::map<std::string, std::vector<std::string>> listings;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return listings;
  char line[4096];
  std::vector<std::string>* current = nullptr;
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.rfind("file ", 0) == 0) {
      current = &listings[text.substr(5)];
    } else if (current) {
      current->push_back(text);
    }
  }
  pclose(pipe);
  for (auto& [path, lines] : listings) std::sort(lines.begin(), lines.end());
  return listings;
}

}  // namespace petest
