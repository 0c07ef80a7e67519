// Self-registration: the keys a container needs to create the player class by its class id,
// pointing at this very file. Containers create the control by class id only, so we register no
// programmatic names: those belong to the vendor's own control.
#include <windows.h>

#include <olectl.h>

#include <cstdio>

#include "base/bounded_text.h"
#include "base/registry_view.h"
#include "control/flash_interfaces.h"
#include "player/control/flash_control.h"
#include "player/control/module.h"

namespace brim {
namespace {

constexpr const char* kClassName = "Brimloft player control";

// "parent\child", for the few fixed keys we write.
class KeyPath {
 public:
  KeyPath(const char* parent, const char* child) {
    std::snprintf(text_, sizeof text_, "%s\\%s", parent, child);
  }
  const char* get() const { return text_; }

 private:
  char text_[160];
};

const KeyPath kClassKey("CLSID", kShockwaveFlashClassText);

bool SetValue(const char* key, const char* name, const char* value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | kOwnRegistryView, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 static_cast<DWORD>(strnlen(value, kPathCapacity) + 1));
  RegCloseKey(handle);
  return rc == ERROR_SUCCESS;
}

// The default value of HKCR\`key`, or false when there is none (or it does not fit).
bool ReadDefault(const char* key, char (&out)[kPathCapacity]) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE | kOwnRegistryView, &handle) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0, size = sizeof out - 1;
  const LONG rc =
      RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  out[size < sizeof out ? size : sizeof out - 1] = '\0';
  return true;
}

// Deletes a key and everything under it; the keys we write are only a few levels deep.
bool DeleteTree(HKEY parent, const char* name, int depth = 0) {
  if (depth > 8) return false;
  HKEY handle = nullptr;
  const LONG open =
      RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE | kOwnRegistryView, &handle);
  if (open == ERROR_FILE_NOT_FOUND) return true;
  if (open != ERROR_SUCCESS) return false;
  char child[256];
  bool ok = true;
  for (;;) {
    DWORD length = sizeof child;
    if (RegEnumKeyExA(handle, 0, child, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (!DeleteTree(handle, child, depth + 1)) {
      ok = false;
      break;
    }
  }
  RegCloseKey(handle);
  // RegDeleteKeyA works in the caller's default view, which is its own; RegDeleteKeyExA would
  // say so explicitly but does not exist on the oldest systems we load on.
  return ok && RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

bool ModulePath(char (&path)[kPathCapacity]) {
  const DWORD n = GetModuleFileNameA(ModuleInstance(), path, kPathCapacity);
  return n > 0 && n < kPathCapacity;
}

}  // namespace
}  // namespace brim

STDAPI DllRegisterServer() {
  using namespace brim;
  char path[kPathCapacity];
  if (!ModulePath(path)) return SELFREG_E_CLASS;
  char misc[16];
  std::snprintf(misc, sizeof misc, "%lu", static_cast<unsigned long>(FlashControl::kMiscStatus));
  const char* clsid = kClassKey.get();
  const bool ok = SetValue(clsid, nullptr, kClassName) &&
                  SetValue(KeyPath(clsid, "InprocServer32").get(), nullptr, path) &&
                  SetValue(KeyPath(clsid, "InprocServer32").get(), "ThreadingModel", "Apartment") &&
                  SetValue(KeyPath(clsid, "Control").get(), nullptr, "") &&
                  SetValue(KeyPath(clsid, "MiscStatus").get(), nullptr, "0") &&
                  SetValue(KeyPath(clsid, "MiscStatus\\1").get(), nullptr, misc);
  return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  using namespace brim;
  char path[kPathCapacity];
  if (!ModulePath(path)) return SELFREG_E_CLASS;
  char registered[kPathCapacity];
  // Another player control registered under the same class stays as it is.
  if (!ReadDefault(KeyPath(kClassKey.get(), "InprocServer32").get(), registered) ||
      lstrcmpiA(registered, path) != 0) {
    return S_OK;
  }
  return DeleteTree(HKEY_CLASSES_ROOT, kClassKey.get()) ? S_OK : SELFREG_E_CLASS;
}
