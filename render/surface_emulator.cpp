#include "render/surface_emulator.h"

#include <new>

#include "control/service_ids.h"
#include "render/surface_pixels.h"

namespace brim {

namespace {

// The bitmap selected into `dc`, when it is a 32-bit DIB section; anything else is refused,
// because the control would write through a pointer that is not there.
bool SelectedBitmap(HDC dc, BottomUpBitmap& out) {
  if (!dc) return false;
  HGDIOBJ object = GetCurrentObject(dc, OBJ_BITMAP);
  DIBSECTION dib{};
  if (!object || GetObjectA(object, sizeof dib, &dib) != sizeof dib) return false;
  const BITMAP& bm = dib.dsBm;
  // A top-down DIB section would put rows where the negative pitch does not look for them.
  if (dib.dsBmih.biHeight < 0) return false;
  out.bits = static_cast<uint8_t*>(bm.bmBits);
  out.width = bm.bmWidth;
  out.height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
  out.stride = bm.bmWidthBytes;
  out.bitsPerPixel = bm.bmBitsPixel;
  return out.Usable();
}

}  // namespace

STDMETHODIMP EmulatedSurface::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_IDirectDrawSurface3) {
    *out = static_cast<IDirectDrawSurface3*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EmulatedSurface::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) EmulatedSurface::Release() { return owner_.Release(); }

STDMETHODIMP EmulatedSurface::GetDC(HDC* dc) {
  if (!dc) return E_POINTER;
  *dc = dc_;
  return S_OK;
}

STDMETHODIMP EmulatedSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD, HANDLE) {
  BottomUpBitmap bitmap;
  if (!SelectedBitmap(dc_, bitmap)) {
    lockValid_ = false;
    return DDERR_GENERIC;
  }
  PixelRect want = rect ? PixelRect{rect->left, rect->top, rect->right, rect->bottom}
                        : PixelRect{0, 0, bitmap.width, bitmap.height};
  const PixelRect r = bitmap.Clip(want);
  if (desc) {
    desc->dwFlags =
        DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
    desc->dwHeight = bitmap.height;
    desc->dwWidth = bitmap.width;
    desc->lPitch = -(bitmap.bitsPerPixel * bitmap.width / 8);
    // A rectangle entirely outside the bitmap locks nothing; point at the first pixel so that
    // the address is still one the control may read.
    desc->lpSurface = LockedAddress(bitmap, r.Empty() ? PixelRect{0, 0, 1, 1} : r);
    desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc->ddpfPixelFormat.dwFlags = DDPF_ALPHAPIXELS | DDPF_RGB | DDPF_ALPHAPREMULT;
    desc->ddpfPixelFormat.dwRGBBitCount = 32;
    desc->ddpfPixelFormat.dwRBitMask = 0x000000FF;
    desc->ddpfPixelFormat.dwGBitMask = 0x0000FF00;
    desc->ddpfPixelFormat.dwBBitMask = 0x00FF0000;
    desc->ddpfPixelFormat.dwRGBAlphaBitMask = 0xFF000000;
    desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  }
  locked_ = {r.left, r.top, r.right, r.bottom};
  lockValid_ = true;
  PrefillUndrawn(bitmap, r);
  return S_OK;
}

STDMETHODIMP EmulatedSurface::Unlock(LPVOID) {
  BottomUpBitmap bitmap;
  if (lockValid_ && SelectedBitmap(dc_, bitmap)) {
    FixUpDrawn(bitmap, {locked_.left, locked_.top, locked_.right, locked_.bottom});
  }
  lockValid_ = false;
  return S_OK;
}

STDMETHODIMP SurfaceEmulator::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_IDirectDraw3) {
    *out = static_cast<IDirectDraw3*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) SurfaceEmulator::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) SurfaceEmulator::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP SurfaceEmulator::GetSurfaceFromDC(HDC dc, LPDIRECTDRAWSURFACE* surface) {
  if (!surface) return E_POINTER;
  surface_.Bind(dc);
  return surface_.QueryInterface(kIID_IDirectDrawSurface3, reinterpret_cast<void**>(surface));
}

HRESULT CreateSurfaceEmulator(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* emulator = new (std::nothrow) SurfaceEmulator();
  if (!emulator) return E_OUTOFMEMORY;
  emulator->AddRef();
  const HRESULT hr = emulator->QueryInterface(iid, out);
  emulator->Release();
  return hr;
}

}  // namespace brim
