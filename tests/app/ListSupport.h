#pragma once
// What the list's tests share: a window that counts what its list's handlers did, rows put in
// the list as a scan would, and the colours the list shows on screen.
#include "ProgramHarness.h"
#include "framework/ui/ListboxPrivate.h"
#include "window/Window1.h"

#include <QImage>

#include <functional>
#include <string>
#include <vector>

namespace list_support {

// The real window, counting the list's "Change" events and the preview updates; a test may
// give the comparison of its own in place of the window's.
class CountingWindow1 : public Window1 {
public:
    int changes = 0, previews = 0, keyDowns = 0;
    std::function<bool(int32_t, int32_t, int32_t, int32_t&)> compare;

    void FileList_Change(fw::Listbox& me) override
    {
        ++changes;
        Window1::FileList_Change(me);
    }
    bool FileList_KeyDown(fw::Listbox& me, const fw::String& key) override
    {
        ++keyDowns;
        return Window1::FileList_KeyDown(me, key);
    }
    void UpdatePreview() override
    {
        ++previews;
        Window1::UpdatePreview();
    }
    bool FileList_CompareRows(fw::Listbox& me, int32_t a, int32_t b, int32_t column, int32_t& result) override
    {
        if (compare)
            return compare(a, b, column, result);
        return Window1::FileList_CompareRows(me, a, b, column, result);
    }
};

// Runs the program with a CountingWindow1 as its window.
harness::RunResult RunCounting(const std::function<void(CountingWindow1&)>& during);

// A row as the test puts it in: column 0's text and tag, and the texts of columns 1 and 2.
struct TestRow {
    std::string text;
    int32_t number;
    std::string name;
    std::string folder = "f";
};
void Fill(Window1& w, const std::vector<TestRow>& rows);
std::vector<std::string> Column(Window1& w, int32_t column);

// The list's viewport as painted now.
QImage Painted(Window1& w);
// The colour at the top left of a row's first cell; rows past the last are measured down from
// it by the row height.
QRgb RowColour(Window1& w, const QImage& painted, int32_t row);

} // namespace list_support
