// The name filter and the hint rule: the hint is the first run of six digits in a file's name
// (as in specimen and accession numbers), or the name's remainder when it has none.
#include "app/Module1.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"
#include "window/Window1.h"

using namespace fw;
using namespace Module1;

void Window1::MakeHint(const String& name)
{
    String t = Trim(name);
    t = Replace(t, "X-", "");
    t = Replace(t, ".tif", "");
    int32_t n = Len(t);
    if (n > 6) {
        for (int32_t i = 1; i <= n - 6; ++i) {
            String w = Mid(t, i, 6);
            bool digits = true;
            for (int32_t k = 1; k <= 6 && digits; ++k)
                digits = PosNumericChar(Mid(w, k, 1));
            if (digits) {
                gHintStrg = w;
                UpdateHint();
                return;
            }
            RuntimeBackgroundTask();
        }
    }
    gHintStrg = Trim(t);
    UpdateHint();
}

void Window1::UpdateHint()
{
    HintField()->SetText(gHintStrg);
}

bool Window1::HintField_KeyDown(EditField&, const String&)
{
    hintDirty = true;
    return false;
}

bool Window1::HintField_MouseDown(EditField&, int32_t, int32_t)
{
    hintDirty = true;
    return false;
}

void Window1::HintField_TextChange(EditField& me)
{
    if (!hintDirty)
        return;
    hintDirty = false;
    gHintStrg = me.Text();
}

bool Window1::UseHintCheckBox_MouseDown(CheckBox&, int32_t, int32_t)
{
    useHintDirty = true;
    return false;
}

void Window1::UseHintCheckBox_Action(CheckBox&)
{
    if (!useHintDirty)
        return;
    useHintDirty = false;
    gUseHint = !gUseHint;
    UpdateButtons();
}
