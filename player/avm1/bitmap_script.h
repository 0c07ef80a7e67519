#pragma once
// flash.display.BitmapData for scripts, and the clip methods that show bitmaps.
#include <memory>

#include "player/avm1/interpreter.h"

namespace swf {
class BitmapData;
}

namespace swf::avm1 {

// flash.display.BitmapData on _global.flash (after flash.geom).
void InstallBitmapData(Interpreter& vm);
// draw, loadBitmap, applyFilter and generateFilterRect, and MovieClip.attachBitmap: the parts
// that reach into the display list.
void InstallBitmapDrawing(Interpreter& vm, Object* proto, Object* ctor);
// The pixels of a live BitmapData, or null.
std::shared_ptr<BitmapData> BitmapOf(const Value& v);
// A new BitmapData object around `pixels` (undefined when null or the heap is full).
Value NewBitmapObject(Interpreter& vm, std::shared_ptr<BitmapData> pixels);

}  // namespace swf::avm1
