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
#include <vector>

namespace fw {

struct Listing;
class Picture;
class TextOutputStream;

class FolderItem : public Object {
    FW_DECLARE_CLASS()
public:
    enum class Kind : uint8_t { Missing, File, Folder, LinkToFolder, Other };

    // The item at an absolute POSIX path, with shared nodes for every folder above it.
    // The item need not exist (a save dialog names files that are not there yet).
    // Nil for a path that does not begin with "/".
    static Ref<FolderItem> FromPath(std::string_view absolutePath);

    ~FolderItem() override;

    // Nodes come from a bulk pool: a scan makes one for every file it lists.
    static void* operator new(size_t size);
    static void operator delete(void* node, size_t size);

    const String& Name() const { return name_; }          // the native bytes of the item's own name
    bool Exists() const;                           // asks the file system afresh
    bool Directory() const;                        // a folder, or a link to one
    bool Visible() const;                          // names beginning with "." are invisible
    String AbsolutePath() const;                   // no trailing "/"; "/" for the root
    Ref<FolderItem> Parent() const { return parent_; } // nil above the root
    int32_t Count();                               // entries of a folder; 0 for anything else
    // 1 to Count; nil outside that range. The same node for as long as anyone holds it.
    Ref<FolderItem> Item(int32_t index);
    Kind GetKind() const { return kind_; }

    // An open descriptor of this folder (O_DIRECTORY), or -1 with errno set. The caller
    // closes it. Works below the system's path length limit by opening relative to parents.
    // A folder that may be entered but not listed gives an O_PATH descriptor, good for the
    // *at calls but not for reading the folder.
    int OpenDirectoryFd() const;

    Ref<TextOutputStream> CreateTextFile();        // see TextOutputStream.h
    Ref<Picture> OpenAsPicture();                  // nil when the file yields no picture

private:
    FolderItem(Ref<FolderItem> parent, String name, Kind kind);
    void ReadEntries();
    bool Named() const;                // made from a path the user gave, not from a listing
    void ReleaseChain();

    struct FolderData;
    FolderData& Data() const;
    int BorrowFd() const;              // this folder's cached descriptor; the cache closes it
    int OpenHere(int flags) const;     // a new descriptor of this folder, opened at its parent
    int OpenFromAbove() const;         // a new O_PATH descriptor, opened down from above
    int ReopenFromBelow() const;       // the same, climbing ".." from a folder below
    int FollowFlag() const;
    bool ForgetDescriptors() const;    // closes the cached descriptors of this chain
    Kind KindOfChild(const String& name) const;
    void SetListIndex(size_t index);
    void LeaveParentList();
    void ReadAhead();
    bool HasTicket(uint32_t index) const;
    void HandOverTicket(uint32_t index, FolderItem& child);
    bool StillCurrent(const Listing& listing) const;

    // Kind and list index come first: they fill the padding after Object's count, which keeps
    // a node at five words.
    Kind kind_;
    uint8_t listIndexHigh_ = 0;  // 1 + the index in the parent's entries, 0 when not listed
    uint16_t listIndexLow_ = 0;
    Ref<FolderItem> parent_;
    String name_;
    mutable std::unique_ptr<FolderData> folder_; // only folders that were read or asked for a path
};

} // namespace fw
