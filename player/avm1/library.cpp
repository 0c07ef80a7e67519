#include "player/avm1/library.h"

#include "player/avm1/bitmap_script.h"
#include "player/avm1/filter_objects.h"

namespace swf::avm1 {

void InstallLibrary(Interpreter& vm) {
  InstallXml(vm);
  InstallLoadVars(vm);
  InstallMovieClipLoader(vm);
  InstallGeometry(vm);
  InstallFilters(vm);
  InstallBitmapData(vm);
  InstallClipColors(vm);
  InstallPlayerObjects(vm);
  InstallDate(vm);
  InstallSound(vm);
  InstallSharedObject(vm);
  InstallLocalConnection(vm);
  InstallNativeTable(vm);
}

}  // namespace swf::avm1
