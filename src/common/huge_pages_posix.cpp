// Huge pages on POSIX systems: a hint through madvise where the system has it.
#include <sys/mman.h>

#include "common/huge_pages.hpp"

namespace tavro {

void AdviseHugePages(void* address, size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(address, bytes, MADV_HUGEPAGE);
#else
  static_cast<void>(address);
  static_cast<void>(bytes);
#endif
}

}  // namespace tavro
