// Memory for large arrays that are read at random places: each is placed on
// 2 MiB boundaries and the system is asked to back it with huge pages, so
// that a random read misses the address translation cache far less often.
#pragma once

#include <cstddef>
#include <new>

namespace tavro {

/// Asks the system to back [address, address + bytes) with huge pages; a
/// hint that may be ignored.
void AdviseHugePages(void* address, size_t bytes);

/// An allocator that gives arrays of at least kHugePageBytes their own huge
/// pages; smaller arrays are allocated as usual.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr size_t kHugePageBytes = size_t{1} << 21;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
    // Whole huge pages, so that no other allocation shares the last one.
    const size_t whole = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    void* p = ::operator new(whole, std::align_val_t{kHugePageBytes});
    AdviseHugePages(p, whole);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    if (n * sizeof(T) < kHugePageBytes) {
      ::operator delete(p);
    } else {
      ::operator delete(p, std::align_val_t{kHugePageBytes});
    }
  }
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const { return true; }
};

}  // namespace tavro
