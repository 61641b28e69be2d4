// The window's layout: the list and the preview pane share a band that follows the window's
// size; the bottom row follows its bottom edge.
#include "Window1.h"

void Window1::HandleResize()
{
    PreviewCanvas()->SetTop(34);
    PreviewCanvas()->SetLeft(Width() - PreviewCanvas()->Width() - 20);
    PreviewCanvas()->SetHeight(Height() - PreviewCanvas()->Top() - 60);
    FileList()->SetTop(34);
    FileList()->SetLeft(20);
    FileList()->SetWidth(PreviewCanvas()->Left() - FileList()->Left() - 20);
    FileList()->SetHeight(Height() - FileList()->Top() - 60);
    PreviewCanvas()->SetHeight(FileList()->Height());
    PreviewCheckBox()->SetLeft(PreviewCanvas()->Left());
    ScanButton()->SetTop(Height() - ScanButton()->Height() - 20);
    ScanButton()->SetLeft(20);
    ExportButton()->SetTop(ScanButton()->Top());
    ExportButton()->SetLeft(ScanButton()->Left() + ScanButton()->Width() + 20);
    UseHintCheckBox()->SetTop(ScanButton()->Top());
    UseHintCheckBox()->SetLeft(ExportButton()->Left() + ExportButton()->Width() + 20);
    HintField()->SetTop(ScanButton()->Top());
    HintField()->SetLeft(UseHintCheckBox()->Left() + UseHintCheckBox()->Width() + 20);
}

void Window1::Event_Resized()
{
    HandleResize();
}

void Window1::Event_Resizing()
{
    HandleResize();
}
