#pragma once
// A value thrown by a script, on its way to a catch block (or to the end of the frame script).
#include "player/avm1/value.h"

namespace swf::avm1 {

struct ScriptException {
  Value value;
};

}  // namespace swf::avm1
