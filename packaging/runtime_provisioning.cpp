#include "packaging/runtime_provisioning.h"

#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/handles.h"
#include "base/registry_view.h"
#include "base/show_message.h"
#include "base/temp_file.h"
#include "control/flash_interfaces.h"
#include "packaging/pe_machine.h"
#include "packaging/runtime_core.h"
#include "resources/resource_ids.h"

namespace brim {

HMODULE g_flashModule = nullptr;
char g_runtimeTempPath[kPathCapacity] = {};

namespace {

class Win32ClassesRoot : public ClassesRootReader {
 public:
  bool KeyExists(const std::string& key) override {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | kOwnRegistryView, &handle) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(handle);
    return true;
  }
  std::optional<std::string> DefaultValue(const std::string& key) override {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | kOwnRegistryView, &handle) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    char value[kPathCapacity] = {};
    DWORD size = sizeof value - 1;  // room for a terminator the registry may not have stored
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return std::string(value);
  }
};

// Linkers put the PE headers within the first few hundred bytes; this much always holds them.
constexpr size_t kModuleHeadBytes = 64 * 1024;

// Whether the module file at `path` is built for this program's processor. A file that cannot
// be read is left to the loader to judge.
bool FileFitsThisProgram(const char* path) {
  UniqueStdFile file(std::fopen(path, "rb"));
  if (!file) return true;
  FileByteSource source(file.get());
  return IsOwnMachine(source);
}

bool PackedRuntimeFitsThisProgram(const PayloadReader& payload) {
  UniqueStdFile file(std::fopen(payload.SourcePath(), "rb"));
  if (!file) return false;
  const PayloadInfo& info = payload.Info();
  std::vector<uint8_t> head = InflateRuntimeHead(file.get(), info.runtimeOffset,
                                                 info.runtimeCompressedSize, kModuleHeadBytes);
  MemoryByteSource source(head);
  return IsOwnMachine(source);
}

bool IsPlainFileName(const char* name) {
  if (!name[0] || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  return std::strpbrk(name, "\\/:") == nullptr;
}

}  // namespace

bool FindRegisteredControl(const char* classText, char (&path)[kPathCapacity]) {
  Win32ClassesRoot registry;
  auto found = FindRegisteredServer(registry, classText);
  if (!found) return false;
  CopyText(path, found->c_str());
  return true;
}

bool QueryFileVersion(const char* path, DWORD& versionMS, DWORD& versionLS) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (!block || !GetFileVersionInfoA(path, 0, size, block.get())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.get(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  versionMS = info->dwFileVersionMS;
  versionLS = info->dwFileVersionLS;
  return true;
}

int InstallRuntime(const PayloadReader& payload) {
  if (!payload.Loaded()) return 0;
  DWORD installedMS = 0, installedLS = 0;
  char registered[kPathCapacity];
  if (!FindRegisteredControl(kShockwaveFlashClassText, registered) ||
      !QueryFileVersion(registered, installedMS, installedLS)) {
    installedMS = installedLS = 0;
  }
  const PayloadInfo& info = payload.Info();
  if (InstalledIsNewer(installedMS, installedLS, info.flashVersionMS, info.flashVersionLS)) {
    return 1;
  }
  // A control of the other bitness could never be loaded here; installing it would only put a
  // useless file where this machine's control belongs.
  if (!PackedRuntimeFitsThisProgram(payload)) return 0;
  // The name is one file name behind its backslash, never a path out of the folder.
  const char* name = info.runtimeName;
  if (name[0] != '\\' || !IsPlainFileName(name + 1)) return 0;
  char folder[kPathCapacity] = {};
  const UINT n = GetSystemDirectoryA(folder, sizeof folder);
  char destination[kPathCapacity] = {};
  if (n == 0 || n >= sizeof folder || !AppendText(folder, "\\Macromed\\Flash")) return 0;
  CopyText(destination, folder);
  if (!AppendText(destination, name)) return 0;
  // Unpacked beside its place under a name of its own, then moved there in one step: projectors
  // started together never write into the same file, nor into one another is loading.
  char staging[kPathCapacity];
  if (!MakeTempFileNameIn(folder, staging)) return 0;
  if (ExtractRuntime(payload, staging) != 0 ||
      !MoveFileExA(staging, destination, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(staging);
    return 0;
  }
  UniqueModule module(LoadLibraryA(destination));
  if (!module) return 0;
  using RegisterFn = HRESULT(STDAPICALLTYPE*)();
  auto reg = reinterpret_cast<RegisterFn>(
      reinterpret_cast<void*>(GetProcAddress(module.get(), "DllRegisterServer")));
  return reg && SUCCEEDED(reg()) ? 1 : 0;
}

int ExtractRuntime(const PayloadReader& payload, const char* destination) {
  if (!payload.Loaded()) return 0;
  UniqueStdFile out(std::fopen(destination, "wb"));
  if (!out) return 1;
  UniqueStdFile in(std::fopen(payload.SourcePath(), "rb"));
  if (in) {
    InflateRuntime(in.get(), payload.Info().runtimeOffset, payload.Info().runtimeCompressedSize,
                   out.get());
  }
  return 0;
}

HRESULT CreateFlashControl(const PayloadReader& payload, IUnknown** control) {
  if (!control) return E_POINTER;
  *control = nullptr;
  if (!payload.Loaded()) {
    Win32ClassesRoot registry;
    const auto server = registry.DefaultValue(std::string("CLSID\\") + kShockwaveFlashClassText +
                                              "\\InprocServer32");
    if (server && !FileFitsThisProgram(StripQuotes(*server).c_str())) return E_FAIL;
    return CoCreateInstance(CLSID_ShockwaveFlash, nullptr,
                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                            IID_IUnknown, reinterpret_cast<void**>(control));
  }
  if (!MakeTempFileName(g_runtimeTempPath) || ExtractRuntime(payload, g_runtimeTempPath) != 0) {
    ShowMessage(IDS_TEMP_CREATE_FAILED, nullptr);
    return E_FAIL;
  }
  if (!FileFitsThisProgram(g_runtimeTempPath)) return E_FAIL;
  g_flashModule = LoadLibraryA(g_runtimeTempPath);
  if (!g_flashModule) return E_FAIL;
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(g_flashModule, "DllGetClassObject")));
  if (!getClassObject) return E_FAIL;
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  if (FAILED(getClassObject(CLSID_ShockwaveFlash, IID_IClassFactory,
                            reinterpret_cast<void**>(factory.GetAddressOf()))) ||
      !factory) {
    return E_FAIL;
  }
  return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control));
}

void ReleaseRuntime() {
  if (g_flashModule) {
    // A module that says it still has objects alive stays loaded (and its file stays) rather
    // than have its code pulled from under them.
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(g_flashModule, "DllCanUnloadNow")));
    if (canUnload && canUnload() != S_OK) return;
    FreeLibrary(g_flashModule);
    g_flashModule = nullptr;
  }
  if (g_runtimeTempPath[0]) {
    DeleteFileA(g_runtimeTempPath);
    g_runtimeTempPath[0] = '\0';
  }
}

}  // namespace brim
