#pragma once
// Temporary folder trees for the tests of the folder scan, and what the scan put in the list.
#include "window/Window1.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tree_builder {

// A fresh folder that every user may enter, removed with everything in it at the end of the
// scope. It is made in /tmp unless another parent folder is given.
class Tree {
public:
    explicit Tree(const std::string& parent = "/tmp");
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    const std::string& Root() const { return root_; }
    std::string Name() const;                        // the root folder's own name
    std::string Path(std::string_view relative) const { return root_ + "/" + std::string(relative); }

    // Each entry is a path below the root: one ending in "/" is a folder, any other an empty
    // file. The folders above an entry are made as needed.
    void Make(std::initializer_list<std::string_view> entries) const;
    void Make(const std::vector<std::string>& entries) const;
    // count files in folder (made as needed), named prefix, a five-digit number from 1, suffix.
    void MakeNumbered(std::string_view folder, std::string_view prefix, int count, std::string_view suffix) const;

private:
    std::string root_;
};

// One row of the list as a person reads it.
struct Row {
    std::string number, name, parent, grandparent, greatGrandparent, pathAbove;
    bool operator==(const Row&) const = default;
};

std::vector<Row> ListedRows(Window1& w);
std::vector<std::string> ListedNames(Window1& w);

// The four ancestor cells the program shows for a file at this absolute path: the names of the
// three folders above it, then the path of the fourth; the root folder's name is "/".
Row ExpectedRow(int number, const std::string& filePath);

// Presses "Scan Folder..." with a real click, the dialog answered by folder ("" cancels).
void Scan(Window1& w, const std::string& folder);

// Checks every row's tags: column 0 holds the running number, column 1 the file, whose path is
// the folder's path with the row's name.
void ExpectTagsMatch(Window1& w, const std::vector<std::string>& paths);

} // namespace tree_builder
