#pragma once
// The module of globals that the window's handlers share. They hold their start values from the
// start of the process, and the application's Open event sets the same values again.
#include "framework/runtime/String.h"

#include <cstdint>

namespace Module1 {

extern fw::String gHintStrg; // the name-filter text, which is also the current hint
extern bool gUseHint;        // the filter applies to the next scan
extern bool gPreview;        // the preview pane shows the selected image
extern int32_t gFileCount;   // the running number given to the last file listed

void InitGlobals();
// True exactly for the ten one-character strings "0" to "9".
bool PosNumericChar(const fw::String& s);
// Exit hook: releases the text of gHintStrg.
void gHintStrgExit();

} // namespace Module1
