#include "player/control/system_clipboard.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/handles.h"

namespace brim {
namespace {

// Opened for the calls in between, closed on every path.
class OpenedClipboard {
 public:
  OpenedClipboard() : open_(OpenClipboard(nullptr) != FALSE) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

}  // namespace

std::u32string SystemClipboard::Text() {
  std::u32string out;
  const OpenedClipboard clipboard;
  if (!clipboard.open()) return out;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const auto* units = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (!units) return out;
  // The block may be larger than its text; the text ends at its terminator or the block's end.
  const size_t limit = GlobalSize(data) / sizeof(wchar_t);
  for (size_t i = 0; i < limit && units[i]; ++i) {
    char32_t c = static_cast<char16_t>(units[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < limit && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(units[++i]) - 0xDC00);
    }
    out += c;
  }
  GlobalUnlock(data);
  return out;
}

void SystemClipboard::SetText(std::u32string_view text) {
  std::wstring units;
  for (const char32_t c : text) {
    if (c >= 0x10000) {
      units += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<wchar_t>(c);
    }
  }
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, (units.size() + 1) * sizeof(wchar_t)));
  void* at = block.get() ? GlobalLock(block.get()) : nullptr;
  if (!at) return;
  std::memcpy(at, units.c_str(), (units.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(block.get());
  const OpenedClipboard clipboard;
  if (!clipboard.open() || !EmptyClipboard()) return;
  // Once the clipboard takes the block it is the system's.
  if (SetClipboardData(CF_UNICODETEXT, block.get())) block.release();
}

}  // namespace brim
