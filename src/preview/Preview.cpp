// The preview: the selected row's image, scaled to fit the pane with its proportions kept and
// centred in it; black when there is no picture.
#include "app/Module1.h"
#include "framework/runtime/Variant.h"
#include "window/Window1.h"

using namespace fw;
using namespace Module1;

namespace {
// Every size and position of the fit becomes an integer at once, by the framework's conversion.
int32_t ToInteger(double d) { return DoubleToInt32(d); }
} // namespace

void Window1::UpdatePreview()
{
    if (gPreview) {
        PreviewCanvas()->SetVisible(true);
        int32_t row = FileList()->ListIndex();
        int32_t count = FileList()->ListCount();
        if (row >= 0 && row <= count - 1) {
            Ref<FolderItem> f = RuntimeCheckCast<FolderItem>(FileList()->CellTag(row, 1).ToObject());
            SetMouseCursor(System::Cursors::Wait);
            pic = f->OpenAsPicture();
            SetMouseCursor(System::Cursors::StandardPointer);
        }
    } else {
        PreviewCanvas()->SetVisible(false);
    }
    PreviewCanvas()->Refresh(true);
}

void Window1::PreviewCanvas_Paint(Canvas&, Graphics& g)
{
    const int32_t W = g.Width(), H = g.Height();
    if (!pic) {
        g.SetForeColor(RGB(0, 0, 0));
        g.FillRect(0, 0, W, H);
        return;
    }
    const int32_t sw = pic->Width(), sh = pic->Height();
    if (!(sw > 0 && sh > 0))
        return;
    int32_t cx = ToInteger(double(W) / 2.0), cy = ToInteger(double(H) / 2.0);
    int32_t dw, dh;
    if (sw <= sh) {
        dh = H;
        dw = ToInteger(double(H) * (double(sw) / double(sh)));
        if (W < dw) {
            dw = W;
            dh = ToInteger(double(W) * (double(sh) / double(sw)));
        }
    } else {
        dw = W;
        dh = ToInteger(double(W) * (double(sh) / double(sw)));
        if (H < dh) {
            dh = H;
            dw = ToInteger(double(H) * (double(sw) / double(sh)));
        }
    }
    if (W < dw)
        dw = W;
    if (H < dh)
        dh = H;
    int32_t x = ToInteger(double(cx) - double(dw) / 2.0);
    int32_t y = ToInteger(double(cy) - double(dh) / 2.0);
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    g.DrawPicture(pic, x, y, dw, dh, 0, 0, sw, sh);
}

bool Window1::PreviewCheckBox_MouseDown(CheckBox&, int32_t, int32_t)
{
    previewDirty = true;
    return false;
}

void Window1::PreviewCheckBox_Action(CheckBox&)
{
    if (!previewDirty)
        return;
    previewDirty = false;
    gPreview = !gPreview;
    UpdateButtons();
    UpdatePreview();
}
