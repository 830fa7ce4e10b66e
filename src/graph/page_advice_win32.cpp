#include "graph/page_advice.hpp"

namespace tavro {

// Large pages on Windows need a privilege that a user's process seldom has,
// and must be asked for when the memory is allocated: no advice is given.
void AdviseHugePages(void* address, size_t bytes) {
  static_cast<void>(address);
  static_cast<void>(bytes);
}

}  // namespace tavro
