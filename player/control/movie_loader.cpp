#include "player/control/movie_loader.h"

#include <objbase.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <algorithm>
#include <optional>

#include "base/handles.h"
#include "player/control/control_core.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;

bool IsFileUrl(const std::wstring& name) {
  return name.size() > 5 && CompareStringOrdinal(name.c_str(), 5, L"file:", 5, TRUE) == CSTR_EQUAL;
}

HRESULT ReadFileUrl(const std::wstring& url, std::vector<uint8_t>& bytes) {
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (FAILED(PathCreateFromUrlW(url.c_str(), path, &length, 0))) return E_INVALIDARG;
  return ReadMovieFile(path, bytes);
}

ComPtr<IBindHost> BindHostOf(IUnknown* site) {
  ComPtr<IServiceProvider> services;
  ComPtr<IBindHost> bindHost;
  if (!site ||
      FAILED(site->QueryInterface(IID_IServiceProvider,
                                  reinterpret_cast<void**>(services.GetAddressOf()))) ||
      FAILED(services->QueryService(IID_IBindHost, IID_IBindHost,
                                    reinterpret_cast<void**>(bindHost.GetAddressOf())))) {
    return nullptr;
  }
  return bindHost;
}

// The name as the container resolves it (a URL), or nothing when it has no bind host.
std::optional<std::wstring> ResolveThroughBindHost(IUnknown* site, const std::wstring& name) {
  const ComPtr<IBindHost> bindHost = BindHostOf(site);
  if (!bindHost) return std::nullopt;
  ComPtr<IBindCtx> context;
  ComPtr<IMoniker> moniker;
  std::wstring text = name;
  LPOLESTR display = nullptr;
  if (FAILED(CreateBindCtx(0, context.GetAddressOf())) ||
      FAILED(bindHost->CreateMoniker(text.data(), context.Get(), moniker.GetAddressOf(), 0)) ||
      !moniker || FAILED(moniker->GetDisplayName(context.Get(), nullptr, &display)) || !display) {
    return std::wstring();
  }
  std::wstring resolved = display;
  CoTaskMemFree(display);
  return resolved;
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

void IntroduceToBindHost(IUnknown* site, const std::wstring& movieName) {
  ResolveThroughBindHost(site, movieName);
}

HRESULT FetchForMovie(IUnknown* site, const std::wstring& movieFolder, const std::wstring& name,
                      std::vector<uint8_t>& bytes) {
  if (name.empty() || name.size() >= 2048) return E_INVALIDARG;
  std::wstring path = name;
  if (const std::optional<std::wstring> resolved = ResolveThroughBindHost(site, name)) {
    path = *resolved;
  }
  // Only files are fetched: a network address would hold the movie (and its window) up while
  // it answers.
  if (IsFileUrl(path)) return ReadFileUrl(path, bytes);
  if (path.find(L':') != std::wstring::npos && path.find(L"://") != std::wstring::npos) {
    return INET_E_UNKNOWN_PROTOCOL;
  }
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (PathIsRelativeW(path.c_str())) path = movieFolder + path;
  if (path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  return ReadMovieFile(path, bytes);
}

}  // namespace brim
