// Drawing and hit testing. The host draws the control into a bitmap it owns and offers that
// bitmap's memory through IDirectDraw3 (a drawing surface per DC): the movie is rendered
// straight into the locked pixels, so that a transparent movie leaves every pixel it does not
// paint exactly as the host put it there. Any other container gets a bitmap of ours, copied in.
#include <ddraw.h>
#include <servprov.h>

#include <algorithm>
#include <cstdlib>

#include "base/handles.h"
#include "control/service_ids.h"
#include "player/control/com_util.h"
#include "player/control/fault_injection.h"
#include "player/control/flash_control.h"

namespace brim {
namespace {

using control::IntRect;
using Microsoft::WRL::ComPtr;

IntRect ToIntRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

void Fill(const swf::Canvas& canvas, uint32_t pixel) {
  for (int y = canvas.clip.top; y < canvas.clip.bottom; ++y) {
    uint32_t* row = canvas.Row(y);
    std::fill(row + canvas.clip.left, row + canvas.clip.right, pixel);
  }
}

// Gives a locked surface back however the drawing ends.
class SurfaceLock {
 public:
  explicit SurfaceLock(IDirectDrawSurface* surface) : surface_(surface) {}
  ~SurfaceLock() { surface_->Unlock(nullptr); }
  SurfaceLock(const SurfaceLock&) = delete;
  SurfaceLock& operator=(const SurfaceLock&) = delete;

 private:
  IDirectDrawSurface* surface_;
};

}  // namespace

void FlashControl::RenderInto(const control::LockedCanvas& target, const IntRect& view) const {
  const swf::Canvas& canvas = target.canvas;
  if (!canvas.base) return;
  swf::RenderMode mode = windowMode_ == control::WindowMode::Transparent
                             ? swf::RenderMode::Transparent
                             : swf::RenderMode::Opaque;
  if (mode == swf::RenderMode::Opaque && (backgroundColor_ != -1 || !Loaded())) {
    // A background of the container's choosing (or none to take from a movie): paint it here
    // and let the engine draw only the movie over it.
    Fill(canvas, control::OpaquePixel(backgroundColor_ != -1 ? backgroundColor_ : 0xFFFFFF));
    mode = swf::RenderMode::Transparent;
  }
  if (!Loaded()) return;
  player_->Render(canvas, mode, static_cast<swf::ScaleMode>(scaleMode_), view.Width(),
                  view.Height(), target.viewOrigin);
}

bool FlashControl::DrawToHostSurface(HDC dc, const IntRect& view, const IntRect& area) {
  IUnknown* site = Site();
  if (!site) return false;
  ComPtr<IServiceProvider> services;
  ComPtr<IDirectDraw3> directDraw;
  ComPtr<IDirectDrawSurface> surface;
  if (FAILED(site->QueryInterface(IID_IServiceProvider,
                                  reinterpret_cast<void**>(services.GetAddressOf()))) ||
      FAILED(services->QueryService(kIID_IDirectDraw3, kIID_IDirectDraw3,
                                    reinterpret_cast<void**>(directDraw.GetAddressOf()))) ||
      !directDraw || FAILED(directDraw->GetSurfaceFromDC(dc, surface.GetAddressOf())) || !surface) {
    return false;
  }
  RECT lockRect{area.left, area.top, area.right, area.bottom};
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  if (FAILED(surface->Lock(&lockRect, &desc, DDLOCK_WAIT, nullptr))) return false;
  {
    SurfaceLock lock(surface.Get());
    // Only 32-bit pixels are the engine's to write; anything else goes through our own bitmap.
    if (!desc.lpSurface ||
        ((desc.dwFlags & DDSD_PIXELFORMAT) && desc.ddpfPixelFormat.dwRGBBitCount != 32) ||
        std::abs(desc.lPitch) < area.Width() * 4) {
      return false;
    }
    RenderInto(
        control::CanvasForLock(static_cast<uint8_t*>(desc.lpSurface), desc.lPitch, area, view),
        view);
  }
  // Device text goes on with GDI once the surface is the DC's again.
  deviceFonts_->Flush(dc, {area.left, area.top});
  return true;
}

void FlashControl::DrawThroughBitmap(HDC dc, const IntRect& view, const IntRect& area) {
  const int width = area.Width(), height = area.Height();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
  if (!bitmap || !bits || !memory) return;
  SelectGuard select(memory.get(), bitmap.get());
  const bool transparent = windowMode_ == control::WindowMode::Transparent;
  // A transparent movie is drawn over a copy of what the DC shows; where that cannot be read
  // (a printer, a metafile), over nothing, and then blended in by its alpha.
  const bool backdrop =
      transparent && BitBlt(memory.get(), 0, 0, width, height, dc, area.left, area.top, SRCCOPY);
  GdiFlush();
  RenderInto(control::CanvasForLock(static_cast<uint8_t*>(bits), width * 4, area, view), view);
  GdiFlush();
  if (!transparent || backdrop) {
    BitBlt(dc, area.left, area.top, width, height, memory.get(), 0, 0, SRCCOPY);
  } else {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, area.left, area.top, width, height, memory.get(), 0, 0, width, height, blend);
  }
  deviceFonts_->Flush(dc, {area.left, area.top});
}

