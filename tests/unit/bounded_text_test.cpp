// Fixed text buffers must never overrun, whatever a file or a movie hands over.
#include "base/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

namespace brim {
namespace {

TEST(BoundedText, CopiesAreCutToTheBuffer) {
  const std::string longText(400, 'x');
  const struct {
    const char* source;
    std::string expected;
  } cases[] = {{"C:\\a.swf", "C:\\a.swf"},
               {"", ""},
               {nullptr, ""},
               {longText.c_str(), std::string(kPathCapacity - 1, 'x')}};
  for (const auto& c : cases) {
    char buffer[kPathCapacity];
    std::memset(buffer, '#', sizeof buffer);
    CopyText(buffer, c.source);
    EXPECT_EQ(std::string(buffer), c.expected);
  }
}

TEST(BoundedText, AppendsOnlyWhatFitsWhole) {
  char path[16] = "C:\\dir\\";
  EXPECT_TRUE(AppendText(path, "a.swf"));
  EXPECT_STREQ(path, "C:\\dir\\a.swf");
  EXPECT_FALSE(AppendText(path, "more"));  // 12 + 4 leaves no room for the NUL
  EXPECT_STREQ(path, "C:\\dir\\a.swf");
  EXPECT_TRUE(AppendText(path, "abc"));
  EXPECT_STREQ(path, "C:\\dir\\a.swfabc");
}

TEST(BoundedText, KeepDirectoryCutsAfterTheLastBackslash) {
  char path[kPathCapacity] = "C:\\Program Files\\Brimloft\\Brimloft.exe";
  EXPECT_TRUE(KeepDirectory(path));
  EXPECT_STREQ(path, "C:\\Program Files\\Brimloft\\");
  char bare[kPathCapacity] = "Brimloft.exe";
  EXPECT_FALSE(KeepDirectory(bare));
  EXPECT_STREQ(bare, "Brimloft.exe");
}

}  // namespace
}  // namespace brim
