#include "player/control/movie_loader.h"

#include <objbase.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <algorithm>

#include "base/handles.h"
#include "player/control/control_core.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;

HRESULT ReadStream(IStream* stream, std::vector<uint8_t>& bytes) {
  bytes.clear();
  uint8_t chunk[64 * 1024];
  for (;;) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
    if (FAILED(hr)) return hr;
    if (got == 0) break;
    if (bytes.size() + got > control::kMaxMovieFileBytes) {
      return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (hr == S_FALSE) break;
  }
  return S_OK;
}

bool IsFileUrl(const std::wstring& name) {
  return name.size() > 5 && CompareStringOrdinal(name.c_str(), 5, L"file:", 5, TRUE) == CSTR_EQUAL;
}

HRESULT ReadFileUrl(const std::wstring& url, std::vector<uint8_t>& bytes) {
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (FAILED(PathCreateFromUrlW(url.c_str(), path, &length, 0))) return E_INVALIDARG;
  return ReadMovieFile(path, bytes);
}

// The container's way to names, when it has one.
HRESULT FetchThroughBindHost(IUnknown* site, const std::wstring& name,
                             std::vector<uint8_t>& bytes) {
  ComPtr<IServiceProvider> services;
  ComPtr<IBindHost> bindHost;
  if (FAILED(site->QueryInterface(IID_IServiceProvider,
                                  reinterpret_cast<void**>(services.GetAddressOf()))) ||
      FAILED(services->QueryService(IID_IBindHost, IID_IBindHost,
                                    reinterpret_cast<void**>(bindHost.GetAddressOf()))) ||
      !bindHost) {
    return E_NOINTERFACE;
  }
  ComPtr<IBindCtx> context;
  ComPtr<IMoniker> moniker;
  if (FAILED(CreateBindCtx(0, context.GetAddressOf()))) return E_FAIL;
  std::wstring text = name;
  if (FAILED(bindHost->CreateMoniker(text.data(), context.Get(), moniker.GetAddressOf(), 0)) ||
      !moniker) {
    return E_FAIL;
  }
  // Files are read directly: it needs nothing of the network stack and reports plain errors.
  LPOLESTR display = nullptr;
  if (SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &display)) && display) {
    const std::wstring resolved = display;
    CoTaskMemFree(display);
    if (IsFileUrl(resolved)) return ReadFileUrl(resolved, bytes);
  }
  ComPtr<IStream> stream;
  const HRESULT hr = bindHost->MonikerBindToStorage(moniker.Get(), context.Get(), nullptr,
                                                    IID_IStream,
                                                    reinterpret_cast<void**>(stream.GetAddressOf()));
  if (FAILED(hr) || !stream) return FAILED(hr) ? hr : E_FAIL;
  return ReadStream(stream.Get(), bytes);
}

}  // namespace

HRESULT ReadMovieFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return HRESULT_FROM_WIN32(GetLastError());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return HRESULT_FROM_WIN32(GetLastError());
  if (size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > control::kMaxMovieFileBytes) {
    return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      return HRESULT_FROM_WIN32(GetLastError());
    }
    if (got == 0) break;  // the file shrank meanwhile: play what is there
    done += got;
  }
  bytes.resize(done);
  return S_OK;
}

HRESULT FetchForMovie(IUnknown* site, const std::wstring& movieFolder, const std::wstring& name,
                      std::vector<uint8_t>& bytes) {
  if (name.empty() || name.size() >= 2048) return E_INVALIDARG;
  if (site) {
    const HRESULT hr = FetchThroughBindHost(site, name, bytes);
    if (hr != E_NOINTERFACE) return hr;
  }
  if (IsFileUrl(name)) return ReadFileUrl(name, bytes);
  if (name.find(L"://") != std::wstring::npos) return INET_E_UNKNOWN_PROTOCOL;
  std::wstring path = name;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (PathIsRelativeW(path.c_str())) path = movieFolder + path;
  if (path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  return ReadMovieFile(path, bytes);
}

}  // namespace brim
