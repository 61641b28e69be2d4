#pragma once
// Memory for what a scan makes by the hundred thousand: the blocks of a list's columns and the
// nodes of the files listed. It comes from the system in 2 MB pieces, asked for as huge pages
// and filled in by one call. On a virtual machine every first touch of a fresh 4 KB page is a
// trap that can cost ten microseconds, which for a scan of 150,000 files came to more than the
// rest of its work; a 2 MB piece costs about as much as one such trap.
//
// A pool hands out pieces of one fixed size. What is given back is kept for the next taker and
// never returned to the system: a list that held a million rows leaves its room for the next
// scan rather than fault it in again. Safe to use from any thread.
//
// Under AddressSanitizer the pools pass every request to the ordinary allocator, so that the
// sanitizer still sees each piece on its own.
#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define FW_BULK_PLAIN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FW_BULK_PLAIN 1
#endif
#endif

namespace fw {

#ifdef FW_BULK_PLAIN
inline constexpr bool kBulkPoolsPlain = true; // every piece straight from the allocator
#else
inline constexpr bool kBulkPoolsPlain = false;
#endif

class BulkPool {
public:
    explicit constexpr BulkPool(size_t size) : size_(RoundUp(size > 0 ? size : 1)) {}
    BulkPool(const BulkPool&) = delete;
    BulkPool& operator=(const BulkPool&) = delete;

    void* Take();          // throws std::bad_alloc when the system has no more
    void Give(void* piece); // nullptr is ignored
    size_t Size() const { return size_; }

private:
    static constexpr size_t RoundUp(size_t n) { return (n + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1); }
    void Lock();
    void Unlock() { lock_.clear(std::memory_order_release); }

    size_t size_;
    std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
    void* free_ = nullptr; // given-back pieces, each holding the next one's address
    char* next_ = nullptr; // the untouched rest of the newest 2 MB piece
    char* end_ = nullptr;
};

// The shared pool for pieces of N bytes.
template <size_t N>
BulkPool& BulkPoolOf()
{
    static constinit BulkPool pool(N);
    return pool;
}

} // namespace fw
