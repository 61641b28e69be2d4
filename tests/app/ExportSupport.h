#pragma once
// Real trees and file systems for the export tests: folders that remove themselves, small
// tmpfs mounts (read-only or full) that unmount themselves, an unprivileged file-system user,
// and the export's lines as the program's users see them.
#include "FileBytes.h"
#include "framework/ui/Dialogs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace export_support {

inline const std::string kHeader = "#\tFile Name\tFolder1\tFolder2\tFolder3\tAdditional Path";

// Removes `name` below dirFd and everything in it.
inline void RemoveAt(int dirFd, const char* name)
{
    int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(dirFd, name, 0);
        return;
    }
    std::vector<std::pair<std::string, bool>> names;
    DIR* dir = ::fdopendir(fd);
    while (const dirent* e = ::readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.emplace_back(n, e->d_type == DT_DIR);
    }
    for (const auto& [n, folder] : names)
        folder ? RemoveAt(fd, n.c_str()) : (void)::unlinkat(fd, n.c_str(), 0);
    ::closedir(dir);
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

using file_bytes::ReadFile;

inline bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Creates the file (and the folders above it, below the existing ones) with these bytes.
inline void MakeFile(const std::string& path, std::string_view bytes = {})
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())) << path;
    ::close(fd);
}

inline std::set<std::string> ListFolder(const std::string& path)
{
    std::set<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// A fresh folder below `base`, open to every user, removed with all it holds.
class TempDir {
public:
    explicit TempDir(const std::string& base = "/tmp")
    {
        std::string pattern = (base == "/" ? "" : base) + "/zorlin-export-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr) << pattern << ": " << std::strerror(errno);
        path_ = made ? made : "/nonexistent";
        ::chmod(path_.c_str(), 0755);
    }
    ~TempDir() { RemoveAt(AT_FDCWD, path_.c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

private:
    std::string path_;
};

// A small tmpfs over a fresh folder, unmounted again however the test ends.
class TmpfsMount {
public:
    explicit TmpfsMount(const char* size) : dir_()
    {
        std::string options = std::string("size=") + size + ",mode=0755";
        mounted_ = ::mount("tmpfs", dir_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
        EXPECT_TRUE(mounted_) << "mount tmpfs: " << std::strerror(errno);
    }
    ~TmpfsMount()
    {
        if (mounted_ && ::umount2(dir_.Path().c_str(), 0) != 0)
            ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Path() const { return dir_.Path(); }
    std::string operator/(std::string_view relative) const { return dir_ / relative; }

    void MakeReadOnly()
    {
        EXPECT_EQ(::mount(nullptr, Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << "remount read-only: " << std::strerror(errno);
    }

    // Writes a file until the file system has no room left, so that the next write fails.
    void Fill(const std::string& filler)
    {
        int fd = ::open((*this / filler).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        std::string block(4096, 'x');
        int error = 0;
        for (;;) {
            ssize_t n = ::write(fd, block.data(), block.size());
            if (n < 0) {
                error = errno;
                break;
            }
        }
        ::close(fd);
        EXPECT_EQ(error, ENOSPC) << std::strerror(error);
    }

private:
    TempDir dir_;
    bool mounted_ = false;
};

// Makes the calling thread check file permissions as the user "nobody". Root drops its
// override of permission bits with it, and gets it back on the way out.
class UnprivilegedFiles {
public:
    UnprivilegedFiles()
    {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    ~UnprivilegedFiles()
    {
        ::setfsuid(0);
        ::setfsgid(0);
    }
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;
};

// Answers the folder dialog and the save dialog in order ("" cancels) and notes what each
// dialog was and which name it proposed.
struct DialogLog {
    std::vector<fw::testing::DialogKind> kinds;
    std::vector<std::string> proposals;
};

inline std::shared_ptr<DialogLog> Answer(std::vector<std::string> answers)
{
    auto log = std::make_shared<DialogLog>();
    auto queue = std::make_shared<std::vector<std::string>>(std::move(answers));
    fw::testing::SetDialogResponder([log, queue](fw::testing::DialogKind kind, const std::string& proposed) {
        log->kinds.push_back(kind);
        log->proposals.push_back(proposed);
        if (queue->empty())
            return std::string();
        std::string a = queue->front();
        queue->erase(queue->begin());
        return a;
    });
    return log;
}

// The file's lines without their "\n"; a last line without one comes back as "<partial>...".
inline std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) {
            lines.push_back("<partial>" + bytes.substr(at));
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

inline std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
        fields.push_back(line.substr(at, tab - at));
    fields.push_back(line.substr(at));
    return fields;
}

// What a user expects for the file at this absolute path listed as `number`: its name, the
// names of the three folders above it (the root folder is called "/"), and the path of the
// fourth; missing ancestors leave their fields empty.
inline std::string ExpectedLine(int number, const std::string& path)
{
    std::vector<std::string> parts{"/"};
    for (size_t at = 1; at < path.size();) {
        size_t slash = path.find('/', at);
        parts.push_back(path.substr(at, slash == std::string::npos ? std::string::npos : slash - at));
        at = slash == std::string::npos ? path.size() : slash + 1;
    }
    std::string line = std::to_string(number) + "\t" + parts.back();
    int n = int(parts.size()) - 1; // parts[n - k] is the k-th folder up
    for (int up = 1; up <= 3; ++up)
        line += "\t" + (n - up >= 0 ? parts[n - up] : std::string());
    std::string fourth;
    if (n - 4 == 0)
        fourth = "/";
    for (int i = 1; i <= n - 4; ++i)
        fourth += "/" + parts[i];
    return line + "\t" + fourth;
}

// Empty files at these places below the folder, made in the order given.
inline void MakeFiles(const TempDir& root, const std::vector<std::string>& relative)
{
    for (const std::string& r : relative)
        MakeFile(root / r);
}

// The whole export of the files of `root` listed in this order and numbered from 1.
inline std::string ExpectedExport(const TempDir& root, const std::vector<std::string>& listed)
{
    std::string bytes = kHeader + "\n";
    for (size_t i = 0; i < listed.size(); ++i)
        bytes += ExpectedLine(int(i) + 1, root / listed[i]) + "\n";
    return bytes;
}

} // namespace export_support
