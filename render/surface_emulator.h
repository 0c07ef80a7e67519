#pragma once
// The drawing surface the control writes its pixels into: a DirectDraw object with one
// surface that is only a view of the 32-bit DIB section selected into the device context the
// control draws on. Locking pre-fills the rectangle with the "undrawn" marker; unlocking turns
// what stayed undrawn transparent and gives opaque alpha to what the control wrote without any.
#include <ddraw.h>
#include <windows.h>

namespace brim {

class SurfaceEmulator;

class EmulatedSurface final : public IDirectDrawSurface3 {
 public:
  explicit EmulatedSurface(SurfaceEmulator& owner) : owner_(owner) {}
  void Bind(HDC dc) { dc_ = dc; }

  // The surface is a part of its emulator: a control holding it holds the emulator.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP AddAttachedSurface(LPDIRECTDRAWSURFACE3) override { return E_NOTIMPL; }
  STDMETHODIMP AddOverlayDirtyRect(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP Blt(LPRECT, LPDIRECTDRAWSURFACE3, LPRECT, DWORD, LPDDBLTFX) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP BltBatch(LPDDBLTBATCH, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE3, LPRECT, DWORD) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE3) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) override { return E_NOTIMPL; }
  STDMETHODIMP EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Flip(LPDIRECTDRAWSURFACE3, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetAttachedSurface(LPDDSCAPS, LPDIRECTDRAWSURFACE3*) override { return E_NOTIMPL; }
  STDMETHODIMP GetBltStatus(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetCaps(LPDDSCAPS) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipper(LPDIRECTDRAWCLIPPER*) override { return E_NOTIMPL; }
  STDMETHODIMP GetColorKey(DWORD, LPDDCOLORKEY) override { return E_NOTIMPL; }
  STDMETHODIMP GetDC(HDC* dc) override;
  STDMETHODIMP GetFlipStatus(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetOverlayPosition(LPLONG, LPLONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetPalette(LPDIRECTDRAWPALETTE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPixelFormat(LPDDPIXELFORMAT) override { return E_NOTIMPL; }
  STDMETHODIMP GetSurfaceDesc(LPDDSURFACEDESC) override { return E_NOTIMPL; }
  STDMETHODIMP Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) override { return E_NOTIMPL; }
  STDMETHODIMP IsLost() override { return E_NOTIMPL; }
  STDMETHODIMP Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) override;
  STDMETHODIMP ReleaseDC(HDC) override { return S_OK; }
  STDMETHODIMP Restore() override { return E_NOTIMPL; }
  STDMETHODIMP SetClipper(LPDIRECTDRAWCLIPPER) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorKey(DWORD, LPDDCOLORKEY) override { return E_NOTIMPL; }
  STDMETHODIMP SetOverlayPosition(LONG, LONG) override { return E_NOTIMPL; }
  STDMETHODIMP SetPalette(LPDIRECTDRAWPALETTE) override { return E_NOTIMPL; }
  STDMETHODIMP Unlock(LPVOID) override;
  STDMETHODIMP UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE3, LPRECT, DWORD, LPDDOVERLAYFX) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP UpdateOverlayDisplay(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE3) override { return E_NOTIMPL; }
  STDMETHODIMP GetDDInterface(LPVOID*) override { return E_NOTIMPL; }
  STDMETHODIMP PageLock(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP PageUnlock(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetSurfaceDesc(LPDDSURFACEDESC, DWORD) override { return E_NOTIMPL; }

 private:
  SurfaceEmulator& owner_;
  HDC dc_ = nullptr;
  RECT locked_{};
  bool lockValid_ = false;
};

class SurfaceEmulator final : public IDirectDraw3 {
 public:
  SurfaceEmulator() : surface_(*this) {}
  virtual ~SurfaceEmulator() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Compact() override { return E_NOTIMPL; }
  STDMETHODIMP CreateClipper(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*) override { return E_NOTIMPL; }
  STDMETHODIMP CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP CreateSurface(LPDDSURFACEDESC, LPDIRECTDRAWSURFACE*, IUnknown*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP FlipToGDISurface() override { return E_NOTIMPL; }
  STDMETHODIMP GetCaps(LPDDCAPS, LPDDCAPS) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayMode(LPDDSURFACEDESC) override { return E_NOTIMPL; }
  STDMETHODIMP GetFourCCCodes(LPDWORD, LPDWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetGDISurface(LPDIRECTDRAWSURFACE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMonitorFrequency(LPDWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetScanLine(LPDWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetVerticalBlankStatus(WINBOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP Initialize(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP RestoreDisplayMode() override { return E_NOTIMPL; }
  STDMETHODIMP SetCooperativeLevel(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP WaitForVerticalBlank(DWORD, HANDLE) override { return E_NOTIMPL; }
  STDMETHODIMP GetAvailableVidMem(LPDDSCAPS, LPDWORD, LPDWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetSurfaceFromDC(HDC dc, LPDIRECTDRAWSURFACE* surface) override;

 private:
  LONG refs_ = 0;
  EmulatedSurface surface_;
};

// A new emulator answering `iid` (the host's answer to the control's IDirectDraw3 request).
HRESULT CreateSurfaceEmulator(REFIID iid, void** out);

}  // namespace brim
