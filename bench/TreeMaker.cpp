#include "TreeMaker.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace bench {
namespace {

struct Leaf {
    std::string path;  // relative to the root
    int64_t firstFile; // index of its first file among all the leaves' files
    int64_t files;
};

std::string LeafPath(int64_t i, int32_t leavesPerArchive)
{
    char buf[160];
    int64_t archive = i / leavesPerArchive + 1;
    int64_t year = 2011 + (i % leavesPerArchive) / 8;
    int n = std::snprintf(buf, sizeof(buf), "Archive %02lld/%lld/Roll %04lld", (long long)archive,
                          (long long)year, (long long)i + 1);
    switch (i % 4) {
    case 2: // a roll shot in sessions
        std::snprintf(buf + n, sizeof(buf) - n, "/Session %lld", (long long)(i % 3 + 1));
        break;
    case 3: // sessions on several cards
        std::snprintf(buf + n, sizeof(buf) - n, "/Session %lld/Card %c", (long long)(i % 3 + 1), char('A' + i % 2));
        break;
    default:
        break;
    }
    return buf;
}

// Each folder is named after one kind of device, as a card or a scanner batch is.
const char* ImagePattern(int64_t leaf, int64_t j)
{
    static const char* const kMixed[] = {"pic %lld.gif",  "shot %lld.bmp", "slide %lld.pict", "img %lld.jpeg",
                                         "IMG %lld.GIF",  "x-ray %lld.DCM", "plate %lld.PICT", "img %lld.JPEG",
                                         "web %lld.PNG",  "page %lld.TIF", "ct %lld.dcm",     "map %lld.tiff",
                                         "icon %lld.BMP", "film %lld.png"};
    switch (leaf % 8) {
    case 0: return "IMG_%06lld.jpg";
    case 1: return "DSC%05lld.JPG";
    case 2: return "scan %06lld.tif";
    case 3: return "IM%06lld.dcm";
    case 4: return "photo %lld.png";
    case 5: return "frame_%06lld.TIFF";
    case 6: return kMixed[j % (sizeof(kMixed) / sizeof(kMixed[0]))];
    default: return "IMG_%06lld.jpeg";
    }
}

// Side files: the first two of a folder are the usual hidden and system files.
void OtherName(char* buf, size_t size, int64_t nth, long long number)
{
    static const char* const kOthers[] = {"IMG_%06lld.xmp", "notes %lld.txt", "IMG_%06lld.CR2", "clip %04lld.mov",
                                          "scan %06lld.tif.md5"};
    if (nth == 0)
        std::snprintf(buf, size, ".DS_Store");
    else if (nth == 1)
        std::snprintf(buf, size, "Thumbs.db");
    else
        std::snprintf(buf, size, kOthers[nth % 5], number);
}

bool Touch(int dirFd, const char* name)
{
    return ::mknodat(dirFd, name, S_IFREG | 0644, 0) == 0;
}

// Whether leaf file number g is an image: spread evenly, exactly `images` of `total`.
bool IsImageIndex(int64_t g, int64_t images, int64_t total)
{
    return (g + 1) * images / total > g * images / total;
}

void MakeLeafFiles(const std::string& root, const Leaf& leaf, int64_t leafIndex, int64_t images, int64_t total)
{
    std::string dir = root + "/" + leaf.path;
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(dir.c_str());
        return;
    }
    long long base = (leafIndex * 7919) % 800000 + 1;
    int64_t others = 0;
    char name[96], first[96] = "";
    for (int64_t j = 0; j < leaf.files; ++j) {
        long long number = base + j;
        if (IsImageIndex(leaf.firstFile + j, images, total))
            std::snprintf(name, sizeof(name), ImagePattern(leafIndex, j), number);
        else
            OtherName(name, sizeof(name), others++, number);
        // The folder's files are names of one empty file: a new inode for each costs ext4 far
        // more than the name, and nothing here looks past the names and their types.
        bool made = j == 0 ? Touch(fd, name) : ::linkat(fd, first, fd, name, 0) == 0;
        if (!made)
            std::perror(name);
        else if (j == 0)
            std::snprintf(first, sizeof(first), "%s", name);
    }
    ::close(fd);
}

struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[];
};

void Walk(int fd, TreeCounts& counts)
{
    alignas(8) char buf[32768];
    for (;;) {
        long n = ::syscall(SYS_getdents64, fd, buf, sizeof(buf));
        if (n <= 0)
            break;
        for (long pos = 0; pos < n;) {
            auto* e = reinterpret_cast<LinuxDirent64*>(buf + pos);
            pos += e->reclen;
            const char* nm = e->name;
            if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0)))
                continue;
            if (e->type == DT_DIR) {
                ++counts.folders;
                int sub = ::openat(fd, nm, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    Walk(sub, counts);
                    ::close(sub);
                }
            } else if (e->type == DT_REG) {
                ++counts.files;
            }
        }
    }
}

} // namespace

