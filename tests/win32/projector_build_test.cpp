// A projector built from the real program, control, start-page movie and icons: the loader
// maps the new file and finds its strings and icons, the start page is gone; and resource
// edits report their failures through the last-error value.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "packaging/payload_format.h"
#include "packaging/projector_win32.h"
#include "resources/resource_ids.h"

namespace brim {
namespace {

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof dir, dir);
  return (n > 0 && n < sizeof dir ? std::string(dir) : std::string(".\\")) + name;
}

TEST(ProjectorBuild, TheNewProgramLoadsWithItsNewIconsAndWithoutTheStartPage) {
  BuildRequest request;
  request.basePath = BRIMLOFT_EXE_PATH;
  // The registry gives the control's path with backslashes.
  request.controlPath = BRIMLOFT_FLASH_OCX_PATH;
  std::replace(request.controlPath.begin(), request.controlPath.end(), '/', '\\');
  request.runtimeName = AnsiRuntimeName(request.controlPath.c_str());
  request.moviePath = BRIMLOFT_START_PAGE_SWF;
  request.mainIconPath = BRIMLOFT_RESOURCE_DIR "/icon_document.ico";
  request.secondIconPath = BRIMLOFT_RESOURCE_DIR "/icon_main.ico";
  request.outputPath = TempPath("brimloft_build_test.exe");
  request.resourceTime = 1;
  request.iconsRequired = true;
  Win32OutputFiles files;
  const BuildReport report = BuildProjector(request, files);
  ASSERT_EQ(report.status, BuildStatus::kDone) << report.detail;
  EXPECT_TRUE(report.startPageRemoved);
  EXPECT_EQ(request.runtimeName, "\\flash.ocx");

  UniqueStdFile file(std::fopen(request.outputPath.c_str(), "rb"));
  FileByteSource source(file.get());
  PayloadInfo info;
  EXPECT_TRUE(LocatePayload(source, info));
  file.reset();

  HMODULE module = LoadLibraryExA(request.outputPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module, nullptr) << GetLastError();
  char text[64] = {};
  EXPECT_GT(LoadStringA(module, IDS_APP_NAME, text, sizeof text), 0);
  EXPECT_STREQ(text, "Brimloft");
  EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(IDI_MAIN)), nullptr);
  HANDLE small = LoadImageA(module, MAKEINTRESOURCEA(IDI_DOCUMENT), IMAGE_ICON, 16, 16, 0);
  EXPECT_NE(small, nullptr);
  if (small) DestroyIcon(static_cast<HICON>(small));
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDR_START_PAGE), "BINARY"), nullptr);
  // Group 211 now lists the images of the icon file that was chosen for it.
  HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_MAIN), MAKEINTRESOURCEA(14));
  ASSERT_NE(group, nullptr);
  UniqueStdFile ico(std::fopen(request.mainIconPath.c_str(), "rb"));
  uint8_t header[6] = {};
  ASSERT_EQ(std::fread(header, 1, sizeof header, ico.get()), sizeof header);
  EXPECT_EQ(SizeofResource(module, group), 6u + 14u * (header[4] | header[5] << 8));
  FreeLibrary(module);
  DeleteFileA(request.outputPath.c_str());
}

TEST(ProjectorBuild, ResourceEditsSpeakInLastErrorValues) {
  const std::string copy = TempPath("brimloft_edit_test.exe");
  ASSERT_TRUE(CopyFileA(BRIMLOFT_EXE_PATH, copy.c_str(), FALSE));
  // The start page goes by its type's name in any letter case.
  ResourceFileUpdate* edit = BeginResourceEdit(copy.c_str(), false);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(
      UpdateResourceEntry(edit, "binary", MAKEINTRESOURCEA(IDR_START_PAGE), 0x409, nullptr, 0));
  EXPECT_TRUE(EndResourceEdit(edit, false));
  HMODULE module = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDR_START_PAGE), "BINARY"), nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(IDI_MAIN), MAKEINTRESOURCEA(14)), nullptr);
  FreeLibrary(module);

  SetLastError(0);
  EXPECT_EQ(BeginResourceEdit((copy + ".missing").c_str(), false), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPEN_FAILED));
  const std::string text = TempPath("brimloft_edit_test.txt");
  std::FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("not a program", f);
  std::fclose(f);
  EXPECT_EQ(BeginResourceEdit(text.c_str(), false), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  EXPECT_FALSE(EndResourceEdit(nullptr, false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(UpdateResourceEntry(nullptr, "BINARY", MAKEINTRESOURCEA(1), 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DeleteFileA(text.c_str());
  DeleteFileA(copy.c_str());
}

TEST(ProjectorBuild, AnEditedDllFromTheMinGWPackagesStillLoadsAndFindsItsResources) {
  const std::string copy = TempPath("brimloft_edited_zlib.dll");
  ASSERT_TRUE(CopyFileA(BRIMLOFT_MINGW_ZLIB, copy.c_str(), FALSE));
  const uint8_t added[] = {'B', 'r', 'i', 'm', 'l', 'o', 'f', 't'};
  ResourceFileUpdate* edit = BeginResourceEdit(copy.c_str(), false);
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(UpdateResourceEntry(edit, "BRIM", MAKEINTRESOURCEA(1), 0, added, sizeof added));
  ASSERT_TRUE(EndResourceEdit(edit, false)) << GetLastError();

  // Loaded for real: mapped by its headers, relocated, its entry point run.
  HMODULE module = LoadLibraryA(copy.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(module, "compress"), nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), "brim");
  ASSERT_NE(found, nullptr);
  ASSERT_EQ(SizeofResource(module, found), sizeof added);
  EXPECT_EQ(std::memcmp(LockResource(LoadResource(module, found)), added, sizeof added), 0);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);
  FreeLibrary(module);
  DWORD ignored = 0;
  EXPECT_GT(GetFileVersionInfoSizeA(copy.c_str(), &ignored), 0u);
  DeleteFileA(copy.c_str());
}

}  // namespace
}  // namespace brim
