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
    Ref<TextOutputStream> out = target->CreateTextFile();
    const String tab = Chr(9);
    out->WriteLine(String("#") + tab + "File Name" + tab + "Folder1" + tab + "Folder2" + tab + "Folder3" + tab +
                   "Additional Path");
    int32_t n = FileList()->ListCount();
    for (int32_t i = 0; i < n; ++i) {
        Ref<Listbox> list = FileList();
        // Another handler may empty or shrink the list while the export yields: stop at its
        // present end rather than read a row that is gone.
        if (i >= list->ListCount())
            break;
        String number = Str(list->CellTag(i, 0).ToInt32());
        String line = number + tab + list->Cell(i, 1) + tab + list->Cell(i, 2) + tab + list->Cell(i, 3) + tab +
                      list->Cell(i, 4) + tab + list->Cell(i, 5);
        out->WriteLine(line);
        RuntimeBackgroundTask();
    }
    out->Close();
}
