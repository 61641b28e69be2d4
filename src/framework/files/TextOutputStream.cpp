#include "TextOutputStream.h"

#include "FolderItem.h"
#include "SyncThread.h"
#include "framework/runtime/Exceptions.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <utility>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

FW_CLASS_TABLE(TextOutputStream, Object, "TextOutputStream") {}

namespace {

// Large enough that a list of a million files costs only a few hundred write calls.
constexpr size_t kBufferSize = 128 * 1024;
constexpr int kNameAttempts = 100;

std::string Quoted(const String& name) { return "\"" + name.str() + "\""; }

std::string FailureMessage(const char* action, const String& name, int error)
{
    return std::string("Could not ") + action + " " + Quoted(name) + ": " + std::strerror(error);
}

[[noreturn]] void ThrowIO(const char* action, const String& name, int error)
{
    throw IOException(FailureMessage(action, name, error));
}

void CloseQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// Six letters or digits, fresh for every attempt, so that two exports into one folder (or
// another program's leftovers) never meet on one temporary name.
std::string RandomSuffix()
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        // Without the kernel's randomness a clock-and-counter mix still differs per attempt;
        // O_EXCL catches whatever collides.
        static uint64_t counter = 0;
        uint64_t mix = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (uint64_t(::getpid()) << 32) ^ (++counter * 0x9e3779b97f4a7c15ull);
        std::memcpy(bytes, &mix, sizeof bytes);
    }
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kAlphabet[b % (sizeof kAlphabet - 1)];
    return suffix;
}

// The hidden name beside the target. A name near the system's limit is shortened so the
// temporary name still fits; only the final rename needs the full name.
std::string TempNameFor(const String& name)
{
    constexpr size_t kExtra = 8; // the leading "." and ".XXXXXX"
    std::string_view base = name.view();
    if (base.size() > NAME_MAX - kExtra)
        base = base.substr(0, NAME_MAX - kExtra);
    std::string tempName;
    tempName.reserve(base.size() + kExtra);
    tempName.append(".").append(base).append(".").append(RandomSuffix());
    return tempName;
}

// Creates a new temporary file in the folder; its name comes back in `tempName`.
// The mode 0666 is narrowed by the umask, exactly as for any other new file.
int CreateTempFile(int folderFd, const String& name, std::string& tempName)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        tempName = TempNameFor(name);
        int fd = ::openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Errors that can be told before anything is created: a name that cannot be a file's name,
// or a folder (or a link to one) standing where the file should go.
int CheckTarget(int folderFd, const String& name)
{
    std::string_view n = name.view();
    if (n.empty() || n == "." || n == ".." || n.find('/') != std::string_view::npos)
        return EINVAL;
    if (n.size() > NAME_MAX)
        return ENAMETOOLONG;
    struct stat st;
    if (::fstatat(folderFd, name.str().c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode))
        return EISDIR;
    return 0;
}

