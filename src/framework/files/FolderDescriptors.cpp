// Opening folders relative to each other. A folder is opened at its parent's descriptor, which
// the cache keeps open, so that paths longer than the system's limit work and a walk never
// reopens the chain from "/". Nothing here calls itself once per level: a chain a hundred
// thousand folders deep is opened with a loop, and never twice over.
#include "FolderData.h"

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

// How far below a folder a kept descriptor is looked for, to climb back up with "..".
constexpr int kReachBelow = 256;

} // namespace

// The cached folder nearest below `target`, within the reach, and how far below it lies.
const FolderItem::FolderData* FolderItem::FolderData::NearestBelow(const FolderItem* target, int& distance)
{
    const FolderData* best = nullptr;
    distance = kReachBelow + 1;
    for (size_t i = 0; i < gDescriptors.Size(); ++i) {
        auto& d = static_cast<const FolderData&>(gDescriptors.At(i));
        const FolderItem* n = d.owner;
        for (int up = 1; up < distance && n; ++up) {
            n = n->parent_.Get();
            if (n == target) {
                best = &d;
                distance = up;
            }
        }
    }
    return best;
}

FolderItem::FolderData& FolderItem::Data() const
{
    if (!folder_)
        folder_ = std::make_unique<FolderData>(this);
    return *folder_;
}

int FolderItem::FollowFlag() const
{
    // A link to a folder is followed here: the user chose a path through it.
    return kind_ == Kind::LinkToFolder ? 0 : O_NOFOLLOW;
}

int FolderItem::BorrowFd() const
{
    if (kind_ == Kind::File || kind_ == Kind::Other) {
        errno = ENOTDIR;
        return -1;
    }
    FolderData& d = Data();
    if (d.fd >= 0)
        return gDescriptors.Use(d);
    int fd = ReopenFromBelow();
    if (fd < 0)
        fd = OpenFromAbove();
    if (fd >= 0)
        gDescriptors.Add(d, fd);
    return fd;
}

// A walk that comes back up from a subtree deeper than the cache holds finds the folders above
// closed. Climbing up from the deepest one still open costs a call per level climbed, where
// opening down from the nearest one open above could cost one per level of the whole depth,
// for every folder the walk then comes to. The folder reached must be the very one that was
// read: a folder moved or made again in the meantime is opened from above instead.
int FolderItem::ReopenFromBelow() const
{
    if (!folder_ || folder_->inode == 0)
        return -1; // never read, so nothing to check the folder reached against
    int distance = 0;
    const FolderData* below = FolderData::NearestBelow(this, distance);
    if (!below)
        return -1;
    int fd = below->fd;
    for (int i = 0; i < distance && fd >= 0; ++i) {
        int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd != below->fd)
            ::close(fd);
        fd = up;
    }
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_dev != folder_->device || st.st_ino != folder_->inode)) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

// Opens the folders from the nearest one whose descriptor is kept (or "/") down to this one.
// Only this folder's descriptor is kept afterwards: those on the way would push better ones
// out of the cache.
int FolderItem::OpenFromAbove() const
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<const FolderItem*> chain; // this folder and those above it, nearest first
        const FolderItem* top = this;
        for (; top && !(top->folder_ && top->folder_->fd >= 0); top = top->parent_.Get())
            chain.push_back(top);
        int fd = top ? gDescriptors.Use(*top->folder_) : -1;
        bool fromCache = top != nullptr;
        for (auto n = chain.rbegin(); n != chain.rend(); ++n) {
            const FolderItem& f = **n;
            int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | f.FollowFlag();
            int next = f.parent_ ? (fd < 0 ? -1 : ::openat(fd, CName(f.name_), flags)) : ::open("/", flags);
            if (fd >= 0 && !(fromCache && n == chain.rbegin()))
                ::close(fd);
            fd = next;
            if (fd < 0)
                break;
        }
        // A kept descriptor still names a folder that was since deleted and made again.
        if (fd >= 0 || errno != ENOENT || !fromCache || !ForgetDescriptors())
            return fd;
    }
    return -1;
}

int FolderItem::OpenHere(int flags) const
{
    flags |= O_DIRECTORY | O_CLOEXEC | FollowFlag();
    if (!parent_)
        return ::open("/", flags);
    CName name(name_);
    int at = parent_->BorrowFd();
    int fd = at < 0 ? -1 : ::openat(at, name, flags);
    // A kept descriptor still names a folder that was since deleted and made again.
    if (fd < 0 && at >= 0 && errno == ENOENT && parent_->ForgetDescriptors()) {
        at = parent_->BorrowFd();
        fd = at < 0 ? -1 : ::openat(at, name, flags);
    }
    return fd;
}

bool FolderItem::ForgetDescriptors() const
{
    bool forgot = false;
    for (const FolderItem* p = this; p; p = p->parent_.Get())
        if (p->folder_ && p->folder_->fd >= 0) {
            gDescriptors.Drop(*p->folder_);
            forgot = true;
        }
    return forgot;
}

int FolderItem::OpenDirectoryFd() const
{
    int fd = OpenHere(O_RDONLY);
    if (fd < 0 && errno == EACCES)
        fd = OpenHere(O_PATH); // a folder we may enter but not list
    return fd;
}

} // namespace fw
