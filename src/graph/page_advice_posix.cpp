#include <sys/mman.h>

#include <cstdint>

#include "graph/page_advice.hpp"

namespace tavro {

void AdviseHugePages(void* address, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(address) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(address) + bytes) & ~(kHugePage - 1);
  // Refused advice (an old kernel, huge pages switched off) leaves the
  // block as it was, which is all the advice could change.
  if (begin < end) static_cast<void>(madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE));
#else
  static_cast<void>(address);
  static_cast<void>(bytes);
#endif
}

}  // namespace tavro
