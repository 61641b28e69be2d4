#pragma once
// Reading one folder's names: the kinds from the listing itself, the names sorted as a file
// manager shows them. Safe on any thread: a listing shares nothing until it is handed over.
// Only the files/ sources use this.
#include "FolderItem.h"
#include "framework/runtime/StringFunctions.h"

#include <ctime>
#include <vector>

#include <dirent.h>

namespace fw {

using Kind = FolderItem::Kind;

// One name of a read folder. Its node exists only while someone holds it: nodes hold their
// parents, so a parent holding its nodes would keep every tree alive forever. The node pointer
// and the kind share one word, as a million of these may be listed.
struct ListEntry {
    ListEntry(String n, Kind kind) : name(std::move(n)), bits(uintptr_t(kind)) {}
    Kind GetKind() const { return Kind(bits & kKindMask); }
    FolderItem* Node() const { return reinterpret_cast<FolderItem*>(bits & ~kKindMask); }
    void SetNode(FolderItem* node) { bits = reinterpret_cast<uintptr_t>(node) | (bits & kKindMask); }

    static constexpr uintptr_t kKindMask = 7;
    String name;
    uintptr_t bits;
};


inline bool NaturallyBefore(const ListEntry& a, const ListEntry& b)
{
    return NaturalCompare(a.name.view(), b.name.view()) < 0;
}


// What a name in a folder is, without following it; Missing when it is not there. A link is
// judged by what it points at (a link to a fifo is Other, like the fifo), and a dangling link
// is still a file the user can see.
Kind KindAt(int dirFd, const char* name, bool knownLink);

// A folder's names, sorted, with what is needed to trust them later.
struct Listing {
    std::vector<ListEntry> entries;
    int keptFd = -1;         // a duplicate of the folder's descriptor, kept when it has subfolders
    timespec changed{};      // the folder's modification time, taken before its names were read
    timespec statusChanged{}; // its status change time, which no program can set back
    timespec readAt{};       // when the reading began, on the clock that stamps modifications
    dev_t device = 0;
    ino_t inode = 0;

    Listing() = default;
    Listing(Listing&& o) noexcept;
    Listing& operator=(Listing&& o) noexcept;
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing();
};

// Reads and sorts the folder open at fd, and closes fd. An unreadable folder lists nothing.
Listing ReadListing(int fd);

} // namespace fw
