#pragma once
// Real folder trees on disk for the FolderItem tests, removed again afterwards, plus the walk
// the program does over them.
#include "framework/files/FolderItem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folder_tree {

// Opens a folder below dirFd for reading, unlocking it first if a test locked it.
inline int OpenToRemove(int dirFd, const char* name)
{
    int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && ::fchmodat(dirFd, name, 0700, 0) == 0)
        fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        ::fchmod(fd, 0700);
    return fd;
}

// Removes the files of the folder open at fd; the name of one subfolder left, or "".
inline std::string RemoveFilesIn(int fd)
{
    std::string folder;
    DIR* dir = ::fdopendir(::dup(fd));
    std::vector<std::string> files;
    while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        struct stat st;
        if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            folder = n;
        else
            files.push_back(n);
    }
    if (dir)
        ::closedir(dir);
    for (const std::string& n : files)
        ::unlinkat(fd, n.c_str(), 0);
    return folder;
}

// Removes name below dirFd and everything in it. Works at any depth without calling itself:
// it goes down to a folder without subfolders, removes it from its parent (reached by "..")
// and goes on from there.
inline void RemoveAt(int dirFd, const char* name)
{
    int fd = OpenToRemove(dirFd, name);
    if (fd < 0) {
        ::unlinkat(dirFd, name, 0);
        return;
    }
    std::vector<std::string> path = {name};
    while (fd >= 0) {
        std::string sub = RemoveFilesIn(fd);
        if (!sub.empty()) {
            int next = OpenToRemove(fd, sub.c_str());
            if (next >= 0) {
                ::close(fd);
                fd = next;
                path.push_back(sub);
                continue;
            }
        }
        int up = path.size() > 1 ? ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        ::unlinkat(path.size() > 1 ? up : dirFd, path.back().c_str(), AT_REMOVEDIR);
        path.pop_back();
        fd = up;
        if (!sub.empty() && fd >= 0)
            break; // a subfolder that could not be opened: leave the rest rather than loop
    }
    if (fd >= 0)
        ::close(fd);
}

// Where trees of hundreds of thousands of folders go: a memory file system where there is one,
// as removing them from a disk can take a minute.
inline std::string ParentForLargeTrees()
{
    return ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A fresh folder under /tmp (or the folder given) that other users may enter.
class TempTree {
public:
    explicit TempTree(const std::string& parent = "/tmp")
    {
        std::string pattern = parent + "/zorlin-folders-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr) << std::strerror(errno);
        root_ = made ? made : "/nonexistent";
        ::chmod(root_.c_str(), 0755);
    }
    ~TempTree() { RemoveAt(AT_FDCWD, root_.c_str()); }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(std::string_view relative) const { return root_ + "/" + std::string(relative); }

    void Folder(std::string_view relative) const
    {
        EXPECT_EQ(::mkdir(Path(relative).c_str(), 0755), 0) << relative << ": " << std::strerror(errno);
    }
    void File(std::string_view relative) const
    {
        int fd = ::open(Path(relative).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0) << relative << ": " << std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
    }
    void Link(std::string_view target, std::string_view relative) const
    {
        EXPECT_EQ(::symlink(std::string(target).c_str(), Path(relative).c_str()), 0) << std::strerror(errno);
    }

private:
    std::string root_;
};

// Depth-first, as the program walks: each item is seen, and a folder's items follow it.
template <typename Visit>
void Walk(const fw::Ref<fw::FolderItem>& folder, Visit&& visit)
{
    for (int32_t i = 1, n = folder->Count(); i <= n; ++i) {
        fw::Ref<fw::FolderItem> item = folder->Item(i);
        visit(item);
        if (item->Directory())
            Walk(item, visit);
    }
}

inline std::vector<std::string> NamesOf(const fw::Ref<fw::FolderItem>& folder)
{
    std::vector<std::string> names;
    for (int32_t i = 1, n = folder->Count(); i <= n; ++i)
        names.push_back(folder->Item(i)->Name().str());
    return names;
}

inline fw::Ref<fw::FolderItem> ItemNamed(const fw::Ref<fw::FolderItem>& folder, std::string_view name)
{
    for (int32_t i = 1, n = folder->Count(); i <= n; ++i)
        if (fw::Ref<fw::FolderItem> item = folder->Item(i); item->Name().view() == name)
            return item;
    return nullptr;
}

// How many descriptors the process has open.
inline int OpenDescriptorCount()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            ++count;
    ::closedir(dir);
    return count - 1; // the listing's own descriptor
}

} // namespace folder_tree
