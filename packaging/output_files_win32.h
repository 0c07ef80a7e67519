#pragma once
// The projector's temporary file beside its destination, named like every temporary file of
// ours, and the final move over the destination.
#include "packaging/projector_builder.h"

namespace brim {

class Win32OutputFiles : public OutputFiles {
 public:
  std::optional<std::string> CreateTempBeside(const std::string& destination) override;
  bool Replace(const std::string& temp, const std::string& destination) override;
};

}  // namespace brim
