// Trees that the file system allows but a careless walk trips over: names that are not text,
// links that loop or lead nowhere, folders the user may not read, paths longer than the system
// limit, fifos, and entries that vanish while the walk runs. Each scan must end, list what a
// person would expect and report no error.
#include "ProgramHarness.h"
#include "TreeBuilder.h"
#include "DeepPath.h"
#include "core/FolderTreeSupport.h"

#include <QThreadPool>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using harness::RunProgram;
using tree_builder::ExpectTagsMatch;
using tree_builder::ListedNames;
using tree_builder::ListedRows;
using tree_builder::Row;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

using Names = std::vector<std::string>;

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// The path of each row's file, taken from its name and the tree it was found in.
void ExpectEachRowIsItsFile(Window1& w, const Tree& t, const std::vector<std::string>& folderOf)
{
    Names paths;
    Names names = ListedNames(w);
    for (size_t i = 0; i < names.size(); ++i)
        paths.push_back(t.Path(folderOf[i] + names[i]));
    ExpectTagsMatch(w, paths);
}

// The scan run by the unprivileged user "nobody" in a child process, so that permission bits
// bind as they do for a person. The child reports each listed name on a line, or a line
// starting with "!" for anything that went wrong.
std::string ScanAsNobody(const std::string& folder)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return "!pipe";
    // Only the forking thread lives on in the child: a pooled thread of the toolkit's that is
    // busy at that moment would leave its locks held there for good.
    QThreadPool::globalInstance()->waitForDone();
    pid_t pid = ::fork();
    if (pid < 0)
        return "!fork";
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string out;
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            out = "!privileges\n";
        } else {
            auto run = RunProgram([&](Window1& w) {
                Scan(w, folder);
                for (const std::string& name : ListedNames(w))
                    out += name + "\n";
            });
            for (const harness::Message& m : run.messages)
                out += "!message " + m.text + "\n";
            if (::testing::Test::HasFailure())
                out += "!failure\n";
        }
        for (size_t done = 0; done < out.size();) {
            ssize_t n = ::write(pipeFds[1], out.data() + done, out.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::_exit(0); // the parent's objects are the parent's to destroy
    }
    ::close(pipeFds[1]);
    std::string got;
    pollfd p{pipeFds[0], POLLIN, 0};
    char buf[4096];
    bool ended = false; // the child closed its end: it is exiting
    // Generous: only a hung child takes this long.
    while (!ended && ::poll(&p, 1, 60000) > 0) {
        ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        ended = n <= 0;
        if (n > 0)
            got.append(buf, size_t(n));
    }
    ::close(pipeFds[0]);
    if (!ended) {
        ::kill(pid, SIGKILL);
        got += "!hung\n";
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        got += "!status " + std::to_string(status) + "\n";
    return got;
}

// Deletes entries of the tree at the first file the walk hands to the list.
std::function<void()> gOnFirstFile;

class DeletingWindow : public Window1 {
public:
    void AddFileToList(const Ref<FolderItem>& file) override
    {
        if (gOnFirstFile) {
            auto once = std::move(gOnFirstFile);
            gOnFirstFile = nullptr;
            once();
        }
        Window1::AddFileToList(file);
    }
};

} // namespace

