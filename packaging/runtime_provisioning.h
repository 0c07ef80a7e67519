#pragma once
// Where the player control comes from: in projector mode the copy packed into our own file,
// unpacked to a private temporary file and loaded without registration (and installed for the
// whole system unless a newer one is registered); otherwise the control registered on the
// machine.
#include <windows.h>

#include "base/bounded_text.h"
#include "packaging/payload_reader.h"

namespace brim {

// The loaded private copy of the control, and the temporary file it was unpacked to.
extern HMODULE g_flashModule;
extern char g_runtimeTempPath[kPathCapacity];

// The server path registered for `classText` ("LocalServer32" first), quotes removed.
bool FindRegisteredControl(const char* classText, char (&path)[kPathCapacity]);
// The file version of a module; false when it has none.
bool QueryFileVersion(const char* path, DWORD& versionMS, DWORD& versionLS);

// 1 when the packed control was installed and registered, or the registered one is newer.
int InstallRuntime(const PayloadReader& payload);
// Unpacks the packed control to `destination`: 0 on success, nonzero when it cannot be created.
int ExtractRuntime(const PayloadReader& payload, const char* destination);
// The control object: the private copy in projector mode, the registered class otherwise.
HRESULT CreateFlashControl(const PayloadReader& payload, IUnknown** control);
// Frees the private copy of the control and deletes its file; call after every object of the
// control is released and COM is uninitialised.
void ReleaseRuntime();

}  // namespace brim
