// A batch of new cubes added on several threads. The terms' slots follow
// from their order, as AddCube would give them when each cube makes a term,
// so the index entries, the terms and the lists may be written apart: the
// entries table by table of the index, the terms in ranges, each output's lists
// (and the list of all terms) by one thread, in order.
#include "graph/cube_batch.hpp"

#include <algorithm>
#include <string_view>

#include "common/bit_count.hpp"

namespace tavro {
namespace {

// Terms built by one unit: enough that a unit outweighs taking it, few
// enough that the units of a batch of a few thousand cubes share out.
constexpr size_t kTermsPerUnit = 1024;
// Cubes ahead of the one being entered whose index memory is fetched early.
constexpr size_t kCubesAhead = 4;

}  // namespace

bool CubeBatchAdder::Begin(const CubeBatch& batch) {
  if (!graph_.freeSlots.empty() || batch.end <= batch.first) return false;
  batch_ = batch;
  count_ = batch.end - batch.first;
  inputs_ = static_cast<size_t>(graph_.inputCount);
  outputs_ = static_cast<size_t>(graph_.outputCount);
  words_ = packing::InputWords(inputs_);
  codeWords_ = packing::OutputWords(outputs_);
  base_ = static_cast<uint32_t>(graph_.termPool.size());
  serial_ = graph_.nextSerial;
  graph_.termPool.ReserveSlots(count_);
  heldAt_.store(batch.end, std::memory_order_relaxed);
  return true;
}

// A slot below the batch's holds a term of the graph; one from it on, the
// planes of the batch's cube that will take it.
const uint64_t* CubeBatchAdder::PlanesOfSlot(const void* adder, uint32_t slot, PlaneBuffer& buffer) {
  const CubeBatchAdder& self = *static_cast<const CubeBatchAdder*>(adder);
  if (slot >= self.base_) return self.batch_.planes + (self.batch_.first + slot - self.base_) * 2 * self.words_;
  return PlanesOf(self.graph_.termPool[slot], buffer);
}

void CubeBatchAdder::EnterPart(size_t part) {
  InputPartIndex& index = graph_.termByInputs;
  // The part's cubes are listed in order, so the batch's are a run of them.
  const uint32_t* listed = batch_.byPart + batch_.partStart[part];
  const uint32_t* listedEnd = batch_.byPart + batch_.partStart[part + 1];
  const uint32_t* first = std::lower_bound(listed, listedEnd, batch_.first);
  const size_t count = static_cast<size_t>(std::lower_bound(first, listedEnd, batch_.end) - first);
  for (size_t i = 0; i < std::min(count, kCubesAhead); ++i) PrefetchInIndex(index, batch_.hashes[first[i]]);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t k = first[i];
    size_t heldAt = heldAt_.load(std::memory_order_relaxed);
    if (k >= heldAt) return;
    if (i + kCubesAhead < count) PrefetchInIndex(index, batch_.hashes[first[i + kCubesAhead]]);
    const uint64_t hash = batch_.hashes[k];
    if (FindSlotInIndex(index, batch_.planes + k * 2 * words_, words_, hash, PlanesOfSlot, this) != kNoSlot) {
      while (k < heldAt && !heldAt_.compare_exchange_weak(heldAt, k, std::memory_order_relaxed)) {
      }
      return;
    }
    InsertIntoIndex(index, hash, SlotOf(k));
  }
}

// Entries are taken out only where they stand: a part stops entering its
// cubes at the first held one it meets, or at one after a held cube.
void CubeBatchAdder::UndoFrom(size_t cube) {
  for (size_t k = cube; k < batch_.end; ++k) EraseSlotFromIndex(graph_.termByInputs, batch_.hashes[k], SlotOf(k));
}

size_t CubeBatchAdder::Trim() {
  const size_t end = heldAt_.load(std::memory_order_relaxed);
  UndoFrom(end);
  batch_.end = end;
  count_ = end - batch_.first;
  listUnits_ = count_ == 0 ? 0 : outputs_ + 1;
  termUnits_ = (count_ + kTermsPerUnit - 1) / kTermsPerUnit;
  dashCounts_.resize(std::max(dashCounts_.size(), termUnits_));
  return end;
}

void CubeBatchAdder::Build(size_t unit) {
  if (unit < listUnits_) {
    FillLists(unit);
  } else {
    BuildTerms(unit - listUnits_);
  }
}

// The lists of one output, or for `list` == outputs the list of all terms,
// as AddCube fills them for new terms.
void CubeBatchAdder::FillLists(size_t list) {
  if (list == outputs_) {
    for (size_t k = batch_.first; k < batch_.end; ++k) graph_.terms.AppendSlot(SlotOf(k));
    return;
  }
  OutputTermLists& lists = graph_.outputLists[list];
  const uint64_t* codes = batch_.outputCodes + list / 32;
  const size_t shift = 2 * (list % 32);
  for (size_t k = batch_.first; k < batch_.end; ++k) {
    const char c = packing::kOutputChar[codes[k * codeWords_] >> shift & 3];
    if (c == '1') {
      lists.onTerms.AppendSlot(SlotOf(k));
      int32_t literals = 0;
      const uint64_t* planes = batch_.planes + k * 2 * words_;
      for (size_t w = 0; w < words_; ++w) literals += PopCount(planes[w]);
      lists.AddOnShare(ShareOfLiterals(literals));
    } else if (c == '0') {
      lists.offTerms.AppendSlot(SlotOf(k));
    } else if (c == '-') {
      lists.dcTerms.AppendSlot(SlotOf(k));
    } else {
      ++lists.unspecifiedCount;
    }
  }
}

void CubeBatchAdder::BuildTerms(size_t unit) {
  std::vector<int32_t>& dashes = dashCounts_[unit];
  dashes.assign(inputs_ + 1, 0);
  const size_t stride = inputs_ + outputs_;
  const size_t end = std::min(batch_.end, batch_.first + (unit + 1) * kTermsPerUnit);
  for (size_t k = batch_.first + unit * kTermsPerUnit; k < end; ++k) {
    Term& term = graph_.termPool.BuildAt(SlotOf(k));
    const char* chars = batch_.chars + k * stride;
    term.Assign(std::string_view(chars, inputs_), std::string_view(chars + inputs_, outputs_),
                batch_.planes + k * 2 * words_, batch_.outputCodes + k * codeWords_);
    term.serial = serial_ + (k - batch_.first);
    ++dashes[static_cast<size_t>(term.dashCount())];
  }
}

void CubeBatchAdder::End() {
  graph_.termPool.TakeSlots(count_);
  graph_.termCount += static_cast<int32_t>(count_);
  graph_.nextSerial += count_;
  std::vector<int32_t>& byDash = graph_.termsByDash;
  for (size_t u = 0; u < termUnits_; ++u) {
    for (size_t d = 0; d <= inputs_; ++d) {
      if (dashCounts_[u][d] == 0) continue;
      if (d >= byDash.size()) byDash.resize(d + 1, 0);
      byDash[d] += dashCounts_[u][d];
    }
  }
}

}  // namespace tavro
