// The arena of whole list segments.
#include "graph/slot_sequence.hpp"

#include "common/huge_pages.hpp"

namespace tavro {
namespace {

constexpr size_t kBlockEntries = SegmentArena::kSegment * SegmentArena::kSegmentsPerBlock;

}  // namespace

SegmentArena::~SegmentArena() {
  for (uint32_t* block : blocks_) HugePageAllocator<uint32_t>().deallocate(block, kBlockEntries);
}

uint32_t* SegmentArena::Take() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!free_.empty()) {
    uint32_t* segment = free_.back();
    free_.pop_back();
    return segment;
  }
  if (cut_ == kSegmentsPerBlock) {
    // Room for the block's entry first, so that a failure leaks nothing.
    blocks_.reserve(blocks_.size() + 1);
    free_.reserve((blocks_.size() + 1) * kSegmentsPerBlock);
    blocks_.push_back(HugePageAllocator<uint32_t>().allocate(kBlockEntries));
    cut_ = 0;
  }
  return blocks_.back() + kSegment * cut_++;
}

void SegmentArena::Give(uint32_t* segment) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // Room was reserved for every segment of every block when it was cut.
  free_.push_back(segment);
}

}  // namespace tavro
