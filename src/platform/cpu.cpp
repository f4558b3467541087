#include "platform/platform.h"

namespace dtconv::platform {

bool HasAvx2() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  // Also false when the system does not keep the 256-bit registers across task switches.
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

}  // namespace dtconv::platform
