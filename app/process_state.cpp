#include "app/process_state.h"

namespace brim {

bool g_payloadPresent = false;
int g_speedLevel = 1;

}  // namespace brim
