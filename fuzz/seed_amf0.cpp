// Seeds for the AMF0 fuzz target: values of every kind the reader knows, references back to
// objects (a cycle among them), and a few cut short.
#include <fstream>
#include <string>

#include "fuzz/seed_folder.h"

int main(int argc, char** argv) {
  const auto dir = SeedFolder(argc, argv, "seed_amf0");
  if (!dir) return 2;
  using namespace std::string_literals;
  const std::string seeds[] = {
      // 1.5, true, "ab", null, undefined
      "\x00\x3F\xF8\x00\x00\x00\x00\x00\x00\x01\x01\x02\x00\x02"
      "ab\x05\x06"s,
      // {a: {b: <ref 0>}}
      "\x03\x00\x01"
      "a\x03\x00\x01"
      "b\x07\x00\x00\x00\x00\x09\x00\x00\x09"s,
      // strict array [date, xml], ECMA array {0: "x", k: 2}
      "\x0A\x00\x00\x00\x02\x0B\x42\x78\x56\xAA\x0C\x80\x00\x00\x00\x00"
      "\x0F\x00\x00\x00\x07<a b=\"\"/>"
      "\x08\x00\x00\x00\x01\x00\x01"
      "0\x02\x00\x01x\x00\x01k\x00\x40\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x09"s,
      // a typed object and a long string
      "\x10\x00\x03"
      "com\x00\x01x\x0C\x00\x00\x00\x02hi\x00\x00\x09"s,
      // cut short: a strict array that claims more than there is, an open object
      "\x0A\xFF\xFF\xFF\xFF\x06"s,
      "\x03\x00\x01"
      "a\x03\x00\x01"
      "b"s,
  };
  int n = 0;
  for (const std::string& seed : seeds) {
    std::ofstream(*dir / ("seed" + std::to_string(n++)), std::ios::binary) << seed;
  }
  return 0;
}
