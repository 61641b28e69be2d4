// The list's own behaviour: a selection becomes the hint and the preview, the rows are striped,
// and the number column sorts by number.
#include "framework/runtime/Variant.h"
#include "window/Window1.h"

using namespace fw;

bool Window1::FileList_KeyDown(Listbox&, const String&)
{
    fileListDirty = true;
    return false;
}

bool Window1::FileList_MouseDown(Listbox&, int32_t, int32_t)
{
    fileListDirty = true;
    return false;
}

void Window1::FileList_Change(Listbox& me)
{
    if (!fileListDirty)
        return;
    fileListDirty = false;
    int32_t row = me.ListIndex();
    String name = me.Cell(row, 1);
    MakeHint(name);
    UpdatePreview();
}

bool Window1::FileList_CellBackgroundPaint(Listbox& me, Graphics& g, int32_t row, int32_t)
{
    if (me.Selected(row))
        return false;
    int32_t count = me.ListCount();
    Color c = row < count && row % 2 != 0 ? RGB(240, 240, 240) : RGB(255, 255, 255);
    g.SetForeColor(c);
    g.FillRect(0, 0, g.Width(), g.Height());
    g.SetForeColor(RGB(0, 0, 0));
    return true;
}

bool Window1::FileList_CompareRows(Listbox& me, int32_t row1, int32_t row2, int32_t column, int32_t& result)
{
    result = 0;
    if (column != 0)
        return false;
    double a = VariantToDouble(me.CellTag(row1, 0));
    double b = VariantToDouble(me.CellTag(row2, 0));
    result = a > b ? 1 : -1;
    return true;
}
