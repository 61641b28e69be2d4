#pragma once
// FolderItem: one node of a tree of shared nodes standing for files and folders on disk.
// Siblings share one parent node, so the names and paths above a file are kept once, not per
// file. A folder reads its entries once, on first use, sorted as a file manager shows them.
// Directories are read with readdir on descriptors relative to their parent, so paths longer
// than the system limit work and names that are not valid UTF-8 are kept byte for byte.
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/Ref.h"
#include "framework/runtime/String.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace fw {

class Picture;
class TextOutputStream;

class FolderItem : public Object {
    FW_DECLARE_CLASS()
public:
    enum class Kind : uint8_t { Missing, File, Folder, LinkToFolder, Other };

    // The item at an absolute POSIX path, with shared nodes for every folder above it.
    // The item need not exist (a save dialog names files that are not there yet).
    static Ref<FolderItem> FromPath(std::string_view absolutePath);

    ~FolderItem() override;

    String Name() const { return name_; }          // the native bytes of the item's own name
    bool Exists() const;                           // asks the file system afresh
    bool Directory() const;                        // a folder, or a link to one
    bool Visible() const;                          // names beginning with "." are invisible
    String AbsolutePath() const;                   // no trailing "/"; "/" for the root
    Ref<FolderItem> Parent() const { return parent_; } // nil above the root
    int32_t Count();                               // entries of a folder; 0 for anything else
    Ref<FolderItem> Item(int32_t index);           // 1 to Count; nil outside that range
    Kind GetKind() const { return kind_; }

    // An open descriptor of this folder (O_DIRECTORY), or -1 with errno set. The caller
    // closes it. Works below the system's path length limit by opening relative to parents.
    int OpenDirectoryFd() const;

    Ref<TextOutputStream> CreateTextFile();        // see TextOutputStream.h
    Ref<Picture> OpenAsPicture();                  // nil when the file yields no picture

private:
    FolderItem(Ref<FolderItem> parent, String name, Kind kind);
    void ReadEntries();

    struct FolderData;
    Ref<FolderItem> parent_;
    String name_;
    Kind kind_;
    std::unique_ptr<FolderData> folder_; // only folders that were read or asked for a path
};

} // namespace fw
