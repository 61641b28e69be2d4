// Opening a file as a picture. Only a regular file is opened (a link is judged by its target
// before any open, so a fifo or a device is never touched); it is mapped read-only, never read
// whole, and decoded by its content. A file that is not a picture, is damaged, is beyond the
// bounds or would keep the window busy too long gives no picture rather than a failure.
#include "GraphicsPrivate.h"
#include "framework/files/FolderItem.h"

#include <QGuiApplication>
#include <QScreen>

#include <atomic>
#include <csignal>
#include <mutex>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

constexpr auto kDecodeTime = std::chrono::seconds(2);
constexpr int kSideWithoutScreen = 4096;

// A file that shrinks while it is mapped would raise SIGBUS on the pages past its new end.
// The handler puts zero pages there instead and notes it; the decode then runs on and its
// result is thrown away.
std::atomic<uintptr_t> gMapStart{0}, gMapEnd{0};
std::atomic<bool> gMapFaulted{false};
struct sigaction gPreviousBus {};
uintptr_t gPageSize = 4096;

void OnBusError(int sig, siginfo_t* info, void* context)
{
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    const uintptr_t start = gMapStart.load(), end = gMapEnd.load();
    if (start && at >= start && at < end) {
        const uintptr_t page = at & ~(gPageSize - 1);
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            gMapFaulted = true;
            return;
        }
    }
    if ((gPreviousBus.sa_flags & SA_SIGINFO) && gPreviousBus.sa_sigaction)
        return gPreviousBus.sa_sigaction(sig, info, context);
    if (gPreviousBus.sa_handler != SIG_DFL && gPreviousBus.sa_handler != SIG_IGN)
        return gPreviousBus.sa_handler(sig);
    signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
}

void InstallBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gPageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBus);
    });
}

// The file's bytes, mapped read-only while this lives; one mapping is watched at a time.
class MappedFile {
public:
    MappedFile(int fd, size_t size) : size_(size)
    {
        void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED)
            return;
        data_ = static_cast<const uint8_t*>(p);
        madvise(p, size, MADV_SEQUENTIAL | MADV_WILLNEED);
        InstallBusHandler();
        watch_ = std::unique_lock<std::mutex>(Guard());
        gMapFaulted = false;
        gMapStart = reinterpret_cast<uintptr_t>(p);
        gMapEnd = (reinterpret_cast<uintptr_t>(p) + size + gPageSize - 1) & ~(gPageSize - 1);
    }
    ~MappedFile()
    {
        if (!data_)
            return;
        gMapStart = 0;
        gMapEnd = 0;
        munmap(const_cast<uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    pictures::Bytes Bytes() const { return {data_, data_ ? size_ : 0}; }
    bool Intact() const { return data_ && !gMapFaulted; }

private:
    static std::mutex& Guard()
    {
        static std::mutex m;
        return m;
    }
    const uint8_t* data_ = nullptr;
    size_t size_;
    std::unique_lock<std::mutex> watch_;
};

// A descriptor of the item's file if, following links, it is a regular file: the type is
// checked before the open, so a fifo or a device is never opened, and again on the descriptor,
// so a file swapped in between is not read either.
int OpenRegularFile(const FolderItem& item, struct stat& st)
{
    Ref<FolderItem> parent = item.Parent();
    if (!parent)
        return -1;
    const int dir = parent->OpenDirectoryFd();
    if (dir < 0)
        return -1;
    const std::string name = item.Name().str();
    int fd = -1;
    struct stat before {};
    if (fstatat(dir, name.c_str(), &before, 0) == 0 && S_ISREG(before.st_mode))
        fd = openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    close(dir);
    if (fd < 0)
        return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != before.st_dev || st.st_ino != before.st_ino) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

pictures::Budget ScreenBudget()
{
    pictures::Budget budget;
    int side = 0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QSize size = screen->size() * screen->devicePixelRatio();
            side = std::max({side, size.width(), size.height()});
        }
    }
    budget.maxSide = side > 0 ? side : kSideWithoutScreen;
    budget.deadline = std::chrono::steady_clock::now() + kDecodeTime;
    return budget;
}

Ref<Picture> DecodePicture(pictures::Bytes file, const pictures::Budget& budget)
{
    std::optional<pictures::DecodedPicture> decoded = pictures::DecodeAny(file, budget);
    if (!decoded)
        return nullptr;
    auto picture = std::make_unique<PictureData>();
    picture->image = std::move(decoded->image);
    picture->width = decoded->width;
    picture->height = decoded->height;
    return MakeRef<Picture>(std::move(picture));
}

Ref<Picture> FolderItem::OpenAsPicture()
{
    struct stat st {};
    const int fd = OpenRegularFile(*this, st);
    if (fd < 0)
        return nullptr;
    if (st.st_size <= 0) {
        close(fd);
        return nullptr;
    }
    MappedFile mapped(fd, size_t(st.st_size));
    close(fd);
    pictures::Budget budget = ScreenBudget();
    Ref<Picture> picture = DecodePicture(mapped.Bytes(), budget);
    return mapped.Intact() ? picture : nullptr;
}

} // namespace fw
