#pragma once
// Folder descriptors that FolderItem keeps open between calls. Only FolderItem.cpp uses this.
#include <array>
#include <cstddef>
#include <cstdint>

#include <unistd.h>

namespace fw {

// A folder's descriptor while the cache keeps it open.
struct CachedDescriptor {
    int fd = -1;
    uint64_t lastUse = 0;
};

// Folders kept open so that a depth-first walk opens each folder relative to its parent's
// descriptor instead of reopening the whole chain from "/". The least recently used one is
// closed first, so deep trees never exhaust the process's descriptors. Like the reference
// counts, it belongs to the one thread the framework runs on.
class DescriptorCache {
public:
    static constexpr size_t kCapacity = 64;

    int Use(CachedDescriptor& d)
    {
        d.lastUse = ++clock_;
        return d.fd;
    }

    void Add(CachedDescriptor& d, int fd)
    {
        if (used_ == kCapacity) {
            size_t oldest = 0;
            for (size_t i = 1; i < used_; ++i)
                if (slots_[i]->lastUse < slots_[oldest]->lastUse)
                    oldest = i;
            Close(*slots_[oldest]);
            slots_[oldest] = slots_[--used_];
        }
        slots_[used_++] = &d;
        d.fd = fd;
        Use(d);
    }

    // The descriptors kept now, in no particular order.
    size_t Size() const { return used_; }
    CachedDescriptor& At(size_t i) const { return *slots_[i]; }

    void Drop(CachedDescriptor& d)
    {
        for (size_t i = 0; i < used_; ++i)
            if (slots_[i] == &d) {
                slots_[i] = slots_[--used_];
                break;
            }
        Close(d);
    }

private:
    static void Close(CachedDescriptor& d)
    {
        ::close(d.fd);
        d.fd = -1;
    }

    std::array<CachedDescriptor*, kCapacity> slots_{};
    size_t used_ = 0;
    uint64_t clock_ = 0;
};

} // namespace fw
