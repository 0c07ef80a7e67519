#include "render/text_output_hook.h"

#include <algorithm>
#include <span>

#include "render/import_table.h"

namespace brim {
namespace {

using ExtTextOutAFn = BOOL(WINAPI*)(HDC, int, int, UINT, const RECT*, LPCSTR, UINT, const INT*);
using ExtTextOutWFn = BOOL(WINAPI*)(HDC, int, int, UINT, const RECT*, LPCWSTR, UINT, const INT*);

// What the slots held before us; our functions draw through these. Written once, at the first
// install, before any drawing can reach us.
ExtTextOutAFn g_originalA = nullptr;
ExtTextOutWFn g_originalW = nullptr;

// Drawn pixels lose their colour's top byte to GDI; room for overhangs GDI may draw outside
// the measured extent.
constexpr int kMargin = 4;

COLORREF Inverted(COLORREF colour) { return ~colour & 0x00FFFFFF; }

// Where the text's pixels can fall, from its extent and the context's text alignment.
RECT TextBox(HDC dc, int x, int y, SIZE size) {
  const UINT align = GetTextAlign(dc);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER) {
    left = x - size.cx / 2;
  } else if (align & TA_RIGHT) {
    left = x - size.cx;
  }
  int top = y;
  if ((align & TA_BASELINE) == TA_BASELINE) {
    top = y - metrics.tmAscent;
  } else if (align & TA_BOTTOM) {
    top = y - size.cy;
  }
  const int overhang = kMargin + metrics.tmOverhang;
  return {left - overhang, top - kMargin, left + size.cx + overhang, top + size.cy + kMargin};
}

// The width the spacing array gives, when it is wider than the font's own advance.
void WidenBySpacing(SIZE& size, UINT options, const INT* spacing, UINT count) {
  if (!spacing || (options & ETO_PDY)) return;
  long total = 0;
  for (UINT i = 0; i < count; ++i) total += std::max(0, spacing[i]);
  size.cx = std::max<long>(size.cx, total);
}

// The drawing between two inversions: what GDI draws ends with its true colour and alpha 255,
// every other pixel of the box comes back as it was. GDI draws with inverted colours so that
// the second inversion turns them right.
template <typename Char, typename Original>
BOOL DrawOpaque(Original original, SIZE size, HDC dc, int x, int y, UINT options,
                const RECT* rect, const Char* text, UINT count, const INT* spacing) {
  if (!original) return FALSE;
  const COLORREF background = GetBkColor(dc);
  if (options == ETO_OPAQUE) {
    // A background box alone: filled in the inverted colour, then inverted.
    if (!rect) return FALSE;
    const HBRUSH brush = CreateSolidBrush(Inverted(background));
    FillRect(dc, rect, brush);
    DeleteObject(brush);
    BitBlt(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, nullptr,
           0, 0, DSTINVERT);
    return TRUE;
  }
  WidenBySpacing(size, options, spacing, count);
  RECT box = TextBox(dc, x, y, size);
  const bool fills = (options & ETO_OPAQUE) && rect;
  if (fills) UnionRect(&box, &box, rect);
  const COLORREF foreground = GetTextColor(dc);
  InvertRect(dc, &box);
  SetTextColor(dc, Inverted(foreground));
  if (fills) SetBkColor(dc, Inverted(background));
  const BOOL drawn = original(dc, x, y, options, rect, text, count, spacing);
  InvertRect(dc, &box);
  SetTextColor(dc, foreground);
  if (fills) SetBkColor(dc, background);
  return drawn;
}

BOOL WINAPI OpaqueExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text,
                              UINT count, const INT* spacing) {
  SIZE size{};
  if (text && count) GetTextExtentPoint32A(dc, text, static_cast<int>(count), &size);
  return DrawOpaque(g_originalA, size, dc, x, y, options, rect, text, count, spacing);
}

BOOL WINAPI OpaqueExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                              UINT count, const INT* spacing) {
  SIZE size{};
  if (text && count) {
    if (options & ETO_GLYPH_INDEX) {
      GetTextExtentPointI(dc, const_cast<WORD*>(reinterpret_cast<const WORD*>(text)),
                          static_cast<int>(count), &size);
    } else {
      GetTextExtentPoint32W(dc, text, static_cast<int>(count), &size);
    }
  }
  return DrawOpaque(g_originalW, size, dc, x, y, options, rect, text, count, spacing);
}

// How many bytes from `base` on are committed, readable memory, up to `wanted`.
size_t ReadableBytes(const uint8_t* base, size_t wanted) {
  size_t readable = 0;
  while (readable < wanted) {
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(base + readable, &info, sizeof info) || info.State != MEM_COMMIT ||
        (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || info.Protect == 0) {
      break;
    }
    const auto* end = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
    readable = static_cast<size_t>(end - base);
  }
  return std::min(readable, wanted);
}

bool WriteSlot(void** slot, void* value) {
  DWORD previous = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, previous, &previous);
  return true;
}

}  // namespace

bool TextOutHook::Install(const void* code) {
  Remove();
  HMODULE module = nullptr;
  // Taking a reference keeps the module, and so its slots, there until Remove.
  if (!code || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   static_cast<LPCSTR>(code), &module)) {
    return false;
  }
  module_.reset(module);
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const size_t headers = ReadableBytes(base, 4096);
  const size_t size = ReadableBytes(base, MappedImageSize({base, headers}));
  const ImportTable table = ReadImportTable({base, size}, ImageLayout::kMapped);
  const struct {
    const char* function;
    void* replacement;
    void** original;
  } kHooks[] = {
      {"ExtTextOutA", reinterpret_cast<void*>(&OpaqueExtTextOutA),
       reinterpret_cast<void**>(&g_originalA)},
      {"ExtTextOutW", reinterpret_cast<void*>(&OpaqueExtTextOutW),
       reinterpret_cast<void**>(&g_originalW)},
  };
  for (const ImportedModule& imported : table.modules) {
    if (!SameName(imported.name, "gdi32.dll")) continue;
    for (const ImportSlot& s : imported.slots) {
      for (const auto& hook : kHooks) {
        if (!SameName(s.function, hook.function) || size < sizeof(void*) ||
            s.slotRva > size - sizeof(void*)) {
          continue;
        }
        auto** slot = reinterpret_cast<void**>(const_cast<uint8_t*>(base) + s.slotRva);
        void* original = *slot;
        if (!original || original == hook.replacement) continue;
        if (!*hook.original) *hook.original = original;
        if (WriteSlot(slot, hook.replacement)) patched_.push_back({slot, original, hook.replacement});
      }
    }
  }
  if (patched_.empty()) module_.reset();
  return !patched_.empty();
}

void TextOutHook::Remove() {
  for (const Patched& p : patched_) {
    // A slot someone else has patched since is theirs now.
    if (*p.slot == p.replacement) WriteSlot(p.slot, p.original);
  }
  patched_.clear();
  module_.reset();
}

}  // namespace brim
