// The storage of a graph's terms by slot.
#include "graph/term_pool.hpp"

#include <algorithm>
#include <memory>
#include <new>

#include "common/huge_pages.hpp"

namespace tavro {
namespace {

// The first chunk stays in small pages, so that a small graph costs what it
// fills of it; the others ask for huge pages: a large graph then faults its
// terms in 2 MiB at a time rather than 4 KiB (a fault costs far more than
// filling the page on some virtual machines).
uint64_t* AllocateChunk(size_t index, size_t words) {
  return index == 0 ? std::allocator<uint64_t>().allocate(words) : HugePageAllocator<uint64_t>().allocate(words);
}

void FreeChunk(size_t index, uint64_t* chunk, size_t words) {
  if (index == 0) {
    std::allocator<uint64_t>().deallocate(chunk, words);
  } else {
    HugePageAllocator<uint64_t>().deallocate(chunk, words);
  }
}

}  // namespace

TermPool::~TermPool() {
  for (size_t slot = 0; slot < size_; ++slot) (*this)[slot].~Term();
  for (size_t c = 0; c < chunks_.size(); ++c) FreeChunk(c, chunks_[c], ChunkWords());
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
// first chunk.
Term& TermPool::Grow() {
  ReserveSlots(1);
  Term& term = BuildAt(size_);
  ++size_;
  return term;
}

void TermPool::ReserveSlots(size_t count) {
  while ((size_ + count + chunkMask_) >> chunkBits_ > chunks_.size()) {
    if (chunks_.size() == chunks_.capacity()) throw std::bad_alloc();
    chunks_.push_back(AllocateChunk(chunks_.size(), ChunkWords()));
  }
}

Term& TermPool::BuildAt(size_t slot) {
  Term* term = new (At(slot)) Term();
  term->slot = static_cast<int32_t>(slot);
  return *term;
}

}  // namespace tavro
