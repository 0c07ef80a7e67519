// The control's identity, its movie and the IShockwaveFlash slots: loading, playback,
// properties and the scripting entry points.
#include "player/control/flash_control.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "player/control/com_util.h"
#include "player/control/module.h"
#include "player/control/movie_loader.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;

struct InterfaceEntry {
  const IID* iid;
  void* (*get)(FlashControl*);
};

template <typename Interface>
void* Part(FlashControl* control) {
  return static_cast<Interface*>(control);
}

// Every interface the control answers to. The first entry is its identity.
const InterfaceEntry kInterfaces[] = {
    {&IID_IUnknown, Part<IShockwaveFlash>},
    {&IID_IDispatch, Part<IShockwaveFlash>},
    {&IID_IShockwaveFlash, Part<IShockwaveFlash>},
    {&IID_IOleObject, Part<IOleObject>},
    {&IID_IOleWindow, Part<IOleInPlaceObjectWindowless>},
    {&IID_IOleInPlaceObject, Part<IOleInPlaceObjectWindowless>},
    {&IID_IOleInPlaceObjectWindowless, Part<IOleInPlaceObjectWindowless>},
    {&IID_IOleControl, Part<IOleControl>},
    {&IID_IViewObject, Part<IViewObjectEx>},
    {&IID_IViewObject2, Part<IViewObjectEx>},
    {&IID_IViewObjectEx, Part<IViewObjectEx>},
    {&IID_IPersist, Part<IPersistStreamInit>},
    {&IID_IPersistStreamInit, Part<IPersistStreamInit>},
    {&IID_IPersistPropertyBag, Part<IPersistPropertyBag>},
    {&IID_IProvideClassInfo, Part<IProvideClassInfo>},
    {&IID_IConnectionPointContainer, Part<IConnectionPointContainer>},
    {&IID_IPlayerEventSource, Part<IPlayerEventSource>},
};

std::string Utf8(std::wstring_view text) {
  std::string out;
  if (text.empty()) return out;
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// UTF-8, or the ANSI code page for bytes that are not (file URLs written by older tools).
std::wstring Wide(std::string_view text) {
  std::wstring out;
  if (text.empty()) return out;
  UINT codePage = CP_UTF8;
  DWORD flags = MB_ERR_INVALID_CHARS;
  int n =
      MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    codePage = CP_ACP;
    flags = 0;
    n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr,
                            0);
    if (n <= 0) return out;
  }
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

HRESULT PutText(BSTR value, std::wstring& property) {
  return Guarded([&]() -> HRESULT {
    const auto text = InText(value, control::kMaxPropertyTextChars);
    if (!text) return E_INVALIDARG;
    property.assign(*text);
    return S_OK;
  });
}

