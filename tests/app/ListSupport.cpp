#include "ListSupport.h"

#include "app/Module1.h"
#include "framework/runtime/StringFunctions.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <gtest/gtest.h>

namespace list_support {

harness::RunResult RunCounting(const std::function<void(CountingWindow1&)>& during)
{
    Module1::InitGlobals();
    harness::FactorySwap swap(Window1::Lookup(), [] { return static_cast<fw::Object*>(new CountingWindow1); });
    return harness::RunProgram([&](Window1& w) {
        auto* counting = dynamic_cast<CountingWindow1*>(&w);
        ASSERT_NE(counting, nullptr);
        during(*counting);
    });
}

void Fill(Window1& w, const std::vector<TestRow>& rows)
{
    fw::Ref<fw::Listbox> list = w.FileList();
    list->DeleteAllRows();
    for (const TestRow& r : rows) {
        list->AddRow(fw::String(r.text));
        int32_t row = list->LastIndex();
        list->SetCellTag(row, 0, fw::Int32ToVariant(r.number));
        list->SetCell(row, 1, fw::String(r.name));
        list->SetCell(row, 2, fw::String(r.folder));
    }
    list->AnnouncePendingRows();
    QCoreApplication::processEvents();
}

std::vector<std::string> Column(Window1& w, int32_t column)
{
    std::vector<std::string> texts;
    fw::Ref<fw::Listbox> list = w.FileList();
    for (int32_t r = 0; r < list->ListCount(); ++r)
        texts.push_back(list->Cell(r, column).str());
    return texts;
}

QImage Painted(Window1& w)
{
    fw::ListView* view = fw::NativeListView(*w.FileList());
    return view->viewport()->grab().toImage();
}

QRgb RowColour(Window1& w, const QImage& painted, int32_t row)
{
    fw::ListView* view = fw::NativeListView(*w.FileList());
    int height = view->verticalHeader()->defaultSectionSize();
    int shown = view->model()->rowCount();
    int y = row < shown ? view->rowViewportPosition(row) : (shown > 0 ? view->rowViewportPosition(shown - 1) : 0) +
                                                               (row - shown + (shown > 0 ? 1 : 0)) * height;
    QPoint at(view->columnViewportPosition(0) + 1, y + 1);
    EXPECT_TRUE(painted.rect().contains(at)) << "row " << row;
    // The grab may be of a higher pixel density than the widget.
    qreal ratio = painted.devicePixelRatio();
    return painted.pixel(int(at.x() * ratio), int(at.y() * ratio)) & 0xFFFFFF;
}

} // namespace list_support
