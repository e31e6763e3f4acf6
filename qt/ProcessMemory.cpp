#include "qt/ProcessMemory.h"

#include <cstdlib>  // defines __GLIBC__ on the C library that has mallopt
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void UseOneHeapForAllThreads() {
#if defined(__GLIBC__) && defined(M_ARENA_MAX)
  mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace platform
