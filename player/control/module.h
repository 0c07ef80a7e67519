#pragma once
// What the whole in-process server shares: its module handle and the counts that tell the
// host when the DLL may be unloaded.
#include <windows.h>

namespace brim {

HINSTANCE ModuleInstance();

// Every COM object whose code lives in this DLL counts itself while it exists.
void ObjectCreated();
void ObjectDestroyed();

}  // namespace brim
