#pragma once
// The player control's binary interfaces, declared once for both sides: the projector calls
// through these vtables and flash.ocx implements them, so the slot order is the published one.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

namespace brim {

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
inline constexpr CLSID CLSID_ShockwaveFlash = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6B-AE6D-11CF-96B8-444553540000}
inline constexpr GUID LIBID_ShockwaveFlashObjects = {
    0xD27CDB6B, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}
inline constexpr IID IID_IShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}
inline constexpr IID DIID_IShockwaveFlashEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {B6EA2050-048A-11D1-82B9-00C04FB9942E}
inline constexpr IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

// The registry spells the class with the lower-case letters of its third group.
inline constexpr const char* kShockwaveFlashClassText = "{D27CDB6E-AE6D-11cf-96B8-444553540000}";

// Dispatch ids of _IShockwaveFlashEvents.
enum : DISPID {
  DISPID_FlashReadyStateChange = -609,
  DISPID_FlashProgress = 0x7A6,
  DISPID_FlashFSCommand = 150,
  DISPID_FlashCall = 0xC5,
};

// Scale modes as get_ScaleMode reports them.
enum FlashScaleMode : int { kShowAll = 0, kNoBorder = 1, kExactFit = 2, kNoScale = 3 };

struct IShockwaveFlash : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ReadyState(long* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalFrames(long* frames) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Quality(int* quality) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Quality(int quality) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ScaleMode(int* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ScaleMode(int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlignMode(int* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AlignMode(int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* color) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* loop) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL loop) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Movie(BSTR* movie) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Movie(BSTR movie) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FrameNum(long* frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FrameNum(long frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right, long bottom) = 0;
  virtual HRESULT STDMETHODCALLTYPE Zoom(int factor) = 0;
  virtual HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Back() = 0;
  virtual HRESULT STDMETHODCALLTYPE Forward() = 0;
  virtual HRESULT STDMETHODCALLTYPE Rewind() = 0;
  virtual HRESULT STDMETHODCALLTYPE StopPlay() = 0;
  virtual HRESULT STDMETHODCALLTYPE GotoFrame(long frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) = 0;
  virtual HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) = 0;
  virtual HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlashVersion(long* version) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Base(BSTR* base) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Base(BSTR base) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* deviceFont) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL deviceFont) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* color) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_BGColor(BSTR color) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadMovie(int layer, BSTR url) = 0;
  virtual HRESULT STDMETHODCALLTYPE TGotoFrame(BSTR target, long frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE TGotoLabel(BSTR target, BSTR label) = 0;
  virtual HRESULT STDMETHODCALLTYPE TCurrentFrame(BSTR target, long* frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE TCurrentLabel(BSTR target, BSTR* label) = 0;
  virtual HRESULT STDMETHODCALLTYPE TPlay(BSTR target) = 0;
  virtual HRESULT STDMETHODCALLTYPE TStopPlay(BSTR target) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVariable(BSTR name, BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVariable(BSTR name, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TSetProperty(BSTR target, int property, BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TGetProperty(BSTR target, int property, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TCallFrame(BSTR target, int frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE TCallLabel(BSTR target, BSTR label) = 0;
  virtual HRESULT STDMETHODCALLTYPE TSetPropertyNum(BSTR target, int property, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TGetPropertyNum(BSTR target, int property, double* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TGetPropertyAsNumber(BSTR target, int property,
                                                         double* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SWRemote(BSTR* remote) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SWRemote(BSTR remote) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FlashVars(BSTR* vars) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FlashVars(BSTR vars) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowScriptAccess(BSTR* access) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AllowScriptAccess(BSTR access) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MovieData(BSTR* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MovieData(BSTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InlineData(IUnknown** data) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_InlineData(IUnknown* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SeamlessTabbing(VARIANT_BOOL* seamless) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SeamlessTabbing(VARIANT_BOOL seamless) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnforceLocalSecurity() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Profile(VARIANT_BOOL* profile) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Profile(VARIANT_BOOL profile) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProfileAddress(BSTR* address) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProfileAddress(BSTR address) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProfilePort(long* port) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProfilePort(long port) = 0;
  virtual HRESULT STDMETHODCALLTYPE CallFunction(BSTR request, BSTR* response) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetReturnValue(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableLocalSecurity() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowNetworking(BSTR* networking) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AllowNetworking(BSTR networking) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowFullScreen(BSTR* fullScreen) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AllowFullScreen(BSTR fullScreen) = 0;
};

// The hosting window's interface for putting a control into it.
struct IAxWinHostWindow : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window, IStream* stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                                    IUnknown** control, REFIID sinkIid,
                                                    IUnknown* sink) = 0;
  virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* external) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IUnknown* handler) = 0;
};

}  // namespace brim

// Lets ComPtr::As and __uuidof find the identifiers of our own declarations.
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(brim::IShockwaveFlash, 0xD27CDB6C, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53,
                0x54, 0x00, 0x00)
__CRT_UUID_DECL(brim::IAxWinHostWindow, 0xB6EA2050, 0x048A, 0x11D1, 0x82, 0xB9, 0x00, 0xC0, 0x4F,
                0xB9, 0x94, 0x2E)
#endif
