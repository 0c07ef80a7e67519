#include "packaging/projector_win32.h"

#include <memory>

#include "base/ansi_text.h"
#include "base/temp_file.h"

namespace brim {

namespace {

// A number below 0x10000 passed as a pointer, or an ANSI string in the ANSI code page.
std::optional<ResourceKey> KeyFrom(const char* text) {
  if (IS_INTRESOURCE(text))
    return ResourceKey(static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(text)));
  const std::wstring wide = Wide(text);
  if (wide.empty() && *text) return std::nullopt;
  return ResourceKey(std::u16string(wide.begin(), wide.end()));
}

}  // namespace

std::optional<std::string> Win32OutputFiles::CreateTempBeside(const std::string& destination) {
  const size_t separator = destination.find_last_of("\\/");
  const std::string folder =
      separator == std::string::npos ? std::string(".") : destination.substr(0, separator + 1);
  if (folder.size() >= kPathCapacity) return std::nullopt;
  char path[kPathCapacity];
  if (!MakeTempFileNameIn(folder.c_str(), path)) return std::nullopt;
  return std::string(path);
}

bool Win32OutputFiles::Replace(const std::string& temp, const std::string& destination) {
  return MoveFileExA(temp.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string AnsiRuntimeName(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
      ++p;
    } else if (*p == '\\') {
      last = p;
    }
  }
  return last ? std::string(last) : std::string();
}

DWORD ResourceStatusError(ResourceStatus status) {
  switch (status) {
    case ResourceStatus::kOk:
      return ERROR_SUCCESS;
    case ResourceStatus::kOpenFailed:
      return ERROR_OPEN_FAILED;
    case ResourceStatus::kNotPe:
    case ResourceStatus::kNoResourceSection:
    case ResourceStatus::kMalformed:
    case ResourceStatus::kUnsupportedLayout:
      return ERROR_RESOURCE_DATA_NOT_FOUND;
    case ResourceStatus::kNoRoom:
      // The value our edits have always reported for a section that cannot grow.
      return 0x20000001;
    case ResourceStatus::kTooLarge:
      return ERROR_ARITHMETIC_OVERFLOW;
    case ResourceStatus::kReadFailed:
      return ERROR_READ_FAULT;
    case ResourceStatus::kWriteFailed:
      return ERROR_WRITE_FAULT;
    case ResourceStatus::kNotBegun:
      return ERROR_INVALID_HANDLE;
  }
  return ERROR_GEN_FAILURE;
}

ResourceFileUpdate* BeginResourceEdit(const char* path, bool discardExisting) {
  auto edit = std::make_unique<ResourceFileUpdate>();
  const ResourceStatus status = edit->Begin(path, discardExisting);
  if (status != ResourceStatus::kOk) {
    SetLastError(ResourceStatusError(status));
    return nullptr;
  }
  return edit.release();
}

bool UpdateResourceEntry(ResourceFileUpdate* edit, const char* type, const char* name,
                         WORD language, const void* data, DWORD size) {
  ResourceTable* table = edit ? edit->Resources() : nullptr;
  if (!table) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const auto typeKey = KeyFrom(type), nameKey = KeyFrom(name);
  if (!typeKey || !nameKey) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::optional<std::span<const uint8_t>> bytes;
  if (data) bytes = std::span<const uint8_t>(static_cast<const uint8_t*>(data), size);
  table->Update(*typeKey, *nameKey, language, bytes);
  return true;
}

bool EndResourceEdit(ResourceFileUpdate* edit, bool discard) {
  if (!edit) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::unique_ptr<ResourceFileUpdate> owned(edit);
  const ResourceStatus status = owned->End(discard);
  if (status != ResourceStatus::kOk) {
    SetLastError(ResourceStatusError(status));
    return false;
  }
  return true;
}

}  // namespace brim
