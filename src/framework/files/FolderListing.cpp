#include "FolderListing.h"

#include "NameOrder.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

Kind KindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISREG(mode))
        return Kind::File;
    return Kind::Other;
}

} // namespace

Kind KindAt(int dirFd, const char* name, bool knownLink)
{
    struct stat st;
    if (!knownLink) {
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Missing;
        if (!S_ISLNK(st.st_mode))
            return KindOfMode(st.st_mode);
    }
    // A link to a fifo, a socket or a device is as invisible as what it points at, and is
    // never opened; one that leads nowhere is a file that opens as no picture.
    if (::fstatat(dirFd, name, &st, 0) != 0)
        return Kind::File;
    Kind target = KindOfMode(st.st_mode);
    return target == Kind::Folder ? Kind::LinkToFolder : target;
}

namespace {

// The kind from the folder listing itself; the file system is asked only when the listing
// does not say, or for a link, whose target the listing never tells.
Kind EntryKind(int dirFd, const dirent& e)
{
    switch (e.d_type) {
    case DT_DIR:
        return Kind::Folder;
    case DT_REG:
        return Kind::File;
    case DT_LNK:
        return KindAt(dirFd, e.d_name, true);
    case DT_UNKNOWN: {
        Kind k = KindAt(dirFd, e.d_name, false);
        return k == Kind::Missing && errno != ENOENT ? Kind::File : k;
    }
    default:
        return Kind::Other; // fifos, sockets and devices hold no pictures
    }
}

// Appends the folder's names; true when one of them is a folder.
bool ReadNames(DIR* dir, std::vector<ListEntry>& out)
{
    bool folders = false;
    int fd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        Kind kind = EntryKind(fd, *e);
        if (kind == Kind::Missing)
            continue; // deleted while we were reading
        folders = folders || kind == Kind::Folder;
        out.emplace_back(String(n), kind);
    }
    return folders;
}

// Sorts into a vector of the exact size, as read folders are kept for as long as the program
// lists their files.
void SortNaturally(std::vector<ListEntry>& entries)
{
    std::vector<std::string_view> names;
    names.reserve(entries.size());
    for (const ListEntry& e : entries)
        names.push_back(e.name.view());
    std::vector<uint32_t> order = NaturalOrder(names);
    names = {};
    std::vector<ListEntry> sorted;
    sorted.reserve(entries.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

} // namespace

Listing::Listing(Listing&& o) noexcept
    : entries(std::move(o.entries)), keptFd(std::exchange(o.keptFd, -1)), changed(o.changed), readAt(o.readAt),
      statusChanged(o.statusChanged), device(o.device), inode(o.inode)
{
}

Listing& Listing::operator=(Listing&& o) noexcept
{
    if (this != &o) {
        if (keptFd >= 0)
            ::close(keptFd);
        entries = std::move(o.entries);
        keptFd = std::exchange(o.keptFd, -1);
        changed = o.changed;
        statusChanged = o.statusChanged;
        readAt = o.readAt;
        device = o.device;
        inode = o.inode;
    }
    return *this;
}

Listing::~Listing()
{
    if (keptFd >= 0)
        ::close(keptFd);
}

Listing ReadListing(int fd)
{
    Listing listing;
    struct stat st;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &listing.readAt);
    if (::fstat(fd, &st) == 0) {
        listing.changed = st.st_mtim;
        listing.statusChanged = st.st_ctim;
        listing.device = st.st_dev;
        listing.inode = st.st_ino;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
    if (!dir) {
        ::close(fd);
        return listing;
    }
    bool hasFolders = ReadNames(dir.get(), listing.entries);
    // Its subfolders are about to be opened relative to it; keeping a duplicate saves
    // reopening this folder for each of them.
    if (hasFolders)
        listing.keptFd = ::fcntl(::dirfd(dir.get()), F_DUPFD_CLOEXEC, 0);
    dir.reset();
    SortNaturally(listing.entries);
    return listing;
}

} // namespace fw
