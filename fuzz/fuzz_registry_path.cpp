// Registered server paths come from the registry, where anything may have been written.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "packaging/runtime_core.h"

namespace {

class FuzzRegistry : public brim::ClassesRootReader {
 public:
  std::map<std::string, std::optional<std::string>> keys;
  bool KeyExists(const std::string& key) override { return keys.count(key) != 0; }
  std::optional<std::string> DefaultValue(const std::string& key) override {
    auto it = keys.find(key);
    return it == keys.end() ? std::nullopt : it->second;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // First byte: which keys exist and which have values; the rest, split at the first NUL, the
  // two values.
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t split = rest.find('\0');
  const std::string local = rest.substr(0, split);
  const std::string inproc = split == std::string::npos ? std::string() : rest.substr(split + 1);
  const std::string cls = "{D27CDB6E-AE6D-11cf-96B8-444553540000}";
  FuzzRegistry registry;
  if (flags & 1)
    registry.keys["CLSID\\" + cls + "\\LocalServer32"] =
        (flags & 2) ? std::optional(local) : std::nullopt;
  if (flags & 4)
    registry.keys["CLSID\\" + cls + "\\InprocServer32"] =
        (flags & 8) ? std::optional(inproc) : std::nullopt;
  auto found = brim::FindRegisteredServer(registry, cls);
  if (found && found->size() > rest.size()) __builtin_trap();  // a path never grows
  return 0;
}