TreeCounts MakeTree(const std::string& root, int64_t entries, int64_t images, int32_t filesPerFolder,
                    uint32_t seed)
{
    constexpr int32_t kLeavesPerArchive = 40;
    int64_t leafCount = std::max<int64_t>(1, entries / filesPerFolder);
    std::vector<Leaf> leaves(leafCount);
    std::vector<std::string> folders; // parents before children
    std::set<std::string> seen;
    for (int64_t i = 0; i < leafCount; ++i) {
        leaves[i].path = LeafPath(i, kLeavesPerArchive);
        for (size_t slash = 0; slash != std::string::npos;) {
            slash = leaves[i].path.find('/', slash + 1);
            std::string folder = leaves[i].path.substr(0, slash);
            if (seen.insert(folder).second)
                folders.push_back(folder);
        }
    }
    // Each archive folder holds a cover picture and the usual side files too.
    int64_t archives = (leafCount + kLeavesPerArchive - 1) / kLeavesPerArchive;
    int64_t extraFiles = 3 * archives, extraImages = archives;

    TreeCounts counts;
    counts.folders = int64_t(folders.size());
    int64_t leafFiles = std::max<int64_t>(0, entries - counts.folders - extraFiles);
    int64_t leafImages = std::clamp<int64_t>(images - extraImages, 0, leafFiles);

    // Folder sizes vary between half and one and a half times the mean, adding up exactly.
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> spread(0.5, 1.5);
    std::vector<double> weights(leafCount);
    double total = 0;
    for (double& w : weights)
        total += (w = spread(rng));
    double prefix = 0;
    int64_t given = 0;
    for (int64_t i = 0; i < leafCount; ++i) {
        prefix += weights[i];
        int64_t upTo = i + 1 == leafCount ? leafFiles : int64_t(double(leafFiles) * prefix / total);
        leaves[i].firstFile = given;
        leaves[i].files = upTo - given;
        given = upTo;
    }

    for (const std::string& f : folders)
        if (::mkdir((root + "/" + f).c_str(), 0755) != 0)
            std::perror(f.c_str());
    for (int64_t a = 1; a <= archives; ++a) {
        char dir[64];
        std::snprintf(dir, sizeof(dir), "%s/Archive %02lld", root.c_str(), (long long)a);
        int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Touch(fd, "cover.jpg");
        Touch(fd, "notes.txt");
        Touch(fd, ".DS_Store");
        ::close(fd);
    }
    std::atomic<int64_t> next{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        workers.emplace_back([&] {
            for (int64_t i; (i = next++) < leafCount;)
                MakeLeafFiles(root, leaves[i], i, leafImages, std::max<int64_t>(leafFiles, 1));
        });
    for (auto& w : workers)
        w.join();
    counts.files = leafFiles + extraFiles;
    counts.images = leafImages + extraImages;
    return counts;
}

TreeCounts MakeLabTree(const std::string& root, int64_t folders, int32_t filesPerFolder, int32_t imagesPerFolder)
{
    static const char* const kStains[] = {"HE", "PAS", "Trichrome", "CD3", "CD20", "Ki-67", "Reticulin", "Congo Red",
                                          "Iron", "GMS"};
    static const char* const kImages[] = {"%s %s %02d.tif", "%s %s %02d.TIFF", "%s %s %02d.jpg", "%s %s %02d.dcm",
                                          "%s %s overview %02d.png"};
    static const char* const kOthers[] = {".DS_Store", "Thumbs.db", "scan %s %s.xml", "notes %s.txt", "%s %s.svs.md5"};
    constexpr int64_t kSlidesPerCase = 10, kStainsPerSlide = 10;
    TreeCounts counts;
    char name[128], slide[32], caseName[32];
    for (int64_t leaf = 0; leaf < folders; ++leaf) {
        int64_t c = leaf / (kSlidesPerCase * kStainsPerSlide), sl = leaf / kStainsPerSlide % kSlidesPerCase;
        const char* stain = kStains[leaf % kStainsPerSlide];
        std::snprintf(caseName, sizeof caseName, "Case %04lld", (long long)(c + 1));
        std::snprintf(slide, sizeof slide, "Slide %02lld", (long long)(sl + 1));
        std::string dir = root + "/" + caseName;
        for (const std::string& d : {dir, dir + "/" + slide, dir + "/" + slide + "/" + stain})
            if (::mkdir(d.c_str(), 0755) == 0)
                ++counts.folders;
        int fd = ::open((dir + "/" + slide + "/" + stain).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        char first[128] = "";
        for (int32_t j = 0; j < filesPerFolder && fd >= 0; ++j) {
            bool image = j < imagesPerFolder;
            const char* pattern = image ? kImages[j % 5] : kOthers[(j - imagesPerFolder) % 5];
            std::snprintf(name, sizeof name, pattern, slide, stain, j + 1);
            // Names of one empty file, as in MakeTree: a scan looks at nothing but names.
            if (j == 0 ? Touch(fd, name) : ::linkat(fd, first, fd, name, 0) == 0) {
                if (j == 0)
                    std::snprintf(first, sizeof first, "%s", name);
                ++counts.files;
                counts.images += image;
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
    return counts;
}

TreeCounts WalkTree(const std::string& root)
{
    TreeCounts counts;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return counts;
    Walk(fd, counts);
    ::close(fd);
    return counts;
}

} // namespace bench
