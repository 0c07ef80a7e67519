#pragma once
// The Win32 side of building a projector and editing resources: temporary files named like
// every temporary file of ours, the final move, ANSI names, and resource edits that report
// their failure through the thread's last-error value as the platform's own calls do.
#include <windows.h>

#include "packaging/projector_builder.h"
#include "packaging/resource_updater.h"

namespace brim {

class Win32OutputFiles : public OutputFiles {
 public:
  std::optional<std::string> CreateTempBeside(const std::string& destination) override;
  bool Replace(const std::string& temp, const std::string& destination) override;
};

// The packed control's stored name: the path from its last backslash on, found without
// mistaking the second byte of a double-byte character for one. Empty when there is none.
std::string AnsiRuntimeName(const char* path);

// The last-error value that stands for `status`.
DWORD ResourceStatusError(ResourceStatus status);

// Begin, update and end of a resource edit of a file, as the platform's calls go: a context
// or null, and false with the reason in the last-error value.
ResourceFileUpdate* BeginResourceEdit(const char* path, bool discardExisting);
// `type` and `name` are numbers below 0x10000 (MAKEINTRESOURCE) or ANSI strings; no data
// deletes.
bool UpdateResourceEntry(ResourceFileUpdate* edit, const char* type, const char* name,
                         WORD language, const void* data, DWORD size);
// Writes the edit unless `discard`, and frees the context either way.
bool EndResourceEdit(ResourceFileUpdate* edit, bool discard);

}  // namespace brim
