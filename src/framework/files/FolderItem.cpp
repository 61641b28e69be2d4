#include "FolderItem.h"

#include "FolderData.h"
#include "framework/runtime/BulkMemory.h"
#include "framework/runtime/StringFunctions.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

constinit DescriptorCache gDescriptors;

namespace {

constexpr uint32_t kUnknownListIndex = 0xFFFFFF; // past what three bytes can count
constexpr size_t kNamesAhead = 8;

} // namespace

static_assert(sizeof(FolderItem) <= 40, "a node is five words");

FW_CLASS_TABLE(FolderItem, Object, "FolderItem")
{
    t.factory = nullptr; // nodes come from FromPath and Item only
}

void* FolderItem::operator new(size_t size)
{
    return size == sizeof(FolderItem) ? BulkPoolOf<sizeof(FolderItem)>().Take() : ::operator new(size);
}

void FolderItem::operator delete(void* node, size_t size)
{
    if (size == sizeof(FolderItem))
        BulkPoolOf<sizeof(FolderItem)>().Give(node);
    else
        ::operator delete(node);
}

FolderItem::FolderItem(Ref<FolderItem> parent, String name, Kind kind)
    : kind_(kind), parent_(std::move(parent)), name_(std::move(name))
{
}

FolderItem::~FolderItem()
{
    if (folder_ && folder_->fd >= 0)
        gDescriptors.Drop(*folder_);
    LeaveParentList();
    ReleaseChain();
}

// Folders only this node held go one level at a time, so that freeing a deep tree does not
// recurse once per level: each is cut from its parent before it goes.
void FolderItem::ReleaseChain()
{
    Ref<FolderItem> up = std::move(parent_);
    while (up && up->RefCount() == 1) {
        up->LeaveParentList();
        up->SetListIndex(size_t(-1));
        Ref<FolderItem> next = std::move(up->parent_);
        up = std::move(next);
    }
}

// size_t(-1) marks a node that is in no list.
void FolderItem::SetListIndex(size_t index)
{
    uint32_t stored = index + 1 < kUnknownListIndex ? uint32_t(index + 1) : kUnknownListIndex;
    listIndexHigh_ = uint8_t(stored >> 16);
    listIndexLow_ = uint16_t(stored);
}

void FolderItem::LeaveParentList()
{
    uint32_t stored = uint32_t(listIndexHigh_) << 16 | listIndexLow_;
    if (stored == 0 || !parent_ || !parent_->folder_)
        return;
    std::vector<ListEntry>& entries = parent_->folder_->entries;
    size_t index = stored - 1;
    if (stored == kUnknownListIndex) {
        ListEntry key(name_, kind_);
        index = size_t(std::lower_bound(entries.begin(), entries.end(), key, NaturallyBefore) - entries.begin());
    }
    if (index < entries.size() && entries[index].Node() == this)
        entries[index].SetNode(nullptr);
}

Ref<FolderItem> FolderItem::FromPath(std::string_view absolutePath)
{
    if (absolutePath.empty() || absolutePath.front() != '/')
        return nullptr;
    Ref<FolderItem> node(new FolderItem(nullptr, String("/"), Kind::Folder));
    std::string_view rest = absolutePath;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (node->parent_)
                node = node->parent_;
            continue;
        }
        String name(part);
        Kind kind = node->KindOfChild(name);
        node = Ref<FolderItem>(new FolderItem(node, std::move(name), kind));
    }
    return node;
}

FolderItem::Kind FolderItem::KindOfChild(const String& name) const
{
    if (name.view().find('\0') != std::string_view::npos)
        return Kind::Missing; // no file system name holds a zero byte
    int at = BorrowFd();
    return at < 0 ? Kind::Missing : KindAt(at, CName(name), false);
}

bool FolderItem::Exists() const
{
    struct stat st;
    if (!parent_)
        return ::stat("/", &st) == 0;
    CName name(name_);
    int at = parent_->BorrowFd();
    int result = at < 0 ? -1 : ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW);
    // A kept descriptor still names a folder that was since deleted and made again.
    if (result != 0 && at >= 0 && errno == ENOENT && parent_->ForgetDescriptors()) {
        at = parent_->BorrowFd();
        result = at < 0 ? -1 : ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW);
    }
    return result == 0;
}

bool FolderItem::Directory() const { return kind_ == Kind::Folder || kind_ == Kind::LinkToFolder; }

bool FolderItem::Visible() const
{
    // Fifos, sockets and devices hold no pictures, and merely opening a fifo blocks forever.
    return kind_ != Kind::Other && !(!name_.empty() && name_.data()[0] == '.');
}

String FolderItem::AbsolutePath() const
{
    if (!parent_)
        return name_; // the root: "/"
    if (folder_ && !folder_->path.empty())
        return folder_->path;
    // Up to the root or to the nearest folder whose path is kept, then down again, without a
    // call per level. Only the folder asked keeps its path: one kept in every folder above as
    // well would make a deep tree's memory grow with the square of its depth.
    std::vector<const FolderItem*> chain;
    const String* known = nullptr;
    size_t size = 0;
    for (const FolderItem* n = this; n->parent_; n = n->parent_.Get()) {
        if (n != this && n->folder_ && !n->folder_->path.empty()) {
            known = &n->folder_->path;
            break;
        }
        chain.push_back(n);
        size += 1 + n->name_.size();
    }
    std::string path;
    path.reserve(size + (known ? known->size() : 0));
    if (known)
        path.append(known->view());
    for (auto n = chain.rbegin(); n != chain.rend(); ++n)
        path.append("/").append((*n)->name_.view());
    String result(path);
    // Kept for a folder, so that every file listed from it can share the one String.
    if (Directory())
        Data().path = result;
    return result;
}

