#include "FolderItem.h"

#include "DescriptorCache.h"
#include "NameOrder.h"
#include "framework/runtime/StringFunctions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

using Kind = FolderItem::Kind;

// Trivially destructible on purpose: a node that outlives static destruction still finds it.
constinit DescriptorCache gDescriptors;

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

static_assert(alignof(FolderItem) > ListEntry::kKindMask, "the kind lives in the pointer's low bits");

bool NaturallyBefore(const ListEntry& a, const ListEntry& b)
{
    return NaturalCompare(a.name.view(), b.name.view()) < 0;
}

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

Kind KindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISREG(mode))
        return Kind::File;
    return Kind::Other;
}

// What a name in a folder is, without following it; Missing when it is not there. A link is
// judged by what it points at, and a dangling link is still a file the user can see.
Kind KindAt(int dirFd, const char* name, bool knownLink)
{
    struct stat st;
    if (!knownLink) {
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Missing;
        if (!S_ISLNK(st.st_mode))
            return KindOfMode(st.st_mode);
    }
    if (::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode))
        return Kind::LinkToFolder;
    return Kind::File;
}

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

String JoinPath(const String& folder, const String& name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder.view());
    if (path.size() != 1) // the root already ends with its slash
        path.push_back('/');
    path.append(name.view());
    return String(path);
}

constexpr uint32_t kUnknownListIndex = 0xFFFFFF; // past what three bytes can count

} // namespace

struct FolderItem::FolderData : CachedDescriptor {
    std::vector<ListEntry> entries;
    String path;
    bool read = false;
};

static_assert(sizeof(FolderItem) <= 40, "a node is five words");

FW_CLASS_TABLE(FolderItem, Object, "FolderItem")
{
    t.factory = nullptr; // nodes come from FromPath and Item only
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
    // Folders only this node held go one level at a time, so that freeing a deep tree does
    // not recurse once per level.
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
    if (!Directory())
        return JoinPath(parent_->AbsolutePath(), name_);
    // Kept, so that every file listed from this folder can share the one String.
    FolderData& d = Data();
    if (d.path.empty())
        d.path = JoinPath(parent_->AbsolutePath(), name_);
    return d.path;
}

int32_t FolderItem::Count()
{
    // A link's folder is never read, so that every walk ends, loops of links included.
    if (kind_ != Kind::Folder)
        return 0;
    if (!folder_ || !folder_->read)
        ReadEntries();
    return int32_t(folder_->entries.size());
}

Ref<FolderItem> FolderItem::Item(int32_t index)
{
    if (index < 1 || index > Count())
        return nullptr;
    ListEntry& e = folder_->entries[size_t(index) - 1];
    FolderItem* node = e.Node();
    if (!node) {
        node = new FolderItem(Ref<FolderItem>(this), e.name, e.GetKind());
        node->SetListIndex(size_t(index) - 1);
        e.SetNode(node);
    }
    return Ref<FolderItem>(node);
}

void FolderItem::ReadEntries()
{
    FolderData& d = Data();
    d.read = true;
    int fd = OpenHere(O_RDONLY);
    if (fd < 0)
        return; // gone, or not ours to read: an empty folder
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    bool hasFolders = ReadNames(dir, d.entries);
    // Its subfolders are about to be opened relative to it; keeping a duplicate saves
    // reopening this folder for each of them.
    if (hasFolders && d.fd < 0) {
        int keep = ::fcntl(::dirfd(dir), F_DUPFD_CLOEXEC, 0);
        if (keep >= 0)
            gDescriptors.Add(d, keep);
    }
    ::closedir(dir);
    SortNaturally(d.entries);
}

FolderItem::FolderData& FolderItem::Data() const
{
    if (!folder_)
        folder_ = std::make_unique<FolderData>();
    return *folder_;
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
    int fd = OpenHere(O_PATH);
    if (fd >= 0)
        gDescriptors.Add(d, fd);
    return fd;
}

int FolderItem::OpenHere(int flags) const
{
    // A link to a folder is followed here: the user chose a path through it.
    flags |= O_DIRECTORY | O_CLOEXEC | (kind_ == Kind::LinkToFolder ? 0 : O_NOFOLLOW);
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
