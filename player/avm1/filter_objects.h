#pragma once
// flash.filters as scripts see it, and the crossing between a script's filter object and the
// engine's description of a filter (for a clip's `filters` and BitmapData.applyFilter).
#include "player/avm1/interpreter.h"
#include "player/effects.h"

namespace swf::avm1 {

// The classes under flash.filters (after flash.geom, whose Point a displacement map hands out).
void InstallFilters(Interpreter& vm);

// What the filter object `v` describes, each property as the script last left it. False when
// `v` is not a filter object, or is one the engine does not draw (a displacement map, the bare
// BitmapFilter).
bool FilterFromObject(Interpreter& vm, const Value& v, Filter& out);

// A new filter object of the class `f` belongs to, describing it; undefined when the heap is
// full. Each call makes a new object, so that a script changing it changes nothing else.
Value FilterToObject(Interpreter& vm, const Filter& f);

}  // namespace swf::avm1