// A file that replaces an earlier one keeps the earlier one's permissions, as an editor's
// save does; a failure here only leaves the new file's default mode.
void KeepModeOfEarlierFile(int folderFd, const String& name, int fd)
{
    struct stat st;
    if (::fstatat(folderFd, name.str().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        (void)::fchmod(fd, st.st_mode & 07777);
}

} // namespace

Ref<TextOutputStream> TextOutputStream::CreateInFolder(int folderFd, const String& name)
{
    if (folderFd < 0)
        ThrowIO("create", name, EBADF);
    if (int error = CheckTarget(folderFd, name)) {
        CloseQuietly(folderFd);
        ThrowIO("create", name, error);
    }
    std::string tempName;
    int fd = CreateTempFile(folderFd, name, tempName);
    if (fd < 0) {
        int error = errno;
        CloseQuietly(folderFd);
        ThrowIO("create", name, error);
    }
    KeepModeOfEarlierFile(folderFd, name, fd);
    try {
        return Ref<TextOutputStream>(new TextOutputStream(folderFd, name, tempName, fd));
    } catch (...) {
        // Out of memory for the buffer: nothing must stay behind.
        ::unlinkat(folderFd, tempName.c_str(), 0);
        CloseQuietly(fd);
        CloseQuietly(folderFd);
        throw;
    }
}

TextOutputStream::TextOutputStream(int folderFd, String name, std::string tempName, int fd)
    : folderFd_(folderFd), fd_(fd), name_(std::move(name)), tempName_(std::move(tempName)),
      buffer_(new char[kBufferSize]), sync_(std::make_unique<SyncThread>())
{
}

TextOutputStream::~TextOutputStream()
{
    if (state_ == State::Open)
        Discard();
    CloseQuietly(folderFd_);
}

void TextOutputStream::WriteLine(std::initializer_list<std::string_view> fields, char separator)
{
    if (fields.size() == 0) {
        WriteLine(std::string_view("", 0)); // an empty line
        return;
    }
    CheckOpen();
    size_t count = fields.size(); // the separators and the line end
    for (std::string_view f : fields)
        count += f.size();
    if (count <= kBufferSize - used_) {
        char* end = buffer_.get() + used_;
        for (std::string_view f : fields) {
            if (!f.empty())
                std::memcpy(end, f.data(), f.size());
            end += f.size();
            *end++ = separator;
        }
        end[-1] = '\n';
        used_ += count;
        return;
    }
    bool first = true;
    for (std::string_view f : fields) {
        if (!first)
            Append(&separator, 1);
        first = false;
        Append(f.data(), f.size());
    }
    Append("\n", 1);
}

void TextOutputStream::WriteLine(std::string_view text)
{
    CheckOpen();
    size_t count = text.size();
    if (count < kBufferSize - used_) {
        // The usual case, a short line into a buffer with room, costs one copy and no calls.
        char* end = buffer_.get() + used_;
        if (count > 0) // a view of nothing may point nowhere, which memcpy must not be given
            std::memcpy(end, text.data(), count);
        end[count] = '\n';
        used_ += count + 1;
        return;
    }
    Append(text.data(), count);
    Append("\n", 1);
}

void TextOutputStream::Close()
{
    CheckOpen();
    Flush();
    // The disk may take a good while to catch up with a large file: the wait is spent on the
    // sync thread, and the window goes on answering meanwhile.
    int fd = fd_;
    if (int error = sync_->Await([fd] { return ::fsync(fd) == 0 ? 0 : errno; }))
        Fail("write", error);
    // The descriptor is gone after close whatever it reports, and a deferred write error
    // (network file systems) shows up only here.
    fd_ = -1;
    if (::close(fd) != 0)
        Fail("write", errno);
    if (::renameat(folderFd_, tempName_.c_str(), folderFd_, name_.str().c_str()) != 0)
        Fail("save", errno);
    state_ = State::Closed;
    buffer_.reset();
    // The new name is in place; syncing the folder only makes it survive a power cut. File
    // systems that cannot sync a folder say so, but the file is saved either way.
    int folderFd = std::exchange(folderFd_, -1);
    sync_->Await([folderFd] {
        ::fsync(folderFd);
        return 0;
    });
    CloseQuietly(folderFd);
    sync_.reset();
}

void TextOutputStream::Append(const char* bytes, size_t count)
{
    if (count == 0)
        return; // nothing to copy, from what may be no buffer at all
    if (count <= kBufferSize - used_) {
        std::memcpy(buffer_.get() + used_, bytes, count);
        used_ += count;
        return;
    }
    Flush();
    if (count >= kBufferSize) {
        WriteOut(bytes, count); // a huge line goes straight out, without a copy
        return;
    }
    std::memcpy(buffer_.get(), bytes, count);
    used_ = count;
}

void TextOutputStream::Flush()
{
    size_t count = used_;
    used_ = 0;
    WriteOut(buffer_.get(), count);
}

void TextOutputStream::WriteOut(const char* bytes, size_t count)
{
    while (count > 0) {
        ssize_t n = ::write(fd_, bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("write", errno);
        }
        if (n == 0)
            Fail("write", ENOSPC); // a regular file that takes nothing has no room left
        bytes += n;
        count -= size_t(n);
        written_ += size_t(n);
    }
    // Start writing what has piled up to the disk now, while the export goes on, so that the
    // fsync at the end waits for little. Only a hint to the system: its result does not matter.
    // It is given on the sync thread, as it waits whenever the disk's queue is full.
    if (written_ - started_ >= kWritebackChunk) {
        sync_->Post([fd = fd_, from = off64_t(started_), count = off64_t(written_ - started_)] {
            (void)::sync_file_range(fd, from, count, SYNC_FILE_RANGE_WRITE);
        });
        started_ = written_;
    }
}

void TextOutputStream::Fail(const char* action, int error)
{
    Discard();
    CloseQuietly(folderFd_);
    folderFd_ = -1;
    state_ = State::Failed;
    failure_ = FailureMessage(action, name_, error);
    throw IOException(failure_);
}

void TextOutputStream::Discard()
{
    if (sync_)
        sync_->Stop(); // nothing may use the descriptor once it is closed
    CloseQuietly(fd_);
    fd_ = -1;
    ::unlinkat(folderFd_, tempName_.c_str(), 0);
    buffer_.reset();
    used_ = 0;
}

void TextOutputStream::CheckOpen() const
{
    if (state_ == State::Closed)
        throw IOException("Could not write " + Quoted(name_) + ": the file is already closed");
    if (state_ == State::Failed)
        throw IOException(failure_); // the first failure says best what went wrong
}

Ref<TextOutputStream> FolderItem::CreateTextFile()
{
    Ref<FolderItem> folder = Parent();
    if (!folder)
        ThrowIO("create", AbsolutePath(), EISDIR); // the root of the file system
    int folderFd = folder->OpenDirectoryFd();
    if (folderFd < 0) {
        int error = errno;
        ThrowIO("create", Name(), error);
    }
    return TextOutputStream::CreateInFolder(folderFd, Name());
}

} // namespace fw
