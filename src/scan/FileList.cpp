// The folder scan: every visible image file of the chosen tree becomes one numbered row with
// its three enclosing folders and the path above them.
#include "app/Module1.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"
#include "framework/ui/Dialogs.h"
#include "window/Window1.h"

#include <string_view>
#include <vector>

using namespace fw;
using namespace Module1;

namespace {

// The image extensions, made once rather than per file. Text comparison ignores letter case,
// so one spelling of each is enough: "TIF" is "tif".
const String kImageExtensions[] = {"tif", "tiff", "jpg", "jpeg", "gif", "bmp", "png", "dcm", "pict"};

} // namespace

void Window1::ScanButton_Action(PushButton&)
{
    BuildFileList();
}

void Window1::InitFileList()
{
    Ref<Listbox> list = FileList();
    for (int32_t column = 0; column <= 4; ++column) {
        list->SetColumnType(column, 1);
        list->SetColumnSortDirection(column, 1);
    }
    list->SetColumnType(5, 1);
    list->SetColumnSortDirection(6, 0); // past the last column: the list ignores it
    list->SetColumnWidths("10%,24%,12%,12%,12%,30%");
    list->DeleteAllRows();
}

void Window1::BuildFileList()
{
    // A request while a walk or an export runs (from their yields) is refused: two walks would
    // interleave their rows into one misnumbered list, and an export would write a file that
    // mixes the old list with the new one.
    if (scanning_ || exporting_)
        return;
    FileList()->DeleteAllRows();
    gFileCount = 0;
    Ref<FolderItem> folder = SelectFolder();
    if (!folder || !folder->Exists() || !folder->Directory())
        return;
    FolderName()->SetText(folder->Name());
    BusyGuard guard(scanning_);
    bool flag = true;
    ParseFolder(folder, Ref<fw::Window>(ImplicitInstance()), flag);
}

// The walk keeps its own stack of folders, one frame per folder being walked with the number
// of its next entry, instead of calling itself once per level: trees nested a hundred thousand
// folders deep would need more than the thread's stack. It makes the very calls a walk that
// calls itself for each subfolder makes, in the same order: a folder's entries are taken from
// 1 up to its count, asked afresh before each one; a subfolder's frame goes on top and is
// walked to its end before its parent takes its next entry, so the rows of a subfolder come
// at its place among its siblings; the hook runs after every entry, for a subfolder once its
// whole walk is over (when its frame comes off); and each folder's list repaint comes as its
// frame comes off, so the innermost folders are repainted first and the chosen one last.
void Window1::ParseFolder(const Ref<FolderItem>& item, const Ref<fw::Window>&, bool&)
{
    if (!item->Directory()) {
        AddFileToList(item);
        FileList()->Refresh(true);
        return;
    }
    struct Frame {
        Ref<FolderItem> folder;
        int32_t next; // the entry the folder's walk takes next, from 1
    };
    std::vector<Frame> stack;
    stack.push_back({item, 1});
    for (;;) {
        Frame& top = stack.back();
        if (top.folder->Count() >= top.next) {
            // One node for the test and the call: a node nobody holds is let go, and making
            // it again costs as much as the rest of the entry's work.
            Ref<FolderItem> entry = top.folder->Item(top.next++);
            if (entry->Directory()) {
                stack.push_back({std::move(entry), 1});
                continue; // the hook for this entry runs when its walk is over
            }
            AddFileToList(entry);
        } else {
            FileList()->Refresh(true);
            stack.pop_back();
            if (stack.empty())
                return;
        }
        RuntimeBackgroundTask();
    }
}

void Window1::AddFileToList(const Ref<FolderItem>& file)
{
    if (!file->Visible())
        return;
    if (gUseHint && Len(gHintStrg) > 0) {
        if (InStr(1, file->Name(), gHintStrg) > 0)
            AppendFileToList(file);
        return;
    }
    AppendFileToList(file);
}

void Window1::AppendFileToList(const Ref<FolderItem>& file)
{
    if (!file)
        return;
    // The extension is the last of the pieces that splitting the trimmed name at every "."
    // gives: what follows its last ".", or the whole trimmed name when it has none. Found
    // without making the other pieces, which would cost more than the rest of the row.
    String trimmed = Trim(file->Name());
    std::string_view name = trimmed.view();
    size_t dot = name.rfind('.');
    const String extension(dot == std::string_view::npos ? name : name.substr(dot + 1));
    bool isImage = false;
    for (const String& e : kImageExtensions)
        if (Equals(extension, e)) {
            isImage = true;
            break;
        }
    if (!isImage)
        return;
    gFileCount += 1;
    Ref<Listbox> list = FileList();
    list->AddRow(Str(gFileCount));
    int32_t row = list->LastIndex();
    String folder1, folder2, folder3, path;
    if (Ref<FolderItem> p1 = file->Parent()) {
        folder1 = p1->Name();
        if (Ref<FolderItem> p2 = p1->Parent()) {
            folder2 = p2->Name();
            if (Ref<FolderItem> p3 = p2->Parent()) {
                folder3 = p3->Name();
                if (Ref<FolderItem> p4 = p3->Parent())
                    path = p4->AbsolutePath();
            }
        }
    }
    list->SetCellTag(row, 0, Int32ToVariant(gFileCount));
    list->SetCellTag(row, 1, Variant(file));
    list->SetCell(row, 1, file->Name());
    list->SetCell(row, 2, folder1);
    list->SetCell(row, 3, folder2);
    list->SetCell(row, 4, folder3);
    list->SetCell(row, 5, path);
}
