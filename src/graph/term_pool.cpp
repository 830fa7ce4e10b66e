// The storage of a graph's terms by slot.
#include "graph/term_pool.hpp"

#include <algorithm>
#include <memory>
#include <new>

#include "common/huge_pages.hpp"

namespace tavro {

TermPool::~TermPool() {
  for (size_t slot = 0; slot < size_; ++slot) (*this)[slot].~Term();
  const size_t words = (chunkMask_ + 1) * slotWords_;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    if (c == 0) {
      std::allocator<uint64_t>().deallocate(chunks_[c], words);
    } else {
      HugePageAllocator<uint64_t>().deallocate(chunks_[c], words);
    }
  }
}

void TermPool::SetShape(size_t inputs, size_t outputs) {
  inputs_ = static_cast<uint32_t>(inputs);
  outputs_ = static_cast<uint32_t>(outputs);
  const size_t slotBytes = Term::SlotBytes(inputs, outputs);
  slotWords_ = slotBytes / 8;
  chunkBits_ = 18;
  while (chunkBits_ > 0 && (slotBytes << chunkBits_) > (size_t{16} << 20)) --chunkBits_;
  chunkMask_ = (size_t{1} << chunkBits_) - 1;
  // The table of chunks never moves once shaped, so that threads that read
  // terms may run while another adds some: it has room for every slot a
  // term can have (2^31), within 1 TiB of terms.
  const size_t chunkBytes = slotBytes << chunkBits_;
  chunks_.reserve(std::min((size_t{1} << 31) >> chunkBits_, (size_t{1} << 40) / chunkBytes) + 1);
}

// Chunks are taken raw and their terms built one by one: memory that no term
// has reached is only reserved, so a small graph costs what it fills of its
// first chunk. The chunks after the first ask for huge pages: a large graph
// then faults its terms in 2 MiB at a time rather than 4 KiB (a fault costs
// far more than filling the page on some virtual machines), while a small
// one stays within small pages.
Term& TermPool::Grow() {
  if ((size_ & chunkMask_) == 0) {
    if (chunks_.size() == chunks_.capacity()) throw std::bad_alloc();
    const size_t words = (chunkMask_ + 1) * slotWords_;
    chunks_.push_back(chunks_.empty() ? std::allocator<uint64_t>().allocate(words)
                                      : HugePageAllocator<uint64_t>().allocate(words));
  }
  const size_t slot = size_;
  Term* term = new (At(slot)) Term();
  ++size_;
  term->slot = static_cast<int32_t>(slot);
  return *term;
}

}  // namespace tavro