HRESULT FlashControl::Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc,
                           LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                           ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (index != -1) return DV_E_LINDEX;
  if (!dc) return E_INVALIDARG;
  if (FaultRequested("Draw")) return E_FAIL;
  IntRect view;
  if (bounds) {
    view = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  } else if (inPlaceSite_) {
    view = ToIntRect(posRect_);  // a windowless container draws us where we are in place
  } else {
    return E_INVALIDARG;
  }
  RECT clip;
  IntRect area = view;
  switch (GetClipBox(dc, &clip)) {
    case NULLREGION:
      return S_OK;
    case ERROR:
      break;
    default:
      area = control::Intersect(view, ToIntRect(clip));
  }
  if (area.Empty()) return S_OK;
  return Guarded([&]() -> HRESULT {
    deviceFonts_->Discard();
    if (!DrawToHostSurface(dc, view, area)) DrawThroughBitmap(dc, view, area);
    return S_OK;
  });
}

HRESULT FlashControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG,
                                    DWORD* result) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!bounds || !result) return E_POINTER;
  *result = HITRESULT_OUTSIDE;
  if (!Loaded() || !PtInRect(bounds, point)) return S_OK;
  return Guarded([&]() -> HRESULT {
    // The pixel's corner, where a press on it reaches the movie, in the view that Draw gives
    // the same bounds.
    const swf::Point at{static_cast<double>(point.x - bounds->left),
                        static_cast<double>(point.y - bounds->top)};
    if (player_->HitTest(at, static_cast<swf::ScaleMode>(scaleMode_), bounds->right - bounds->left,
                         bounds->bottom - bounds->top)) {
      *result = HITRESULT_HIT;
    }
    return S_OK;
  });
}

HRESULT FlashControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT area, LONG,
                                   DWORD* result) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!bounds || !area || !result) return E_POINTER;
  *result = HITRESULT_OUTSIDE;
  const IntRect overlap = control::Intersect(ToIntRect(*bounds), ToIntRect(*area));
  if (!Loaded() || overlap.Empty()) return S_OK;
  // Probes on a grid of at most 32 x 32 pixels: enough to find what a pointer's
  // rectangle touches without testing every pixel of a large one.
  const int stepX = std::max(1, overlap.Width() / 32), stepY = std::max(1, overlap.Height() / 32);
  for (int y = overlap.top; y < overlap.bottom; y += stepY) {
    for (int x = overlap.left; x < overlap.right; x += stepX) {
      DWORD hit = HITRESULT_OUTSIDE;
      if (SUCCEEDED(QueryHitPoint(aspect, bounds, {x, y}, 0, &hit)) && hit == HITRESULT_HIT) {
        *result = HITRESULT_HIT;
        return S_OK;
      }
    }
  }
  return S_OK;
}

}  // namespace brim
