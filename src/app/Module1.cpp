#include "Module1.h"

#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"

namespace Module1 {

fw::String gHintStrg;
bool gUseHint = false;
bool gPreview = false;
int32_t gFileCount = 0;

void InitGlobals()
{
    gFileCount = 0;
    gUseHint = false;
    gHintStrg = fw::String();
    gPreview = false;
}

bool PosNumericChar(const fw::String& s)
{
    for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"})
        if (fw::Equals(s, digit))
            return true;
    return false;
}

void gHintStrgExit()
{
    fw::RuntimeTrace("Module1.gHintStrg.Exit");
    gHintStrg = fw::String();
}

} // namespace Module1
