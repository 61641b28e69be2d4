#include "TreeBuilder.h"

#include "ProgramHarness.h"
#include "core/FolderTreeSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tree_builder {
namespace {

void MakeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        ADD_FAILURE() << path << ": " << std::strerror(errno);
}

void MakeFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        ADD_FAILURE() << path << ": " << std::strerror(errno);
    else
        ::close(fd);
}

std::string LastName(const std::string& path)
{
    return path == "/" ? path : path.substr(path.rfind('/') + 1);
}

} // namespace

Tree::Tree(const std::string& parent)
{
    std::string pattern = parent + (parent.back() == '/' ? "" : "/") + "zorlin-scan-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << std::strerror(errno);
    root_ = made ? made : "/nonexistent";
    ::chmod(root_.c_str(), 0755); // mkdtemp makes it for its owner only
}

Tree::~Tree()
{
    if (root_ != "/nonexistent")
        folder_tree::RemoveAt(AT_FDCWD, root_.c_str());
}

std::string Tree::Name() const
{
    return LastName(root_);
}

void Tree::Make(std::initializer_list<std::string_view> entries) const
{
    Make(std::vector<std::string>(entries.begin(), entries.end()));
}

void Tree::Make(const std::vector<std::string>& entries) const
{
    for (const std::string& entry : entries) {
        for (size_t slash = entry.find('/'); slash != std::string::npos && slash + 1 < entry.size();
             slash = entry.find('/', slash + 1))
            MakeFolder(Path(entry.substr(0, slash)));
        if (entry.back() == '/')
            MakeFolder(Path(entry.substr(0, entry.size() - 1)));
        else
            MakeFile(Path(entry));
    }
}

void Tree::MakeNumbered(std::string_view folder, std::string_view prefix, int count, std::string_view suffix) const
{
    Make({std::string(folder) + "/"});
    std::string base = Path(folder) + "/" + std::string(prefix);
    std::string first;
    for (int i = 1; i <= count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%05d", i);
        std::string path = base + number + std::string(suffix);
        // Names linked to one file: a walk sees as many files, and making them costs far less.
        if (first.empty()) {
            MakeFile(path);
            first = path;
        } else if (::link(first.c_str(), path.c_str()) != 0) {
            ADD_FAILURE() << path << ": " << std::strerror(errno);
            return;
        }
    }
}

std::vector<Row> ListedRows(Window1& w)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    std::vector<Row> rows;
    for (int32_t r = 0; r < list->ListCount(); ++r)
        rows.push_back({list->Cell(r, 0).str(), list->Cell(r, 1).str(), list->Cell(r, 2).str(),
                        list->Cell(r, 3).str(), list->Cell(r, 4).str(), list->Cell(r, 5).str()});
    return rows;
}

std::vector<std::string> ListedNames(Window1& w)
{
    std::vector<std::string> names;
    for (const Row& row : ListedRows(w))
        names.push_back(row.name);
    return names;
}

Row ExpectedRow(int number, const std::string& filePath)
{
    std::vector<std::string> folders; // nearest first, up to the root
    for (std::string p = filePath; p != "/";) {
        size_t slash = p.rfind('/');
        p = slash == 0 ? "/" : p.substr(0, slash);
        folders.push_back(p);
    }
    auto nameAt = [&](size_t i) { return i < folders.size() ? LastName(folders[i]) : std::string(); };
    return {std::to_string(number), LastName(filePath), nameAt(0), nameAt(1), nameAt(2),
            folders.size() > 3 ? folders[3] : std::string()};
}

void Scan(Window1& w, const std::string& folder)
{
    harness::AnswerDialogs({folder});
    harness::Click(fw::Ref<fw::RectControl>(w.ScanButton()));
}

void ExpectTagsMatch(Window1& w, const std::vector<std::string>& paths)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    ASSERT_EQ(list->ListCount(), int32_t(paths.size()));
    for (int32_t r = 0; r < list->ListCount(); ++r) {
        fw::Variant number = list->CellTag(r, 0);
        EXPECT_TRUE(number.IsInteger()) << "row " << r;
        EXPECT_EQ(number.ToInt32(), r + 1);
        fw::Ref<fw::FolderItem> file = fw::RuntimeCheckCast<fw::FolderItem>(list->CellTag(r, 1).ToObject());
        ASSERT_TRUE(file) << "row " << r;
        EXPECT_EQ(file->AbsolutePath().str(), paths[size_t(r)]);
        EXPECT_EQ(file->Name(), list->Cell(r, 1));
    }
}

} // namespace tree_builder
