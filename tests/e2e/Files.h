#pragma once
// Folders and files for the end-to-end tests, and the export the program should write for a
// tree, worked out here independently of the program.
#include <string>
#include <vector>

namespace e2e::files {

// A fresh folder under /tmp (or `under`, /dev/shm say) that everyone may enter.
std::string MakeTempFolder(const std::string& prefix, const std::string& under = "/tmp");
// Removes the folder and everything in it; only below /tmp or /dev/shm.
void RemoveTree(const std::string& path);

// A fresh folder under /tmp (or `under`), removed with everything in it when the object goes,
// also when a test stops at a failed assertion.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix, const std::string& under = "/tmp")
        : path_(MakeTempFolder(prefix, under)) {}
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
// The file's bytes, or "" when it cannot be read.
std::string ReadText(const std::string& path);
std::vector<std::string> Lines(const std::string& text);
// Names in the folder, "." and ".." left out.
std::vector<std::string> FolderNames(const std::string& folder);

// Each entry is a path below root: one ending in "/" is a folder, any other an empty file.
void Make(const std::string& root, const std::vector<std::string>& entries);

// The export's header line.
extern const std::string kHeader;

// Who runs the scan: root reads every folder; another user only those that all may read.
enum class Reader { Root, Other };

// The lines of an export of a scan of root, header first: every visible file with an image
// extension whose name holds `filter` (all of them when it is empty), in the order of a
// depth-first walk that takes each folder's entries as a file manager sorts them, numbered
// from 1, with the names of the three folders above it and the path of the fourth. Files are
// regular files and links that lead to one or nowhere; links to folders are not followed.
// A name that holds a line end makes two lines of the file, so compare FileText of these
// with the file's text rather than these with its lines.
std::vector<std::string> ExpectedExport(const std::string& root, const std::string& filter = "",
                                        Reader reader = Reader::Root);
// The lines as the export writes them, each ended with a line feed.
std::string FileText(const std::vector<std::string>& lines);
// The same lines with the rows sorted on one column (0 to 5) as a heading click sorts them;
// the number column by value.
std::vector<std::string> SortedOn(std::vector<std::string> lines, int column);

// The hint a selected file's name gives: trimmed, its first "X-" and first ".tif" removed;
// the first run of six digits that starts before the last six characters, or else all of it.
std::string HintOf(const std::string& name);

} // namespace e2e::files
