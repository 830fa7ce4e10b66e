// The storage of a graph's terms by slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/term.hpp"

namespace tavro {

/// Storage of the terms by slot, in fixed chunks so that a term never moves;
/// each slot holds a term and its packed characters. A freed slot keeps its
/// term with empty inputs and outputs until it is reused.
class TermPool {
 public:
  TermPool() = default;
  TermPool(const TermPool&) = delete;
  TermPool& operator=(const TermPool&) = delete;
  ~TermPool();

  Term& operator[](size_t slot) { return *At(slot); }
  const Term& operator[](size_t slot) const { return *At(slot); }
  size_t size() const { return size_; }

  /// Sets the shape of the terms; only while the pool is empty. A chunk
  /// holds up to 2^18 slots but at most 16 MiB when slots are wide; its
  /// memory is written only as slots are taken, so that a few terms take
  /// memory in proportion to themselves rather than to a whole chunk.
  void SetShape(size_t inputs, size_t outputs);
  /// Constructs the term of the next slot, without characters.
  Term& Grow();

  /// A batch of slots built at once, on several threads: ReserveSlots makes
  /// room for the next `count` slots, BuildAt constructs the term of one of
  /// them (any thread, each slot once), and TakeSlots makes the first `count`
  /// of them part of the pool, built. Only ReserveSlots and TakeSlots change
  /// what other calls read, so threads that build terms or read the pool's
  /// terms may run between them.
  void ReserveSlots(size_t count);
  Term& BuildAt(size_t slot);
  void TakeSlots(size_t count) { size_ += count; }

 private:
  size_t ChunkWords() const { return (chunkMask_ + 1) * slotWords_; }
  Term* At(size_t slot) const {
    return reinterpret_cast<Term*>(chunks_[slot >> chunkBits_] + (slot & chunkMask_) * slotWords_);
  }

  size_t chunkBits_ = 12;
  size_t chunkMask_ = (size_t{1} << 12) - 1;
  std::vector<uint64_t*> chunks_;  // raw storage, terms built as slots are taken
  size_t size_ = 0;
  size_t slotWords_ = 0;
  uint32_t inputs_ = 0;
  uint32_t outputs_ = 0;
};

}  // namespace tavro
