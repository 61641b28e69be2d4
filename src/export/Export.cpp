// The export: the list, in its current order, as tab-separated text.
#include "framework/files/TextOutputStream.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"
#include "framework/ui/Dialogs.h"
#include "window/Window1.h"


using namespace fw;

void Window1::ExportButton_Action(PushButton&)
{
    ExportFileList();
}

void Window1::ExportFileList()
{
    Ref<FolderItem> target = GetSaveFolderItem("", "unknown.txt");
    if (!target)
        return;
    // A scan started from the export's yields would empty the list and refill it under the
    // export, which would then write a file mixing two lists.
    BusyGuard guard(exporting_);
    Ref<TextOutputStream> out = target->CreateTextFile();
    const String tab = Chr(9);
    out->WriteLine(String("#") + tab + "File Name" + tab + "Folder1" + tab + "Folder2" + tab + "Folder3" + tab +
                   "Additional Path");
    int32_t n = FileList()->ListCount();
    // The list is looked up anew after every turn of the event loop, the only time another
    // handler can have changed it.
    Ref<Listbox> list = FileList();
    // A heading click while the export yields is made when it ends: sorting the rows under it
    // would write some rows twice and leave others out.
    Listbox::OrderHold hold(*list);
    const char separator = tab.view()[0];
    for (int32_t i = 0; i < n; ++i) {
        // Another handler may empty or shrink the list while the export yields: stop at its
        // present end rather than read a row that is gone.
        if (i >= list->ListCount())
            break;
        // The line is written whole, its cells all read with no yield in between.
        String number = Str(list->CellTag(i, 0).ToInt32());
        out->WriteLine({number.view(), list->CellText(i, 1), list->CellText(i, 2), list->CellText(i, 3),
                        list->CellText(i, 4), list->CellText(i, 5)},
                       separator);
        if (RuntimeBackgroundTask())
            list = FileList();
    }
    out->Close();
}
