// Seeds for the XML fuzz target: documents with each construct the reader knows, and a few
// that stop at each of its faults.
#include <fstream>
#include <string>

#include "fuzz/seed_folder.h"

int main(int argc, char** argv) {
  const auto dir = SeedFolder(argc, argv, "seed_xml");
  if (!dir) return 2;
  const char* seeds[] = {
      "<?xml version=\"1.0\"?><!DOCTYPE d><a x=\"1\" y='&lt;2&#x41;'><b>t &amp; u</b><c/></a>",
      "<!--c--><![CDATA[<raw>]]>text<n:e xmlns:n=\"urn:x\"> </n:e>",
      "<a><b></a>",
      "</a>",
      "<a x=\"1",
      "<!-- open",
      "<a><a><a><a><a><a><a><a><a><a><a><a><a><a><a><a>",
  };
  int n = 0;
  for (const char* seed : seeds) {
    std::ofstream(*dir / ("seed" + std::to_string(n++)), std::ios::binary) << seed;
  }
  return 0;
}
