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

// Removes name below dirFd and everything in it. Works at any depth, as everything is opened
// relative to its folder.
inline void RemoveAt(int dirFd, const char* name)
{
    int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(dirFd, name, 0);
        return;
    }
    ::fchmod(fd, 0700); // a folder a test locked
    std::vector<std::pair<std::string, bool>> names;
    DIR* dir = ::fdopendir(fd);
    while (const dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        struct stat st;
        bool folder = ::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        names.emplace_back(std::move(n), folder);
    }
    for (const auto& [n, folder] : names)
        folder ? RemoveAt(fd, n.c_str()) : (void)::unlinkat(fd, n.c_str(), 0);
    ::closedir(dir);
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

// A fresh folder under /tmp that other users may enter.
class TempTree {
public:
    TempTree()
    {
        char pattern[] = "/tmp/zorlin-folders-XXXXXX";
        const char* made = ::mkdtemp(pattern);
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
