#pragma once
// The player control: one COM object that wraps the SWF engine behind the player class's
// published interfaces, for a container that hosts it windowless. Its interfaces are base
// classes of this one class, so they share one identity and one reference count; QueryInterface
// looks them up in an explicit table.
//
// The control's methods are spread over files by concept: flash_control.cpp (identity, movie
// loading, playback, the scripting slots), flash_control_ole.cpp (embedding, in-place activation,
// persistence, events) and flash_control_view.cpp (drawing and hit testing).
#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "control/flash_interfaces.h"
#include "player/control/control_core.h"
#include "player/control/event_connection.h"
#include "player/control/frame_clock.h"
#include "player/control/gdi_device_fonts.h"
#include "player/control/system_clipboard.h"
#include "player/control/player_event_source.h"
#include "player/player.h"

namespace brim {

class FlashControl final : public IShockwaveFlash,
                           public IOleObject,
                           public IOleInPlaceObjectWindowless,
                           public IOleControl,
                           public IViewObjectEx,
                           public IPersistStreamInit,
                           public IPersistPropertyBag,
                           public IProvideClassInfo,
                           public IConnectionPointContainer,
                           public IPlayerEventSource,
                           private FrameClockClient {
 public:
  static constexpr DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST |
                                       OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                                       OLEMISC_RECOMPOSEONRESIZE;

  FlashControl();
  FlashControl(const FlashControl&) = delete;
  FlashControl& operator=(const FlashControl&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: the control is driven through its vtable; late binding is not offered.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argError) override;

  // IShockwaveFlash
  HRESULT STDMETHODCALLTYPE get_ReadyState(long* state) override;
  HRESULT STDMETHODCALLTYPE get_TotalFrames(long* frames) override;
  HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) override;
  HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) override;
  HRESULT STDMETHODCALLTYPE get_Quality(int* quality) override;
  HRESULT STDMETHODCALLTYPE put_Quality(int quality) override;
  HRESULT STDMETHODCALLTYPE get_ScaleMode(int* mode) override;
  HRESULT STDMETHODCALLTYPE put_ScaleMode(int mode) override;
  HRESULT STDMETHODCALLTYPE get_AlignMode(int* mode) override;
  HRESULT STDMETHODCALLTYPE put_AlignMode(int mode) override;
  HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* color) override;
  HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) override;
  HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* loop) override;
  HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL loop) override;
  HRESULT STDMETHODCALLTYPE get_Movie(BSTR* movie) override;
  HRESULT STDMETHODCALLTYPE put_Movie(BSTR movie) override;
  HRESULT STDMETHODCALLTYPE get_FrameNum(long* frame) override;
  HRESULT STDMETHODCALLTYPE put_FrameNum(long frame) override;
  HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right, long bottom) override;
  HRESULT STDMETHODCALLTYPE Zoom(int factor) override;
  HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) override;
  HRESULT STDMETHODCALLTYPE Play() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Back() override;
  HRESULT STDMETHODCALLTYPE Forward() override;
  HRESULT STDMETHODCALLTYPE Rewind() override;
  HRESULT STDMETHODCALLTYPE StopPlay() override;
  HRESULT STDMETHODCALLTYPE GotoFrame(long frame) override;
  HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) override;
  HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) override;
  HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) override;
  HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) override;
  HRESULT STDMETHODCALLTYPE FlashVersion(long* version) override;
  HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) override;
  HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) override;
  HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) override;
  HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) override;
  HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) override;
  HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) override;
  HRESULT STDMETHODCALLTYPE get_Base(BSTR* base) override;
  HRESULT STDMETHODCALLTYPE put_Base(BSTR base) override;
  HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) override;
  HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) override;
  HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* deviceFont) override;
  HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL deviceFont) override;
  HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) override;
  HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) override;
  HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* color) override;
  HRESULT STDMETHODCALLTYPE put_BGColor(BSTR color) override;
  HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) override;
  HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) override;
  HRESULT STDMETHODCALLTYPE LoadMovie(int layer, BSTR url) override;
  HRESULT STDMETHODCALLTYPE TGotoFrame(BSTR target, long frame) override;
  HRESULT STDMETHODCALLTYPE TGotoLabel(BSTR target, BSTR label) override;
  HRESULT STDMETHODCALLTYPE TCurrentFrame(BSTR target, long* frame) override;
  HRESULT STDMETHODCALLTYPE TCurrentLabel(BSTR target, BSTR* label) override;
  HRESULT STDMETHODCALLTYPE TPlay(BSTR target) override;
  HRESULT STDMETHODCALLTYPE TStopPlay(BSTR target) override;
  HRESULT STDMETHODCALLTYPE SetVariable(BSTR name, BSTR value) override;
  HRESULT STDMETHODCALLTYPE GetVariable(BSTR name, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE TSetProperty(BSTR target, int property, BSTR value) override;
  HRESULT STDMETHODCALLTYPE TGetProperty(BSTR target, int property, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE TCallFrame(BSTR target, int frame) override;
  HRESULT STDMETHODCALLTYPE TCallLabel(BSTR target, BSTR label) override;
  HRESULT STDMETHODCALLTYPE TSetPropertyNum(BSTR target, int property, double value) override;
  HRESULT STDMETHODCALLTYPE TGetPropertyNum(BSTR target, int property, double* value) override;
  HRESULT STDMETHODCALLTYPE TGetPropertyAsNumber(BSTR target, int property, double* value) override;
  HRESULT STDMETHODCALLTYPE get_SWRemote(BSTR* remote) override;
  HRESULT STDMETHODCALLTYPE put_SWRemote(BSTR remote) override;
  HRESULT STDMETHODCALLTYPE get_FlashVars(BSTR* vars) override;
  HRESULT STDMETHODCALLTYPE put_FlashVars(BSTR vars) override;
  HRESULT STDMETHODCALLTYPE get_AllowScriptAccess(BSTR* access) override;
  HRESULT STDMETHODCALLTYPE put_AllowScriptAccess(BSTR access) override;
  HRESULT STDMETHODCALLTYPE get_MovieData(BSTR* data) override;
  HRESULT STDMETHODCALLTYPE put_MovieData(BSTR data) override;
  HRESULT STDMETHODCALLTYPE get_InlineData(IUnknown** data) override;
  HRESULT STDMETHODCALLTYPE put_InlineData(IUnknown* data) override;
  HRESULT STDMETHODCALLTYPE get_SeamlessTabbing(VARIANT_BOOL* seamless) override;
  HRESULT STDMETHODCALLTYPE put_SeamlessTabbing(VARIANT_BOOL seamless) override;
  HRESULT STDMETHODCALLTYPE EnforceLocalSecurity() override;
  HRESULT STDMETHODCALLTYPE get_Profile(VARIANT_BOOL* profile) override;
  HRESULT STDMETHODCALLTYPE put_Profile(VARIANT_BOOL profile) override;
  HRESULT STDMETHODCALLTYPE get_ProfileAddress(BSTR* address) override;
  HRESULT STDMETHODCALLTYPE put_ProfileAddress(BSTR address) override;
  HRESULT STDMETHODCALLTYPE get_ProfilePort(long* port) override;
  HRESULT STDMETHODCALLTYPE put_ProfilePort(long port) override;
  HRESULT STDMETHODCALLTYPE CallFunction(BSTR request, BSTR* response) override;
  HRESULT STDMETHODCALLTYPE SetReturnValue(BSTR value) override;
  HRESULT STDMETHODCALLTYPE DisableLocalSecurity() override;
  HRESULT STDMETHODCALLTYPE get_AllowNetworking(BSTR* networking) override;
  HRESULT STDMETHODCALLTYPE put_AllowNetworking(BSTR networking) override;
  HRESULT STDMETHODCALLTYPE get_AllowFullScreen(BSTR* fullScreen) override;
  HRESULT STDMETHODCALLTYPE put_AllowFullScreen(BSTR fullScreen) override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                                   HWND parent, LPCRECT posRect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                            LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** target) override;

  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IViewObject, IViewObject2, IViewObjectEx
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                 HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                 BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR),
                                 ULONG_PTR keepGoingArg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                        DVTARGETDEVICE* device, HDC targetDevice,
                                        LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo,
                                   DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                      LPSIZEL size) override;
  HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) override;
  HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) override;
  HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG closeHint,
                                          DWORD* result) override;
  HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT area, LONG closeHint,
                                         DWORD* result) override;
  HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                             HDC targetDevice, DVEXTENTINFO* info,
                                             LPSIZEL size) override;

  // IPersist, IPersistStreamInit, IPersistPropertyBag
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // IProvideClassInfo (windows.h spells the method GetClassInfoA)
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // IPlayerEventSource
  HRESULT STDMETHODCALLTYPE FireFSCommand(LPCOLESTR command, LPCOLESTR args) override;

 private:
  ~FlashControl();

  bool Loaded() const { return player_ && player_->IsLoaded(); }
  // The container as the control asks it for services: the in-place site while in place.
  IUnknown* Site() const {
    return inPlaceSite_ ? static_cast<IUnknown*>(inPlaceSite_.Get()) : site_.Get();
  }
  // put_Movie's work: read and start the movie `text` names, or leave no movie.
  HRESULT LoadMovieText(std::wstring_view text);
  void Unload();
  // Goes to `frame` (from 0) of the main timeline.
  HRESULT Seek(long frame);
  // Redraws through the site: the windowless site's invalidation while in place, the view
  // advise sink otherwise.
  void Invalidate();
  // Starts the frame clock when a movie is loaded and the control is in place.
  void ArmClock();
  void OnFrame() noexcept override;
  // Mouse and keyboard messages for the movie: pointer positions in the container's client
  // coordinates, keys as the platform's virtual keys.
  HRESULT RoutePointer(UINT message, WPARAM wParam, LPARAM lParam);
  HRESULT RouteKey(UINT message, WPARAM wParam, LPARAM lParam);
  // Sets the pointer the movie wants where it was last seen.
  void SetMovieCursor();
  // Raises the movie's fscommands and queues what it asks to load.
  void Wire(swf::Player& player);
  // Fetches what the movie asked to load since the last frame and hands it to the engine.
  void FetchLoads();
  // `target` as the engine takes it (UTF-8), or nothing when it is too long.
  static std::optional<std::string> TargetText(BSTR target);
  HRESULT ActivateInPlace(IOleClientSite* site, LPCRECT posRect);
  // The extent in HIMETRIC: what the container set, or the movie's stage.
  SIZEL Extent() const;
  // Draws into the host's locked surface; false when the site offers none for `dc`.
  bool DrawToHostSurface(HDC dc, const control::IntRect& view, const control::IntRect& area);
  void DrawThroughBitmap(HDC dc, const control::IntRect& view, const control::IntRect& area);
  void RenderInto(const control::LockedCanvas& target, const control::IntRect& view) const;

  LONG refs_ = 1;
  // Device text of the movie: measured while it plays, drawn after each frame's pixels. Made
  // before the player, so that it outlives it.
  std::shared_ptr<GdiDeviceFonts> deviceFonts_ = std::make_shared<GdiDeviceFonts>();
  SystemClipboard clipboard_;
  // Shared so that a movie replaced or unloaded by a container answering its fscommand lives
  // until its script has returned.
  std::shared_ptr<swf::Player> player_;

  // Names the movie asked to load, by the engine's load id; fetched before the next frame.
  std::vector<std::pair<uint64_t, std::wstring>> loadQueue_;
  std::wstring movieFolder_;  // of the movie playing, for relative names without a bind host

  // Properties.
  std::wstring movieText_;
  std::wstring windowModeText_ = L"Window";
  control::WindowMode windowMode_ = control::WindowMode::Window;
  int scaleMode_ = FlashScaleMode::kShowAll;
  int alignMode_ = 0;
  long backgroundColor_ = -1;  // 0xRRGGBB, or -1 for the movie's own
  bool loop_ = true;
  bool menu_ = true;
  bool deviceFont_ = false;
  bool embedMovie_ = false;
  bool seamlessTabbing_ = true;
  int quality_ = 1;
  std::wstring quality2Text_ = L"High";
  std::wstring salign_, base_, flashVars_, swRemote_;
  std::wstring allowScriptAccess_ = L"sameDomain";
  std::wstring allowNetworking_ = L"all";
  std::wstring allowFullScreen_ = L"false";

  // Embedding.
  Microsoft::WRL::ComPtr<IOleClientSite> site_;
  Microsoft::WRL::ComPtr<IOleInPlaceSiteWindowless> inPlaceSite_;  // set while in place
  RECT posRect_{};
  SIZEL extent_{};  // HIMETRIC; zero until the container sets one
  Microsoft::WRL::ComPtr<IOleAdviseHolder> oleAdvise_;
  Microsoft::WRL::ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewAdviseFlags_ = 0;
  // Where the pointer was last seen, in movie view pixels.
  POINT pointer_{};
  bool pointerDown_ = false;
  // The control took the capture through its site for a press on something of the movie's.
  bool captured_ = false;

  EventConnectionPoint events_{*this};
  FrameClock clock_{*this};
};

}  // namespace brim
