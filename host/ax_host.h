#pragma once
// Our control-hosting container: the window class "AtlAxWin7" (and "AtlAxWinLic7"), the object
// behind each such window that is the control's site, and the registered messages through which
// the window hands out that object and the control. It does exactly what the projector needs
// of such a container: activate one control windowless, pass its invalidations, capture and
// focus requests on to the window, forward input to it, and route its service requests to the
// site given through IObjectWithSite.
#include <windows.h>

namespace brim {

constexpr const char* kAxHostClass = "AtlAxWin7";
constexpr const char* kAxHostLicClass = "AtlAxWinLic7";

// Registers the two window classes and the messages "WM_ATLGETHOST" and "WM_ATLGETCONTROL".
bool RegisterAxHostClasses(HINSTANCE instance);
void UnregisterAxHostClasses(HINSTANCE instance);

UINT AxGetHostMessage();     // "WM_ATLGETHOST": the host object's IUnknown (no reference added)
UINT AxGetControlMessage();  // "WM_ATLGETCONTROL": the control's IUnknown (no reference added)

}  // namespace brim