HRESULT NotImplemented(BSTR* out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

struct QualityName {
  const char* name;
  int quality;
};
// Quality2's texts and the numbers Quality reports for them; the first four are Quality's own.
constexpr QualityName kQualities[] = {{"Low", 0},      {"High", 1},   {"AutoLow", 2},
                                      {"AutoHigh", 3}, {"Medium", 1}, {"Best", 1}};

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

FlashControl::FlashControl() { ObjectCreated(); }

FlashControl::~FlashControl() {
  clock_.Stop();
  events_.DisconnectAll();
  ObjectDestroyed();
}

HRESULT FlashControl::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  for (const InterfaceEntry& entry : kInterfaces) {
    if (IsEqualIID(iid, *entry.iid)) {
      *object = entry.get(this);
      AddRef();
      return S_OK;
    }
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG FlashControl::AddRef() { return InterlockedIncrement(&refs_); }

ULONG FlashControl::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return left;
}

// ---- IDispatch

HRESULT FlashControl::GetTypeInfoCount(UINT* count) { return OutValue<UINT>(0, count); }

HRESULT FlashControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT FlashControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT FlashControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

// ---- The movie

void FlashControl::Unload() {
  clock_.Stop();
  player_.reset();
  loadQueue_.clear();
}

HRESULT FlashControl::LoadMovieText(std::wstring_view text) {
  Unload();
  const std::optional<std::string> path = control::MoviePathFromText(Utf8(text));
  if (!path) return E_INVALIDARG;
  const std::wstring file = Wide(*path);
  if (file.empty() || file.size() >= MAX_PATH) {
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  }
  std::vector<uint8_t> bytes;
  if (const HRESULT hr = ReadMovieFile(file, bytes); FAILED(hr)) return hr;
  movieFolder_ = file.substr(0, file.find_last_of(L"\\/") + 1);
  IntroduceToBindHost(Site(), file);
  auto player = std::make_shared<swf::Player>();
  player->SetDeviceFonts(deviceFonts_.get());
  player->SetClipboard(&clipboard_);
  Wire(*player);
  // The first frame's scripts run inside Load and may already raise fscommands.
  player_ = player;
  if (!player->Load(bytes).Ok()) {
    player_.reset();
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  }
  if (player_ != player) return S_OK;  // the container loaded another movie meanwhile
  player->Play();
  ArmClock();
  Invalidate();
  events_.FireReadyStateChange(4);
  return S_OK;
}

void FlashControl::Wire(swf::Player& player) {
  const swf::Player* self = &player;
  player.SetFsCommandHandler([this, self](std::string_view command, std::string_view args) {
    // A movie the container has let go of while its script ran speaks to nobody.
    if (player_.get() != self) return;
    events_.FireFSCommand(Wide(command).c_str(), Wide(args).c_str());
  });
  // Pages are not opened from here; movies and variables are fetched before the next frame,
  // outside the script that asked.
  player.SetUrlLoader([this, self](const swf::Player::UrlRequest& request) {
    if (player_.get() != self || !request.loadId) return;
    loadQueue_.emplace_back(request.loadId, Wide(request.url));
  });
}

void FlashControl::FetchLoads() {
  const std::shared_ptr<swf::Player> keep = player_;
  std::vector<std::pair<uint64_t, std::wstring>> queue;
  queue.swap(loadQueue_);
  IUnknown* site = Site();
  for (auto& [id, name] : queue) {
    std::vector<uint8_t> bytes;
    if (SUCCEEDED(FetchForMovie(site, movieFolder_, name, bytes))) {
      keep->CompleteLoad(id, std::move(bytes));
    } else {
      keep->FailLoad(id);
    }
  }
}

void FlashControl::ArmClock() {
  if (!Loaded() || !inPlaceSite_) {
    clock_.Stop();
    return;
  }
  clock_.Start(inPlaceSite_.Get(), control::FrameIntervalMs(player_->FrameRate()));
}

void FlashControl::OnFrame() noexcept {
  AddRef();  // the site may let go of us while it repaints
  try {
    const std::shared_ptr<swf::Player> keep = player_;
    if (Loaded()) {
      // Without looping the main timeline rests on its last frame; its clips keep playing.
      if (!loop_ && player_->IsPlaying() && player_->CurrentFrame() + 1 >= player_->FrameCount()) {
        player_->Stop();
      }
      if (!loadQueue_.empty()) FetchLoads();
      player_->Tick();
      Invalidate();
    }
  } catch (...) {
    // A frame the engine could not build: the movie stays on what it shows.
    clock_.Stop();
  }
  Release();
}

void FlashControl::Invalidate() {
  if (inPlaceSite_) {
    inPlaceSite_->InvalidateRect(nullptr, FALSE);
  } else if (viewSink_) {
    viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
  }
}

HRESULT FlashControl::Seek(long frame) {
  if (!Loaded()) return E_FAIL;
  if (frame < 0 || static_cast<size_t>(frame) >= player_->FrameCount()) return E_INVALIDARG;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->GotoFrame(static_cast<size_t>(frame))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

std::optional<std::string> FlashControl::TargetText(BSTR target) {
  const auto text = InText(target, control::kMaxVariableNameChars);
  if (!text) return std::nullopt;
  return Utf8(*text);
}

// ---- IShockwaveFlash: the movie and playback

HRESULT FlashControl::get_ReadyState(long* state) { return OutValue(Loaded() ? 4L : 0L, state); }

HRESULT FlashControl::get_TotalFrames(long* frames) {
  return OutValue(Loaded() ? static_cast<long>(player_->FrameCount()) : 0L, frames);
}

HRESULT FlashControl::get_Movie(BSTR* movie) { return OutText(movieText_, movie); }

HRESULT FlashControl::put_Movie(BSTR movie) {
  return Guarded([&]() -> HRESULT {
    const auto text = InText(movie, control::kMaxMovieTextChars);
    if (!text) return E_INVALIDARG;
    movieText_.assign(*text);
    if (control::IsUnloadRequest(*text)) {
      Unload();
      Invalidate();
      return S_OK;
    }
    const HRESULT hr = LoadMovieText(*text);
    if (FAILED(hr)) Invalidate();
    return hr;
  });
}

HRESULT FlashControl::LoadMovie(int layer, BSTR url) {
  if (layer == 0 || !Loaded()) return put_Movie(url);
  if (layer < 0) return E_INVALIDARG;
  return Guarded([&]() -> HRESULT {
    const auto text = InText(url, control::kMaxMovieTextChars);
    if (!text) return E_INVALIDARG;
    std::vector<uint8_t> bytes;
    if (const HRESULT hr = FetchForMovie(Site(), movieFolder_, std::wstring(*text), bytes);
        FAILED(hr)) {
      return hr;
    }
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->LoadLevel(layer, bytes).Ok()) return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::get_Playing(VARIANT_BOOL* playing) { return IsPlaying(playing); }

HRESULT FlashControl::put_Playing(VARIANT_BOOL playing) { return playing ? Play() : Stop(); }

HRESULT FlashControl::IsPlaying(VARIANT_BOOL* playing) {
  return OutValue(ToVariantBool(Loaded() && player_->IsPlaying()), playing);
}

HRESULT FlashControl::Play() {
  if (Loaded()) player_->Play();
  return S_OK;
}

HRESULT FlashControl::Stop() {
  if (Loaded()) player_->Stop();
  return S_OK;
}

HRESULT FlashControl::StopPlay() { return Stop(); }

HRESULT FlashControl::Back() {
  Stop();
  if (!Loaded()) return S_OK;
  const size_t frame = player_->CurrentFrame();
  return frame > 0 ? Seek(static_cast<long>(frame - 1)) : S_OK;
}

HRESULT FlashControl::Forward() {
  Stop();
  if (!Loaded()) return S_OK;
  const size_t frame = player_->CurrentFrame();
  return frame + 1 < player_->FrameCount() ? Seek(static_cast<long>(frame + 1)) : S_OK;
}

HRESULT FlashControl::Rewind() {
  Stop();
  return Loaded() ? Seek(0) : S_OK;
}

HRESULT FlashControl::GotoFrame(long frame) { return Seek(frame); }

HRESULT FlashControl::CurrentFrame(long* frame) {
  return OutValue(Loaded() ? static_cast<long>(player_->CurrentFrame()) : 0L, frame);
}

HRESULT FlashControl::get_FrameNum(long* frame) { return CurrentFrame(frame); }

HRESULT FlashControl::put_FrameNum(long frame) { return Seek(frame); }

HRESULT FlashControl::PercentLoaded(long* percent) {
  return OutValue(Loaded() ? 100L : 0L, percent);
}

HRESULT FlashControl::FrameLoaded(long frame, VARIANT_BOOL* loaded) {
  return OutValue(
      ToVariantBool(Loaded() && frame >= 0 && static_cast<size_t>(frame) < player_->FrameCount()),
      loaded);
}

HRESULT FlashControl::FlashVersion(long* version) {
  return OutValue(control::kPlayerVersion, version);
}

// ---- IShockwaveFlash: how the movie is shown

HRESULT FlashControl::get_WMode(BSTR* mode) { return OutText(windowModeText_, mode); }

HRESULT FlashControl::put_WMode(BSTR mode) {
  const HRESULT hr = PutText(mode, windowModeText_);
  if (FAILED(hr)) return hr;
  windowMode_ = control::ParseWindowMode(windowModeText_);
  Invalidate();
  return S_OK;
}

HRESULT FlashControl::get_ScaleMode(int* mode) { return OutValue(scaleMode_, mode); }

HRESULT FlashControl::put_ScaleMode(int mode) {
  if (mode < FlashScaleMode::kShowAll || mode > FlashScaleMode::kNoScale) return E_INVALIDARG;
  scaleMode_ = mode;
  Invalidate();
  return S_OK;
}

HRESULT FlashControl::get_Scale(BSTR* scale) {
  return Guarded([&] { return OutText(Widen(control::kScaleNames[scaleMode_]), scale); });
}

HRESULT FlashControl::put_Scale(BSTR scale) {
  const auto text = InText(scale, 32);
  const std::optional<int> mode = text ? control::ParseScale(*text) : std::nullopt;
  return mode ? put_ScaleMode(*mode) : E_INVALIDARG;
}

HRESULT FlashControl::get_AlignMode(int* mode) { return OutValue(alignMode_, mode); }

HRESULT FlashControl::put_AlignMode(int mode) {
  alignMode_ = mode;
  return S_OK;
}

HRESULT FlashControl::get_SAlign(BSTR* align) { return OutText(salign_, align); }
HRESULT FlashControl::put_SAlign(BSTR align) { return PutText(align, salign_); }

HRESULT FlashControl::get_BackgroundColor(long* color) {
  long value = backgroundColor_;
  if (value == -1 && Loaded()) {
    const swf::Rgba c = player_->BackgroundColor();
    value = (long{c.r} << 16) | (long{c.g} << 8) | long{c.b};
  }
  return OutValue(value, color);
}

HRESULT FlashControl::put_BackgroundColor(long color) {
  if (color < -1 || color > 0xFFFFFF) return E_INVALIDARG;
  backgroundColor_ = color;
  Invalidate();
  return S_OK;
}

HRESULT FlashControl::get_BGColor(BSTR* color) {
  long value = 0;
  get_BackgroundColor(&value);
  wchar_t text[8] = L"";
  if (value != -1) std::swprintf(text, 8, L"#%06lX", static_cast<unsigned long>(value));
  return OutText(text, color);
}

HRESULT FlashControl::put_BGColor(BSTR color) {
  const auto text = InText(color, 16);
  const std::optional<long> value = text ? control::ParseHtmlColor(*text) : std::nullopt;
  return value ? put_BackgroundColor(*value) : E_INVALIDARG;
}

HRESULT FlashControl::get_Quality(int* quality) { return OutValue(quality_, quality); }

HRESULT FlashControl::put_Quality(int quality) {
  if (quality < 0 || quality > 3) return E_INVALIDARG;
  return Guarded([&]() -> HRESULT {
    quality_ = quality;
    quality2Text_ = Widen(kQualities[quality].name);
    return S_OK;
  });
}

HRESULT FlashControl::get_Quality2(BSTR* quality) { return OutText(quality2Text_, quality); }

HRESULT FlashControl::put_Quality2(BSTR quality) {
  const auto text = InText(quality, 16);
  if (!text) return E_INVALIDARG;
  for (const QualityName& q : kQualities) {
    if (control::EqualsIgnoringCase(*text, q.name)) {
      return Guarded([&]() -> HRESULT {
        quality_ = q.quality;
        quality2Text_ = Widen(q.name);
        return S_OK;
      });
    }
  }
  return E_INVALIDARG;
}

HRESULT FlashControl::get_Loop(VARIANT_BOOL* loop) { return OutValue(ToVariantBool(loop_), loop); }

HRESULT FlashControl::put_Loop(VARIANT_BOOL loop) {
  loop_ = loop != VARIANT_FALSE;
  return S_OK;
}

HRESULT FlashControl::get_Menu(VARIANT_BOOL* menu) { return OutValue(ToVariantBool(menu_), menu); }

HRESULT FlashControl::put_Menu(VARIANT_BOOL menu) {
  menu_ = menu != VARIANT_FALSE;
  return S_OK;
}

HRESULT FlashControl::get_DeviceFont(VARIANT_BOOL* deviceFont) {
  return OutValue(ToVariantBool(deviceFont_), deviceFont);
}

HRESULT FlashControl::put_DeviceFont(VARIANT_BOOL deviceFont) {
  deviceFont_ = deviceFont != VARIANT_FALSE;
  return S_OK;
}

HRESULT FlashControl::get_EmbedMovie(VARIANT_BOOL* embed) {
  return OutValue(ToVariantBool(embedMovie_), embed);
}

HRESULT FlashControl::put_EmbedMovie(VARIANT_BOOL embed) {
  embedMovie_ = embed != VARIANT_FALSE;
  return S_OK;
}

HRESULT FlashControl::get_SeamlessTabbing(VARIANT_BOOL* seamless) {
  return OutValue(ToVariantBool(seamlessTabbing_), seamless);
}

HRESULT FlashControl::put_SeamlessTabbing(VARIANT_BOOL seamless) {
  seamlessTabbing_ = seamless != VARIANT_FALSE;
  return S_OK;
}

HRESULT FlashControl::get_Base(BSTR* base) { return OutText(base_, base); }
HRESULT FlashControl::put_Base(BSTR base) { return PutText(base, base_); }
HRESULT FlashControl::get_SWRemote(BSTR* remote) { return OutText(swRemote_, remote); }
HRESULT FlashControl::put_SWRemote(BSTR remote) { return PutText(remote, swRemote_); }
HRESULT FlashControl::get_FlashVars(BSTR* vars) { return OutText(flashVars_, vars); }
HRESULT FlashControl::put_FlashVars(BSTR vars) { return PutText(vars, flashVars_); }

HRESULT FlashControl::get_AllowScriptAccess(BSTR* access) {
  return OutText(allowScriptAccess_, access);
}

HRESULT FlashControl::put_AllowScriptAccess(BSTR access) {
  return PutText(access, allowScriptAccess_);
}

HRESULT FlashControl::get_AllowNetworking(BSTR* networking) {
  return OutText(allowNetworking_, networking);
}

HRESULT FlashControl::put_AllowNetworking(BSTR networking) {
  return PutText(networking, allowNetworking_);
}

HRESULT FlashControl::get_AllowFullScreen(BSTR* fullScreen) {
  return OutText(allowFullScreen_, fullScreen);
}

HRESULT FlashControl::put_AllowFullScreen(BSTR fullScreen) {
  return PutText(fullScreen, allowFullScreen_);
}

// ---- IShockwaveFlash: timelines by target and variables

HRESULT FlashControl::TGotoFrame(BSTR target, long frame) {
  const auto where = TargetText(target);
  if (!where || !Loaded() || frame < 0) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->GotoFrame(*where, static_cast<size_t>(frame))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TGotoLabel(BSTR target, BSTR label) {
  const auto where = TargetText(target);
  const auto text = InText(label, control::kMaxPropertyTextChars);
  if (!where || !text || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->GotoLabel(*where, Utf8(*text))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TCurrentFrame(BSTR target, long* frame) {
  if (!frame) return E_POINTER;
  *frame = 0;
  const auto where = TargetText(target);
  if (!where) return E_FAIL;
  if (!Loaded()) return S_OK;
  return Guarded([&]() -> HRESULT {
    const std::optional<size_t> at = player_->CurrentFrame(*where);
    if (!at) return E_FAIL;
    *frame = static_cast<long>(*at);
    return S_OK;
  });
}

HRESULT FlashControl::TCurrentLabel(BSTR target, BSTR* label) {
  if (!label) return E_POINTER;
  *label = nullptr;
  const auto where = TargetText(target);
  if (!where) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    if (!Loaded()) return OutText(L"", label);
    const std::optional<std::string> name = player_->CurrentLabel(*where);
    return name ? OutText(Wide(*name), label) : E_FAIL;
  });
}

HRESULT FlashControl::TPlay(BSTR target) {
  const auto where = TargetText(target);
  if (!where || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT { return player_->SetPlaying(*where, true) ? S_OK : E_FAIL; });
}

HRESULT FlashControl::TStopPlay(BSTR target) {
  const auto where = TargetText(target);
  if (!where || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT { return player_->SetPlaying(*where, false) ? S_OK : E_FAIL; });
}

HRESULT FlashControl::TCallFrame(BSTR target, int frame) {
  const auto where = TargetText(target);
  if (!where || !Loaded() || frame < 0) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->CallFrame(*where, static_cast<size_t>(frame))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TCallLabel(BSTR target, BSTR label) {
  const auto where = TargetText(target);
  const auto text = InText(label, control::kMaxPropertyTextChars);
  if (!where || !text || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->CallLabel(*where, Utf8(*text))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TSetProperty(BSTR target, int property, BSTR value) {
  const auto where = TargetText(target);
  const auto text = InText(value, control::kMaxVariableValueChars);
  if (!where || !text || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->SetProperty(*where, property, Utf8(*text))) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TSetPropertyNum(BSTR target, int property, double value) {
  const auto where = TargetText(target);
  if (!where || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    if (!keep->SetProperty(*where, property, value)) return E_FAIL;
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::TGetProperty(BSTR target, int property, BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  const auto where = TargetText(target);
  if (!where || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    const std::optional<std::string> text = keep->GetProperty(*where, property);
    return text ? OutText(Wide(*text), value) : E_FAIL;
  });
}

HRESULT FlashControl::TGetPropertyNum(BSTR target, int property, double* value) {
  if (!value) return E_POINTER;
  *value = 0;
  const auto where = TargetText(target);
  if (!where || !Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    const std::optional<double> number = keep->GetPropertyNumber(*where, property);
    if (!number) return E_FAIL;
    *value = *number;
    return S_OK;
  });
}

HRESULT FlashControl::TGetPropertyAsNumber(BSTR target, int property, double* value) {
  return TGetPropertyNum(target, property, value);
}

HRESULT FlashControl::SetVariable(BSTR name, BSTR value) {
  const auto key = InText(name, control::kMaxVariableNameChars);
  const auto text = InText(value, control::kMaxVariableValueChars);
  if (!key || !text || key->empty()) return E_INVALIDARG;
  if (!Loaded()) return E_FAIL;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    return keep->SetVariable(Utf8(*key), Utf8(*text)) ? S_OK : E_FAIL;
  });
}

HRESULT FlashControl::GetVariable(BSTR name, BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  const auto key = InText(name, control::kMaxVariableNameChars);
  if (!key) return E_INVALIDARG;
  // A variable the movie does not have (or no movie at all) reads as a null string, which
  // containers take as the empty text.
  if (!Loaded()) return S_OK;
  return Guarded([&]() -> HRESULT {
    const std::shared_ptr<swf::Player> keep = player_;
    const std::optional<std::string> text = keep->GetVariable(Utf8(*key));
    return text ? OutText(Wide(*text), value) : S_OK;
  });
}

// ---- IShockwaveFlash: what the control does not do (yet)

HRESULT FlashControl::SetZoomRect(long, long, long, long) { return E_NOTIMPL; }
HRESULT FlashControl::Zoom(int) { return E_NOTIMPL; }
HRESULT FlashControl::Pan(long, long, int) { return E_NOTIMPL; }
HRESULT FlashControl::get_MovieData(BSTR* data) { return NotImplemented(data); }
HRESULT FlashControl::put_MovieData(BSTR) { return E_NOTIMPL; }

HRESULT FlashControl::get_InlineData(IUnknown** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT FlashControl::put_InlineData(IUnknown*) { return E_NOTIMPL; }
HRESULT FlashControl::EnforceLocalSecurity() { return E_NOTIMPL; }
HRESULT FlashControl::get_Profile(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT FlashControl::put_Profile(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT FlashControl::get_ProfileAddress(BSTR* address) { return NotImplemented(address); }
HRESULT FlashControl::put_ProfileAddress(BSTR) { return E_NOTIMPL; }
HRESULT FlashControl::get_ProfilePort(long*) { return E_NOTIMPL; }
HRESULT FlashControl::put_ProfilePort(long) { return E_NOTIMPL; }
HRESULT FlashControl::CallFunction(BSTR, BSTR* response) { return NotImplemented(response); }
HRESULT FlashControl::SetReturnValue(BSTR) { return E_NOTIMPL; }
HRESULT FlashControl::DisableLocalSecurity() { return E_NOTIMPL; }

// ---- IPlayerEventSource

HRESULT FlashControl::FireFSCommand(LPCOLESTR command, LPCOLESTR args) {
  return events_.FireFSCommand(command, args);
}

}  // namespace brim