int32_t FolderItem::Count()
{
    // A link's folder is never read, so that every walk ends, loops of links included; only
    // a folder the user named through a link is, as the user chose to go there.
    if (kind_ != Kind::Folder && !(kind_ == Kind::LinkToFolder && Named()))
        return 0;
    if (!folder_ || !folder_->read)
        ReadEntries();
    return int32_t(folder_->entries.size());
}

Ref<FolderItem> FolderItem::Item(int32_t index)
{
    if (index < 1 || index > Count())
        return nullptr;
    std::vector<ListEntry>& entries = folder_->entries;
    ListEntry& e = entries[size_t(index) - 1];
    // A walk takes the entries in order, and their names were written by the thread that read
    // the folder: asking for a name a few entries ahead hides the wait for it to arrive here.
    if (size_t ahead = size_t(index) - 1 + kNamesAhead; ahead < entries.size())
        __builtin_prefetch(entries[ahead].name.data());
    FolderItem* node = e.Node();
    if (!node) {
        node = new FolderItem(Ref<FolderItem>(this), e.name, e.GetKind());
        node->SetListIndex(size_t(index) - 1);
        e.SetNode(node);
        HandOverTicket(uint32_t(index) - 1, *node);
    }
    return Ref<FolderItem>(node);
}

void FolderItem::ReadEntries()
{
    FolderData& d = Data();
    d.depth = parent_ && parent_->folder_ && parent_->folder_->read ? parent_->folder_->depth + 1 : 0;
    std::optional<Listing> listing;
    if (d.ticket) {
        ChildTickets children;
        listing = FolderPrefetch::Take(d.ticket, children);
        if (listing && StillCurrent(*listing)) {
            FolderPrefetch::NoteUsed();
            d.childTickets = std::move(children);
        } else {
            listing.reset(); // its subfolders were found in a listing that is not used
            for (auto& [index, child] : children)
                FolderPrefetch::Cancel(child);
        }
    }
    if (!listing) {
        int fd = OpenHere(O_RDONLY);
        if (fd < 0) {
            d.read = true;
            return; // gone, or not ours to read: an empty folder
        }
        listing = ReadListing(fd);
    }
    d.read = true;
    d.device = listing->device;
    d.inode = listing->inode;
    if (listing->keptFd >= 0 && d.fd < 0)
        gDescriptors.Add(d, std::exchange(listing->keptFd, -1));
    d.entries = std::move(listing->entries);
    // Read ahead what the walk comes to next: this folder's subfolders, and its parent's
    // further ones, as far as the bound on waiting listings allows.
    ReadAhead();
    if (parent_ && parent_->folder_ && parent_->folder_->read)
        parent_->ReadAhead();
}

void FolderItem::ReadAhead()
{
    FolderData& d = *folder_;
    for (; d.nextPrefetch < d.entries.size(); ++d.nextPrefetch) {
        const ListEntry& e = d.entries[d.nextPrefetch];
        if (e.GetKind() != Kind::Folder || e.Node() || HasTicket(d.nextPrefetch))
            continue; // links are never read; a node that exists reads for itself
        if (!FolderPrefetch::CanStart())
            return;
        if (d.childTickets.size() == d.childTickets.capacity()) // nothing can fail once fd is open
            d.childTickets.reserve(std::max<size_t>(8, 2 * d.childTickets.size()));
        int at = BorrowFd();
        int fd = at < 0 ? -1 : ::openat(at, CName(e.name), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        PrefetchTicket ticket = FolderPrefetch::Start(fd, d.depth + 1);
        if (!ticket)
            return; // no reader could be started: the walk reads for itself
        d.childTickets.emplace_back(d.nextPrefetch, std::move(ticket));
    }
}

bool FolderItem::HasTicket(uint32_t index) const
{
    for (const auto& [i, ticket] : folder_->childTickets)
        if (i == index)
            return true;
    return false;
}

void FolderItem::HandOverTicket(uint32_t index, FolderItem& child)
{
    if (!folder_)
        return;
    auto& tickets = folder_->childTickets;
    for (auto it = tickets.begin(); it != tickets.end(); ++it)
        if (it->first == index) {
            child.Data().ticket = std::move(it->second);
            tickets.erase(it);
            return;
        }
}

// A listing read ahead is used only if the folder is the same one and has not changed since:
// a folder modified during the walk is read again when the walk comes to it. Both of its times
// are compared, as tools that copy folders set the modification time back but cannot set the
// status change time. A change within the file system's clock tick of the reading could go
// unseen, so a folder changed that recently is read again too; file systems that keep whole
// seconds only (memory cards, older disks) have a tick of up to two seconds.
bool FolderItem::StillCurrent(const Listing& listing) const
{
    struct stat st;
    int at = parent_ ? parent_->BorrowFd() : -1;
    if (at < 0 || ::fstatat(at, CName(name_), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return false;
    auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    bool wholeSeconds = listing.changed.tv_nsec == 0 && listing.statusChanged.tv_nsec == 0;
    int64_t tick = wholeSeconds ? 2'000'000'000 : 50'000'000;
    int64_t latest = std::max(ns(listing.changed), ns(listing.statusChanged));
    return st.st_dev == listing.device && st.st_ino == listing.inode && ns(st.st_mtim) == ns(listing.changed) &&
           ns(st.st_ctim) == ns(listing.statusChanged) && latest + tick < ns(listing.readAt);
}

bool FolderItem::Named() const { return listIndexHigh_ == 0 && listIndexLow_ == 0; }

} // namespace fw