TEST(BadTree, NamesThatAreNotValidTextAreListedByteForByte)
{
    Tree t;
    t.Make({"bad\xff\xfe.jpg", "a\tb.jpg", "c\nd.png", "ok.jpg", "sub\xc3/e\xe9t\xe9.gif"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        Names names = ListedNames(w);
        EXPECT_EQ(Sorted(names), Sorted({"bad\xff\xfe.jpg", "a\tb.jpg", "c\nd.png", "ok.jpg", "e\xe9t\xe9.gif"}));
        std::vector<std::string> folders;
        for (const Row& row : ListedRows(w))
            folders.push_back(row.parent == t.Name() ? "" : row.parent + "/");
        ExpectEachRowIsItsFile(w, t, folders);
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, LinksAreListedAsFilesAndLinkedFoldersAreNotEntered)
{
    Tree t;
    t.Make({"a/x.jpg", "a/b/y.jpg"});
    ASSERT_EQ(::symlink(t.Root().c_str(), t.Path("a/b/up").c_str()), 0);   // back to the top
    ASSERT_EQ(::symlink("..", t.Path("a/loop.jpg").c_str()), 0);           // a folder named as a picture
    ASSERT_EQ(::symlink(t.Path("nowhere.jpg").c_str(), t.Path("gone.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("a/x.jpg", t.Path("alias.jpg").c_str()), 0);
    bool gaveUp = false;
    auto run = RunProgram([&](Window1& w) {
        // A walk that followed the loop would never end; it yields, so this ends it.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            gaveUp = true;
            fw::RuntimeQuit();
        });
        watchdog.start(60000);
        Scan(w, t.Root());
        ASSERT_FALSE(gaveUp) << "the walk went round the loop";
        EXPECT_EQ(ListedNames(w), (Names{"y.jpg", "x.jpg", "alias.jpg", "gone.jpg"}));
        EXPECT_EQ(w.FolderName()->Text().str(), t.Name());
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, AFolderTheUserMayNotReadContributesNothing)
{
    Tree t;
    t.Make({"open/a.jpg", "z.jpg", "locked/secret.jpg", "locked/inner/deep.jpg", "listless/unseen.jpg"});
    ASSERT_EQ(::chmod(t.Path("locked").c_str(), 0700), 0);   // neither entered nor listed by others
    ASSERT_EQ(::chmod(t.Path("listless").c_str(), 0711), 0); // entered, not listed

    // Root reads through permission bits, so here everything is listed.
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        EXPECT_EQ(Sorted(ListedNames(w)), Sorted({"a.jpg", "z.jpg", "secret.jpg", "deep.jpg", "unseen.jpg"}));
    });
    EXPECT_TRUE(run.messages.empty());

    std::string asNobody = ScanAsNobody(t.Root());
    EXPECT_EQ(asNobody, "a.jpg\nz.jpg\n");
}

TEST(BadTree, APathLongerThanTheSystemLimitIsWalkedToTheBottom)
{
    Tree t;
    const Names levels = deep_path::Make(t.Root());
    ASSERT_EQ(levels.size(), 40u) << std::strerror(errno);
    std::string above = t.Root();
    for (size_t i = 0; i + 3 < levels.size(); ++i)
        above += "/" + levels[i];
    std::string full = above + "/" + levels[37] + "/" + levels[38] + "/" + levels[39] + "/deep.jpg";
    ASSERT_GT(above.size(), size_t(PATH_MAX));

    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        std::vector<Row> rows = ListedRows(w);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], (Row{"1", "deep.jpg", levels[39], levels[38], levels[37], above}));
        ExpectTagsMatch(w, {full});
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, AFifoNamedAsAPictureIsNeitherListedNorOpened)
{
    Tree t;
    t.Make({"y.jpg", "sub/w.png"});
    ASSERT_EQ(::mkfifo(t.Path("x.jpg").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(t.Path("sub/v.jpg").c_str(), 0644), 0);
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        EXPECT_EQ(ListedNames(w), (Names{"w.png", "y.jpg"}));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, LinksToAFifoOrADeviceAreNeitherListedNorOpened)
{
    Tree t;
    t.Make({"y.jpg"});
    ASSERT_EQ(::mkfifo(t.Path("pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("pipe", t.Path("x.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", t.Path("zero.tif").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", t.Path("gone.png").c_str()), 0); // leads nowhere: still listed
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        EXPECT_EQ(ListedNames(w), (Names{"gone.png", "y.jpg"}));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, AChosenFolderThatIsALinkIsWalked)
{
    Tree disk, home;
    disk.Make({"a.jpg", "trip/b.png"});
    ASSERT_EQ(::symlink(disk.Root().c_str(), home.Path("Pictures").c_str()), 0);
    ASSERT_EQ(::symlink(home.Root().c_str(), disk.Path("trip/home").c_str()), 0); // and back
    auto run = RunProgram([&](Window1& w) {
        Scan(w, home.Path("Pictures"));
        EXPECT_EQ(ListedNames(w), (Names{"a.jpg", "b.png"}));
        EXPECT_EQ(w.FolderName()->Text().str(), "Pictures");
        EXPECT_EQ(ListedRows(w).at(1).grandparent, "Pictures"); // the path the user chose
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(BadTree, EntriesDeletedWhileTheWalkRunsAreSkipped)
{
    Tree t;
    t.Make({"a/1.jpg", "a/2.jpg", "a/3.jpg", "b/4.jpg", "b/deeper/5.jpg", "c/6.jpg", "c/7.jpg"});
    gOnFirstFile = [&] {
        folder_tree::RemoveAt(AT_FDCWD, t.Path("b").c_str()); // a folder not read yet
        ::unlink(t.Path("a/2.jpg").c_str());                   // a file of the folder being read
        ::unlink(t.Path("c/7.jpg").c_str());                   // a file of a folder not read yet
    };
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<fw::Object*>(new DeletingWindow); });
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        EXPECT_FALSE(gOnFirstFile) << "the walk never reached a file";
        Names names = ListedNames(w);
        for (const char* kept : {"1.jpg", "3.jpg", "6.jpg"})
            EXPECT_NE(std::find(names.begin(), names.end(), kept), names.end()) << kept;
        for (const char* gone : {"4.jpg", "5.jpg", "7.jpg"})
            EXPECT_EQ(std::find(names.begin(), names.end(), gone), names.end()) << gone;
        std::vector<Row> rows = ListedRows(w);
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].number, std::to_string(i + 1));
    });
    gOnFirstFile = nullptr;
    EXPECT_TRUE(run.messages.empty());
}
