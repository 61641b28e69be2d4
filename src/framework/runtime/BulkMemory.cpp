#include "BulkMemory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace fw {
namespace {

constexpr size_t kChunk = size_t(2) << 20;

#ifndef MADV_POPULATE_WRITE
constexpr int MADV_POPULATE_WRITE = 23; // Linux 5.14; older kernels refuse it and fault lazily
#endif

// A fresh 2 MB piece on a 2 MB boundary, so that it can be one huge page.
char* NewChunk()
{
    void* p = ::mmap(nullptr, 2 * kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    auto start = reinterpret_cast<uintptr_t>(p);
    uintptr_t aligned = (start + kChunk - 1) & ~(kChunk - 1);
    if (aligned > start)
        ::munmap(p, aligned - start);
    if (uintptr_t tail = start + 2 * kChunk - (aligned + kChunk))
        ::munmap(reinterpret_cast<void*>(aligned + kChunk), tail);
    auto* chunk = reinterpret_cast<char*>(aligned);
    // Both are hints: without huge pages the piece is still filled in by one call, and
    // without that the pages fault in as they are first touched.
    ::madvise(chunk, kChunk, MADV_HUGEPAGE);
    ::madvise(chunk, kChunk, MADV_POPULATE_WRITE);
    return chunk;
}

} // namespace

void BulkPool::Lock()
{
    while (lock_.test_and_set(std::memory_order_acquire))
        while (lock_.test(std::memory_order_relaxed)) {
        }
}

void* BulkPool::Take()
{
    if constexpr (kBulkPoolsPlain)
        return ::operator new(size_);
    if (size_ > kChunk)
        throw std::bad_alloc();
    Lock();
    void* piece = free_;
    if (piece) {
        free_ = *static_cast<void**>(piece);
    } else {
        if (size_t(end_ - next_) < size_) {
            try {
                next_ = NewChunk();
            } catch (...) {
                Unlock();
                throw;
            }
            end_ = next_ + kChunk;
        }
        piece = next_;
        next_ += size_;
    }
    Unlock();
    return piece;
}

void BulkPool::Give(void* piece)
{
    if constexpr (kBulkPoolsPlain) {
        ::operator delete(piece);
        return;
    }
    if (!piece)
        return;
    Lock();
    *static_cast<void**>(piece) = free_;
    free_ = piece;
    Unlock();
}

} // namespace fw
