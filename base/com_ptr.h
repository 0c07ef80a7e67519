#pragma once
// Taking over a COM reference the caller already owns. MinGW's ComPtr::Attach adds a reference
// of its own (the platform's documented Attach does not), so a new object handed to Attach
// would never be freed; this is the one way we adopt a reference.
#include <wrl/client.h>

namespace brim {

template <typename T>
Microsoft::WRL::ComPtr<T> TakeOwnership(T* object) {
  Microsoft::WRL::ComPtr<T> held(object);  // adds one
  if (object) object->Release();           // and gives back the caller's
  return held;
}

}  // namespace brim
