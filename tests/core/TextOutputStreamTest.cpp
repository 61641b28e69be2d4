#include "FileBytes.h"
#include "framework/files/FolderItem.h"
#include "framework/files/TextOutputStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace fw;

namespace {

using Names = std::set<std::string>;

using file_bytes::ReadFile;

void WriteFile(const std::string& path, const std::string& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

Names ListFolder(const std::string& path)
{
    Names names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// Runs `attempt` and hands back the message of the IOException it raised, or "" when none.
template <typename F>
std::string IOFailure(F attempt)
{
    try {
        attempt();
    } catch (const IOException& e) {
        return e.what();
    }
    return "";
}

// Root writes anywhere, so a refused write can only be seen by someone else: runs `attempt`
// in a child process that has become "nobody" and hands back the text it returned.
template <typename F>
std::string RunAsNobody(F attempt)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "no pipe";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string report = "could not become nobody";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            report = attempt();
        ssize_t ignored = ::write(pipeFds[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "the child process failed";
    return report;
}

class TextOutputStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zorlin-text-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::chmod(dir_.c_str(), 0755); // the unprivileged child must be able to look inside
    }
    void TearDown() override
    {
        if (!dir_.empty())
            std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
    Ref<TextOutputStream> Create(const std::string& name)
    {
        return FolderItem::FromPath(PathOf(name))->CreateTextFile();
    }

    std::string dir_;
};

std::string LinesOf(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

} // namespace

// ---- What ends up in the file -------------------------------------------------------------

TEST_F(TextOutputStreamTest, WritesTheBytesOfEachLineAsGiven)
{
    const std::vector<std::string> lines = {
        "Name\tPath",
        "",
        "\xc3\xa9t\xc3\xa9.jpg\t/photos/\xc3\xa9t\xc3\xa9.jpg", // été
        "bad\xff\xfe" "bytes\xc3",                              // not UTF-8: kept as they are
        "a\t\tb",
        "",
    };
    Ref<TextOutputStream> out = Create("list.txt");
    for (const std::string& line : lines)
        out->WriteLine(String(line));
    out->Close();
    EXPECT_EQ(ReadFile(PathOf("list.txt")), LinesOf(lines));
    EXPECT_EQ(ListFolder(dir_), Names({"list.txt"}));
}

TEST_F(TextOutputStreamTest, NoLinesMakeAnEmptyFileWithTheUsualMode)
{
    Create("empty.txt")->Close();
    EXPECT_EQ(ReadFile(PathOf("empty.txt")), "");

    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(PathOf("empty.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
}

TEST_F(TextOutputStreamTest, AMillionLinesAndALineLargerThanTheBuffer)
{
    std::string expected;
    Ref<TextOutputStream> out = Create("big.txt");
    for (int i = 0; i < 1000000; ++i) {
        std::string line = "IMG_" + std::to_string(i) + ".jpg\t/home/me/Pictures/" + std::to_string(i % 97);
        out->WriteLine(String(line));
        expected += line + "\n";
        if (i == 500000) {
            std::string huge(300 * 1024, 'x');
            out->WriteLine(String(huge));
            expected += huge + "\n";
        }
    }
    out->Close();
    std::string written = ReadFile(PathOf("big.txt"));
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
}

TEST_F(TextOutputStreamTest, ANameAtTheSystemLimitStillWorks)
{
    std::string name(NAME_MAX - 4, 'n');
    name += ".txt";
    Ref<TextOutputStream> out = Create(name);
    out->WriteLine("long");
    out->Close();
    EXPECT_EQ(ReadFile(PathOf(name)), "long\n");
    EXPECT_EQ(ListFolder(dir_), Names({name}));
}

TEST_F(TextOutputStreamTest, WorksBelowThePathLengthLimit)
{
    // Nested folders whose full path is far longer than PATH_MAX.
    std::string component(200, 'd');
    int fd = ::open(dir_.c_str(), O_DIRECTORY | O_CLOEXEC);
    std::string path = dir_;
    for (int depth = 0; depth < 30; ++depth) {
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        int next = ::openat(fd, component.c_str(), O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/" + component;
    }
    ASSERT_GT(path.size(), size_t(PATH_MAX));

    Ref<TextOutputStream> out = FolderItem::FromPath(path + "/deep.txt")->CreateTextFile();
    out->WriteLine("deep");
    out->Close();

    char bytes[16] = {};
    int file = ::openat(fd, "deep.txt", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_EQ(::read(file, bytes, sizeof bytes), 5);
    EXPECT_STREQ(bytes, "deep\n");
    ::close(file);
    ::close(fd);
}

// ---- Replacing an earlier file, and what is left after success or failure -----------------

TEST_F(TextOutputStreamTest, ReplacesAnEarlierFileOnlyAtClose)
{
    WriteFile(PathOf("list.txt"), "old line 1\nold line 2\nold line 3\n");
    Ref<TextOutputStream> out = Create("list.txt");
    out->WriteLine("new");
    EXPECT_EQ(ReadFile(PathOf("list.txt")), "old line 1\nold line 2\nold line 3\n");
    EXPECT_EQ(ListFolder(dir_).size(), 2u); // the target and the hidden temporary file
    out->Close();
    EXPECT_EQ(ReadFile(PathOf("list.txt")), "new\n");
    EXPECT_EQ(ListFolder(dir_), Names({"list.txt"}));
}

TEST_F(TextOutputStreamTest, ALineWrittenInFieldsIsTheJoinedLine)
{
    // Enough lines that some fall across the end of the buffer, and one field larger than it.
    std::string big(300000, 'x');
    std::string expected;
    Ref<TextOutputStream> out = Create("fields.txt");
    for (int i = 0; i < 20000; ++i) {
        std::string n = std::to_string(i);
        out->WriteLine({n, "name", "", "fol\tder"}, '\t');
        expected += n + "\tname\t\tfol\tder\n";
    }
    out->WriteLine({"a", big, "b"}, ',');
    expected += "a," + big + ",b\n";
    out->WriteLine({""}, '\t');
    out->WriteLine({}, '\t');
    expected += "\n\n";
    out->Close();
    EXPECT_EQ(ReadFile(PathOf("fields.txt")), expected);
}

TEST_F(TextOutputStreamTest, AReplacedFileKeepsItsPermissions)
{
    WriteFile(PathOf("shared.txt"), "old\n");
    ::chmod(PathOf("shared.txt").c_str(), 0640);
    Ref<TextOutputStream> out = Create("shared.txt");
    out->WriteLine("new");
    out->Close();
    struct stat st;
    ASSERT_EQ(::stat(PathOf("shared.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(PathOf("shared.txt")), "new\n");
}

TEST_F(TextOutputStreamTest, AnAbandonedStreamLeavesTheEarlierFileAndNoTemporaryFile)
{
    WriteFile(PathOf("list.txt"), "earlier\n");
    {
        Ref<TextOutputStream> out = Create("list.txt");
        out->WriteLine("never saved");
        for (int i = 0; i < 50000; ++i) // more than the buffer holds: some of it reached the disk
            out->WriteLine("line");
    }
    EXPECT_EQ(ReadFile(PathOf("list.txt")), "earlier\n");
    EXPECT_EQ(ListFolder(dir_), Names({"list.txt"}));

    { Ref<TextOutputStream> out = Create("new.txt"); }
    EXPECT_EQ(ListFolder(dir_), Names({"list.txt"}));
}

TEST_F(TextOutputStreamTest, AFailedRenameRemovesTheTemporaryFile)
{
    Ref<TextOutputStream> out = Create("list.txt");
    out->WriteLine("text");
    // A folder takes the name while the export runs; it must survive the failed save.
    ASSERT_EQ(::mkdir(PathOf("list.txt").c_str(), 0755), 0);
    WriteFile(PathOf("list.txt/inside"), "kept");
    std::string message = IOFailure([&] { out->Close(); });
    EXPECT_NE(message.find("\"list.txt\""), std::string::npos) << message;
    EXPECT_NE(message.find(": "), std::string::npos) << message;
    EXPECT_EQ(ListFolder(dir_), Names({"list.txt"}));
    EXPECT_EQ(ReadFile(PathOf("list.txt/inside")), "kept");

    EXPECT_NE(IOFailure([&] { out->WriteLine("more"); }), "");
    EXPECT_NE(IOFailure([&] { out->Close(); }), "");
}

TEST_F(TextOutputStreamTest, CallsAfterCloseRaiseInsteadOfWriting)
{
    Ref<TextOutputStream> out = Create("list.txt");
    out->WriteLine("one");
    out->Close();
    EXPECT_NE(IOFailure([&] { out->WriteLine("two"); }).find("closed"), std::string::npos);
    EXPECT_NE(IOFailure([&] { out->Close(); }).find("closed"), std::string::npos);
    EXPECT_EQ(ReadFile(PathOf("list.txt")), "one\n");
}

// ---- Files that cannot be created -----------------------------------------------------------

TEST_F(TextOutputStreamTest, AFolderOfThatNameIsNotReplaced)
{
    ASSERT_EQ(::mkdir(PathOf("photos").c_str(), 0755), 0);
    std::string message = IOFailure([&] { Create("photos"); });
    EXPECT_EQ(message, std::string("Could not create \"photos\": ") + std::strerror(EISDIR));
    EXPECT_EQ(ListFolder(dir_), Names({"photos"}));
    EXPECT_EQ(ListFolder(PathOf("photos")), Names());
}

TEST_F(TextOutputStreamTest, AMissingFolderGivesTheReason)
{
    std::string message = IOFailure([&] { Create("missing/list.txt"); });
    EXPECT_EQ(message, std::string("Could not create \"list.txt\": ") + std::strerror(ENOENT));
    EXPECT_EQ(ListFolder(dir_), Names());
}

TEST_F(TextOutputStreamTest, AnUnwritableFolderCreatesNothing)
{
    ASSERT_EQ(::getuid(), 0u) << "the test drops to an unprivileged user and needs root for it";
    WriteFile(PathOf("x.txt"), "earlier\n");
    ::chmod(dir_.c_str(), 0755); // owned by root: others may look but not write

    std::string message = RunAsNobody([&] { return IOFailure([&] { Create("x.txt")->WriteLine("never"); }); });
    EXPECT_EQ(message, std::string("Could not create \"x.txt\": ") + std::strerror(EACCES));
    EXPECT_EQ(ListFolder(dir_), Names({"x.txt"}));
    EXPECT_EQ(ReadFile(PathOf("x.txt")), "earlier\n");
}

// ---- A full disk ----------------------------------------------------------------------------

class TextOutputStreamDiskFullTest : public TextOutputStreamTest {
protected:
    void SetUp() override
    {
        TextOutputStreamTest::SetUp();
        if (::getuid() != 0)
            GTEST_SKIP() << "mounting a small file system needs root";
        ASSERT_EQ(::mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755"), 0)
            << std::strerror(errno);
        mounted_ = true;
        WriteFile(PathOf("list.txt"), kEarlier);
        FillUp();
    }
    void TearDown() override
    {
        if (mounted_) {
            EXPECT_EQ(::umount(dir_.c_str()), 0) << std::strerror(errno);
        }
        TextOutputStreamTest::TearDown();
    }

    // Fills the file system to the brim with a filler file.
    void FillUp()
    {
        int fd = ::open(PathOf("filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        std::string chunk(512, 'f');
        ssize_t n;
        while ((n = ::write(fd, chunk.data(), chunk.size())) > 0)
            fillerSize_ += size_t(n);
        EXPECT_EQ(errno, ENOSPC);
        ::close(fd);
    }

    // Hands some room back, so that an export first gets some of its bytes onto the disk.
    void FreeSome(size_t bytes)
    {
        fillerSize_ -= std::min(bytes, fillerSize_);
        ASSERT_EQ(::truncate(PathOf("filler").c_str(), off_t(fillerSize_)), 0);
    }

    void ExpectEarlierFileIntact()
    {
        EXPECT_EQ(ReadFile(PathOf("list.txt")), kEarlier);
        EXPECT_EQ(ListFolder(dir_), Names({"filler", "list.txt"}));
    }

    static constexpr const char* kEarlier = "the earlier list\nwith two lines\n";
    bool mounted_ = false;
    size_t fillerSize_ = 0;
};

TEST_F(TextOutputStreamDiskFullTest, AShortListFailsAtCloseAndKeepsTheEarlierFile)
{
    Ref<TextOutputStream> out = Create("list.txt");
    out->WriteLine("a.jpg\t/pictures/a.jpg");
    out->WriteLine("b.jpg\t/pictures/b.jpg");
    std::string message = IOFailure([&] { out->Close(); });
    EXPECT_EQ(message, "Could not write \"list.txt\": No space left on device");
    ExpectEarlierFileIntact();
    EXPECT_NE(IOFailure([&] { out->WriteLine("c"); }).find("No space left on device"), std::string::npos);
}

TEST_F(TextOutputStreamDiskFullTest, ALongListFailsWhileWritingAndKeepsTheEarlierFile)
{
    FreeSome(16 * 1024);
    Ref<TextOutputStream> out = Create("list.txt");
    int written = 0;
    std::string message = IOFailure([&] {
        for (; written < 100000; ++written)
            out->WriteLine("IMG_0001.jpg\t/home/me/Pictures/Holidays/IMG_0001.jpg");
    });
    EXPECT_LT(written, 100000);
    EXPECT_EQ(message, "Could not write \"list.txt\": No space left on device");
    ExpectEarlierFileIntact();
    EXPECT_NE(IOFailure([&] { out->Close(); }), "");
}
