#include "Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace e2e::files {

const std::string kHeader = "#\tFile Name\tFolder1\tFolder2\tFolder3\tAdditional Path";

std::string MakeTempFolder(const std::string& prefix, const std::string& under)
{
    std::string pattern = under + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        ADD_FAILURE() << pattern << ": " << std::strerror(errno);
        return "/nonexistent";
    }
    ::chmod(pattern.c_str(), 0755);
    return pattern;
}

namespace {

std::vector<std::string> NamesAt(int dirFd);

// Empties the open folder, by descriptors: paths deeper than the system allows go too.
void EmptyAt(int dirFd)
{
    for (const std::string& n : NamesAt(dirFd)) {
        if (::unlinkat(dirFd, n.c_str(), 0) == 0 || errno != EISDIR)
            continue;
        ::fchmodat(dirFd, n.c_str(), 0700, 0); // a folder made unreadable for a test
        int sub = ::openat(dirFd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            EmptyAt(sub);
            ::close(sub);
        }
        ::unlinkat(dirFd, n.c_str(), AT_REMOVEDIR);
    }
}

} // namespace

void RemoveTree(const std::string& path)
{
    if (path.rfind("/tmp/", 0) != 0 && path.rfind("/dev/shm/", 0) != 0)
        return;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlink(path.c_str());
        return;
    }
    EmptyAt(fd);
    ::close(fd);
    ::rmdir(path.c_str());
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Make(const std::string& root, const std::vector<std::string>& entries)
{
    ::mkdir(root.c_str(), 0755);
    for (const std::string& entry : entries) {
        for (size_t slash = entry.find('/'); slash != std::string::npos; slash = entry.find('/', slash + 1))
            ::mkdir((root + "/" + entry.substr(0, slash)).c_str(), 0755);
        if (entry.back() == '/')
            continue;
        int fd = ::open((root + "/" + entry).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0) << entry << ": " << std::strerror(errno);
        ::close(fd);
    }
}

namespace {

// A file manager's order: letters without regard to case, runs of digits by their value.
bool NaturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit((unsigned char)a[i]) && std::isdigit((unsigned char)b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit((unsigned char)a[ei]))
                ++ei;
            while (ej < b.size() && std::isdigit((unsigned char)b[ej]))
                ++ej;
            std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
            continue;
        }
        int ca = std::tolower((unsigned char)a[i]), cb = std::tolower((unsigned char)b[j]);
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The extension after the last "." is one of the image extensions. Mixed case, which the
// program may take or not, is best left out of the trees.
bool IsImage(const std::string& name)
{
    static const char* const kExtensions[] = {"tif", "tiff", "jpg", "jpeg", "gif", "bmp", "png", "dcm", "pict"};
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return std::find_if(std::begin(kExtensions), std::end(kExtensions),
                        [&](const char* e) { return ext == e; }) != std::end(kExtensions);
}

std::string LastName(const std::string& path)
{
    return path == "/" ? path : path.substr(path.rfind('/') + 1);
}

std::string RowFor(int number, const std::string& file)
{
    std::vector<std::string> folders; // nearest first, up to "/"
    for (std::string p = file; p != "/";) {
        size_t slash = p.rfind('/');
        p = slash == 0 ? "/" : p.substr(0, slash);
        folders.push_back(p);
    }
    auto name = [&](size_t i) { return i < folders.size() ? LastName(folders[i]) : std::string(); };
    return std::to_string(number) + "\t" + LastName(file) + "\t" + name(0) + "\t" + name(1) + "\t" + name(2) + "\t" +
           (folders.size() > 3 ? folders[3] : std::string());
}

// Names in the open folder, "." and ".." left out; the descriptor stays open.
std::vector<std::string> NamesAt(int dirFd)
{
    std::vector<std::string> names;
    int fd = ::dup(dirFd);
    if (DIR* d = fd < 0 ? nullptr : ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
    } else if (fd >= 0) {
        ::close(fd);
    }
    return names;
}

// A folder the walk enters: as root, any; as another user, one that all may list and enter
// (the trees are root's).
bool Enters(const struct stat& st, Reader reader)
{
    mode_t all = S_IROTH | S_IXOTH;
    return reader == Reader::Root || (st.st_mode & all) == all;
}

// A name that is listed: a file, or a link that leads to a file or nowhere. Links to folders
// are not walked, and fifos, devices and links to them are never touched.
bool Listable(int dirFd, const std::string& name, const struct stat& st)
{
    if (S_ISREG(st.st_mode))
        return true;
    if (!S_ISLNK(st.st_mode))
        return false;
    struct stat target;
    if (::fstatat(dirFd, name.c_str(), &target, 0) != 0)
        return true;
    return S_ISREG(target.st_mode);
}

// Walks by descriptors, so that a path longer than the system allows is walked too.
void Walk(int dirFd, const std::string& folder, const std::string& filter, Reader reader,
          std::vector<std::string>& lines)
{
    std::vector<std::string> names = NamesAt(dirFd);
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const std::string& n : names) {
        std::string path = folder + "/" + n;
        struct stat st;
        if (::fstatat(dirFd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            int sub = Enters(st, reader) ? ::openat(dirFd, n.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            if (sub >= 0) {
                Walk(sub, path, filter, reader, lines);
                ::close(sub);
            }
        } else if (n[0] != '.' && n.find(filter) != std::string::npos && IsImage(n) && Listable(dirFd, n, st)) {
            lines.push_back(RowFor(int(lines.size()), path));
        }
    }
}

std::string Field(const std::string& line, int column)
{
    size_t start = 0;
    for (int c = 0; c < column; ++c)
        start = line.find('\t', start) + 1;
    return line.substr(start, line.find('\t', start) - start);
}

} // namespace

std::vector<std::string> ExpectedExport(const std::string& root, const std::string& filter, Reader reader)
{
    std::vector<std::string> lines = {kHeader};
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        Walk(fd, root, filter, reader, lines);
        ::close(fd);
    }
    return lines;
}

std::string FileText(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::vector<std::string> SortedOn(std::vector<std::string> lines, int column)
{
    std::stable_sort(lines.begin() + 1, lines.end(), [&](const std::string& a, const std::string& b) {
        std::string x = Field(a, column), y = Field(b, column);
        return column == 0 ? std::stol(x) < std::stol(y) : NaturalLess(x, y);
    });
    return lines;
}

std::string HintOf(const std::string& name)
{
    auto trim = [](std::string s) {
        s.erase(0, std::min(s.find_first_not_of(' '), s.size()));
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    };
    std::string s = trim(name);
    for (const char* cut : {"X-", ".tif"})
        if (size_t at = s.find(cut); at != std::string::npos)
            s.erase(at, std::strlen(cut));
    if (s.size() > 6)
        for (size_t start = 0; start + 6 < s.size(); ++start)
            if (std::all_of(s.begin() + start, s.begin() + start + 6, ::isdigit))
                return s.substr(start, 6);
    return trim(s);
}

} // namespace e2e::files
