// Huge pages on Windows need a privilege most users lack; the hint is not
// given.
#include "common/huge_pages.hpp"

namespace tavro {

void AdviseHugePages(void* address, size_t bytes) {
  static_cast<void>(address);
  static_cast<void>(bytes);
}

}  // namespace tavro
