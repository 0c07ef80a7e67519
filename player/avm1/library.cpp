#include "player/avm1/library.h"

#include "player/avm1/bitmap_script.h"

namespace swf::avm1 {

void InstallLibrary(Interpreter& vm) {
  InstallXml(vm);
  InstallLoadVars(vm);
  InstallGeometry(vm);
  InstallBitmapData(vm);
  InstallClipColors(vm);
  InstallPlayerObjects(vm);
  InstallDate(vm);
  InstallSound(vm);
  InstallSharedObject(vm);
}

}  // namespace swf::avm1
