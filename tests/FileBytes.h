#pragma once
// Reading a whole file in the tests, byte for byte.
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace file_bytes {

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadFile(const std::string& path)
{
    std::string bytes;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    char chunk[65536];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, size_t(n));
    ::close(fd);
    return bytes;
}

} // namespace file_bytes
