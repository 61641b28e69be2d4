#pragma once
// A path longer than PATH_MAX, made by descriptor: forty folders of 120 characters each, one
// inside the other, with an empty deep.jpg at the bottom. The in-process and the end-to-end
// tests both use it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace deep_path {

// The folder names from the top down; empty when a folder or the file could not be made.
inline std::vector<std::string> Make(const std::string& root)
{
    std::vector<std::string> levels;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < 40 && fd >= 0; ++i) {
        std::string name = "level" + std::to_string(100 + i) + std::string(112, 'x');
        int next = ::mkdirat(fd, name.c_str(), 0755) == 0 ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
        levels.push_back(name);
    }
    int file = fd >= 0 ? ::openat(fd, "deep.jpg", O_CREAT | O_WRONLY | O_CLOEXEC, 0644) : -1;
    if (fd >= 0)
        ::close(fd);
    if (file < 0)
        return {};
    ::close(file);
    return levels;
}

} // namespace deep_path
