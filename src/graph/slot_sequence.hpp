// The entries of a term list: 32-bit slots in order of appending, held in
// segments of a fixed size instead of one growing array. A list of millions
// of entries then never has twice its size reserved (an array that doubles
// keeps about a third of its memory unused, and holds old and new copies at
// once while it moves), and appending never moves the entries already there.
// The first segment starts small and doubles up to the fixed size, so that
// the many short lists of a file of many outputs stay short in memory too.
// The whole segments after it come from the graph's SegmentArena, when the
// sequence has one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tavro {

/// Whole segments for the long lists of one graph, cut from blocks of 2 MiB
/// that ask for huge pages: the lists of a large file then fault their
/// memory in a block at a time rather than 4 KiB at a time. Only the last
/// block is ever partly cut, so the lists together leave less than a block
/// unused; a segment given back waits for the next list that grows. Lists
/// may grow on several threads.
class SegmentArena {
 public:
  static constexpr size_t kSegmentLog = 14;
  static constexpr size_t kSegment = size_t{1} << kSegmentLog;  // entries, 64 KiB
  static constexpr size_t kSegmentsPerBlock = 32;

  SegmentArena() = default;
  SegmentArena(const SegmentArena&) = delete;
  SegmentArena& operator=(const SegmentArena&) = delete;
  ~SegmentArena();

  /// A segment of kSegment entries, not filled.
  uint32_t* Take();
  /// Gives back a segment that Take returned.
  void Give(uint32_t* segment);

 private:
  std::mutex mutex_;
  std::vector<uint32_t*> blocks_, free_;
  size_t cut_ = kSegmentsPerBlock;  // segments cut from the last block
};

/// Frees a segment to the arena it came from, or to the heap.
struct SegmentRelease {
  SegmentArena* arena = nullptr;
  void operator()(uint32_t* segment) const {
    if (arena != nullptr) {
      arena->Give(segment);
    } else {
      delete[] segment;
    }
  }
};

class SlotSequence {
 public:
  static constexpr size_t kSegmentLog = SegmentArena::kSegmentLog;
  static constexpr size_t kSegment = SegmentArena::kSegment;

  SlotSequence() = default;
  explicit SlotSequence(SegmentArena* arena) : arena_(arena) {}

  size_t size() const { return size_; }

  uint32_t& operator[](size_t i) { return segments_[i >> kSegmentLog][i & (kSegment - 1)]; }
  uint32_t operator[](size_t i) const { return segments_[i >> kSegmentLog][i & (kSegment - 1)]; }

  void push_back(uint32_t slot) {
    const size_t at = size_ & (kSegment - 1);
    if (at == 0 && size_ >> kSegmentLog == segments_.size()) {
      // A new segment: the first at its small start, later ones whole.
      if (segments_.empty()) {
        firstCapacity_ = kFirst;
        segments_.emplace_back(std::make_unique_for_overwrite<uint32_t[]>(kFirst).release());
      } else if (arena_ != nullptr) {
        segments_.emplace_back(arena_->Take(), SegmentRelease{arena_});
      } else {
        segments_.emplace_back(std::make_unique_for_overwrite<uint32_t[]>(kSegment).release());
      }
    } else if (size_ < kSegment && size_ == firstCapacity_) {
      GrowFirst();
    }
    segments_[size_ >> kSegmentLog][at] = slot;
    ++size_;
  }

  /// Keeps the first `n` entries and releases the segments past them.
  void Truncate(size_t n) {
    size_ = std::min(n, size_);
    segments_.resize((size_ + kSegment - 1) >> kSegmentLog);
    if (segments_.empty()) firstCapacity_ = 0;
  }

  /// Calls f(i, slot) for the entries from place `begin` on, segment by
  /// segment.
  template <typename F>
  void ForEachFrom(size_t begin, F&& f) const {
    for (size_t i = begin; i < size_;) {
      const uint32_t* segment = segments_[i >> kSegmentLog].get();
      const size_t end = std::min(size_, (i | (kSegment - 1)) + 1);
      for (size_t k = i & (kSegment - 1); i < end; ++i, ++k) f(i, segment[k]);
    }
  }

 private:
  static constexpr size_t kFirst = 8;

  // The first segment doubles while it is the only one and not yet whole.
  void GrowFirst() {
    const size_t capacity = std::min(kSegment, 2 * firstCapacity_);
    Segment grown(std::make_unique_for_overwrite<uint32_t[]>(capacity).release());
    std::copy_n(segments_[0].get(), size_, grown.get());
    segments_[0] = std::move(grown);
    firstCapacity_ = capacity;
  }

  using Segment = std::unique_ptr<uint32_t[], SegmentRelease>;
  SegmentArena* arena_ = nullptr;
  std::vector<Segment> segments_;
  size_t size_ = 0;
  size_t firstCapacity_ = 0;  // entries the first segment holds
};

}  // namespace tavro
