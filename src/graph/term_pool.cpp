// The storage of a graph's terms by slot.
#include "graph/term_pool.hpp"

#include <algorithm>
#include <memory>
#include <new>

namespace tavro {

TermPool::~TermPool() {
  for (size_t slot = 0; slot < size_; ++slot) (*this)[slot].~Term();
  for (uint64_t* chunk : chunks_) std::allocator<uint64_t>().deallocate(chunk, (chunkMask_ + 1) * slotWords_);
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
// first chunk. They are written in slot order, so small pages serve them as
// well as huge ones (which were slower in a trial).
Term& TermPool::Grow() {
  if ((size_ & chunkMask_) == 0) {
    if (chunks_.size() == chunks_.capacity()) throw std::bad_alloc();
    chunks_.push_back(std::allocator<uint64_t>().allocate((chunkMask_ + 1) * slotWords_));
  }
  const size_t slot = size_;
  Term* term = new (At(slot)) Term();
  ++size_;
  term->slot = static_cast<int32_t>(slot);
  return *term;
}

}  // namespace tavro
