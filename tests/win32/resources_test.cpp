// What the shipped executable carries in its resources: the texts users read, the menus'
// commands, and a start-page movie that comes out intact.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/start_page_resource.h"
#include "resources/resource_ids.h"

namespace brim {
namespace {

class ShippedResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(BRIMLOFT_EXE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(ShippedResources, StringTableHasEveryTextAsUsersSeeIt) {
  const struct {
    UINT id;
    const char* text;
  } strings[] = {
      {100, "Brimloft"},
      {101, "HostObj Class"},
      {102, "Quorvel Brimloft"},
      {103, "Select a Flash File"},
      {104, "Out of Memory"},
      {105, "Brimloft Error"},
      {109, "Create an Execution file"},
      {110, "File Open Error"},
      {111, "File Save Error"},
      {112, "Failed to create projector file."},
      {113, "Failed to open source file(.swf)."},
      {114, "Failed to write data to projector file."},
      {115, "File Read Error"},
      {116, "Failed to put swf data into FLASH OCX"},
      {121, "Failed to get flash component version."},
      {123, "Please upgrade to WinNT Service Pack3 above"},
      {124, "Failed to create temp file."},
      {125, "Failed to write data to temp file."},
      {127, "Faile to open swflash.ocx or flash.ocx file."},
      {128, "Failed to open Brimloft Help File."},
      {129, "Failed to compress flash ocx file."},
      {131, "Failed to find binary resource"},
      {132, "Faile to load binary resource"},
      {133, "Failed to lock binary resource"},
      {134, "Binary resource is corrupted."},
  };
  char buffer[256];
  for (const auto& s : strings) {
    ASSERT_GT(LoadStringA(module_, s.id, buffer, sizeof buffer), 0) << s.id;
    EXPECT_STREQ(buffer, s.text) << s.id;
  }
  ASSERT_GT(LoadStringA(module_, 108, buffer, sizeof buffer), 0);
  const std::string missing = buffer;
  EXPECT_EQ(missing.rfind("Flash ActiveX control wasn't installed. Program cann't contiue. "
                          "Please get Flash control from ",
                          0),
            0u);
  EXPECT_EQ(missing.back(), '.');
}

std::vector<std::pair<UINT, std::string>> MenuItems(HMENU menu) {
  std::vector<std::pair<UINT, std::string>> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    items.emplace_back(GetMenuItemID(menu, i), text);
  }
  return items;
}

TEST_F(ShippedResources, MenusOfferTheCommandsInOrder) {
  const std::vector<std::pair<UINT, std::string>> common = {
      {245, "Start Page"},         {0, ""}, {32781, "Open"},        {32776, "Reload"},
      {32775, "Create Projector"}, {0, ""}, {32779, "Change Icon"}, {208, "Simulate 95/98/ME"}};
  struct {
    UINT id;
    std::vector<std::pair<UINT, std::string>> tail;
  } menus[] = {
      {203,
       {{32784, "Disable fscommand(\"quit\")"},
        {0, ""},
        {32772, "About Brimloft"},
        {0, ""},
        {32774, "Exit"}}},
      {206,
       {{32784, "Disable fscommand(\"quit\") "},
        {0, ""},
        {32772, "About Brimloft"},
        {0, ""},
        {32782, "Show"},
        {32783, "Hide"},
        {0, ""},
        {32774, "Exit"}}},
  };
  for (const auto& m : menus) {
    HMENU bar = LoadMenuA(module_, MAKEINTRESOURCEA(m.id));
    ASSERT_NE(bar, nullptr) << m.id;
    auto expected = common;
    expected.insert(expected.end(), m.tail.begin(), m.tail.end());
    EXPECT_EQ(MenuItems(GetSubMenu(bar, 0)), expected) << m.id;
    DestroyMenu(bar);
  }
}

TEST_F(ShippedResources, IconsBitmapsDialogAndVersionArePresent) {
  for (UINT id : {IDI_MAIN, IDI_DOCUMENT}) {
    EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14)), nullptr) << id;
    for (int size : {16, 32, 48, 256}) {
      HICON icon =
          static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
      EXPECT_NE(icon, nullptr) << id << " at " << size;
      if (icon) DestroyIcon(icon);
    }
  }
  for (UINT id : {IDB_PRODUCT, IDB_MAKER}) {
    HBITMAP bitmap = LoadBitmapA(module_, MAKEINTRESOURCEA(id));
    EXPECT_NE(bitmap, nullptr) << id;
    if (bitmap) DeleteObject(bitmap);
  }
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(IDD_ABOUT), MAKEINTRESOURCEA(5)), nullptr);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(BRIMLOFT_EXE_PATH, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(BRIMLOFT_EXE_PATH, 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 0u);
  EXPECT_EQ(fixed->dwFileVersionLS, 2u << 16);
}

TEST_F(ShippedResources, StartPageMovieComesOutAsBuilt) {
  char dir[MAX_PATH], out[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, "BLT", 0, out);
  ASSERT_EQ(WriteStartPageMovie(module_, out, nullptr), 1);
  auto read = [](const char* path) {
    std::vector<char> bytes;
    if (std::FILE* f = std::fopen(path, "rb")) {
      int c;
      while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<char>(c));
      std::fclose(f);
    }
    return bytes;
  };
  const auto written = read(out);
  DeleteFileA(out);
  const auto expected = read(BRIMLOFT_START_PAGE_SWF);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace brim
