#pragma once
// The Windows clipboard's Unicode text, lent to the engine for cut, copy and paste in edit
// fields.
#include "player/host_services.h"

namespace brim {

class SystemClipboard : public swf::Clipboard {
 public:
  std::u32string Text() override;
  void SetText(std::u32string_view text) override;
};

}  // namespace brim
