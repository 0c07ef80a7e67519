#include "player/avm1/library.h"

namespace swf::avm1 {

void InstallLibrary(Interpreter& vm) {
  InstallXml(vm);
  InstallLoadVars(vm);
  InstallMovieClipLoader(vm);
  InstallGeometry(vm);
  InstallClipColors(vm);
  InstallPlayerObjects(vm);
  InstallDate(vm);
  InstallSound(vm);
  InstallSharedObject(vm);
  InstallNativeTable(vm);
}

}  // namespace swf::avm1
