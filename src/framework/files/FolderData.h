#pragma once
// What a folder node keeps beyond its name: its read entries, its cached descriptor and the
// folders being read ahead for it. Only the FolderItem sources use this.
#include "DescriptorCache.h"
#include "FolderItem.h"
#include "FolderListing.h"
#include "FolderPrefetch.h"

#include <cstring>
#include <vector>

#include <sys/types.h>

namespace fw {

// Trivially destructible on purpose: a node that outlives static destruction still finds it.
extern constinit DescriptorCache gDescriptors;

struct FolderItem::FolderData : CachedDescriptor {
    explicit FolderData(const FolderItem* node) : owner(node) {}
    ~FolderData()
    {
        FolderPrefetch::Cancel(ticket);
        for (auto& [index, t] : childTickets)
            FolderPrefetch::Cancel(t);
    }

    static const FolderData* NearestBelow(const FolderItem* target, int& distance);

    const FolderItem* owner;
    std::vector<ListEntry> entries;
    String path; // kept only when asked for this folder, so that its files share one String
    bool read = false;
    uint32_t depth = 0;      // below the first folder whose entries were read, for the read ahead
    dev_t device = 0;        // the folder's identity, once known: 0/0 until then
    ino_t inode = 0;
    PrefetchTicket ticket;      // this folder's listing, being read ahead
    ChildTickets childTickets;  // of subfolders not yet visited
    uint32_t nextPrefetch = 0;  // the first entry not yet considered for reading ahead
};

// Short names live inside the String without a terminating zero; the system calls need one.
class CName {
public:
    explicit CName(const String& s)
    {
        if (s.size() < sizeof(buf_)) {
            std::memcpy(buf_, s.data(), s.size());
            buf_[s.size()] = 0;
            p_ = buf_;
        } else {
            p_ = s.data(); // longer texts are stored with a zero after them
        }
    }
    operator const char*() const { return p_; }

private:
    char buf_[8];
    const char* p_;
};

} // namespace fw
