#include "ProgramHarness.h"

#include "ProgramRunCore.h"

#include "app/Module1.h"
#include "framework/ui/ListboxPrivate.h"

#include <QHeaderView>
#include <QTimer>

#include <deque>
#include <gtest/gtest.h>

namespace harness {

RunResult RunProgram(const std::function<void(Window1&)>& during)
{
    RunResult result;
    fw::RuntimeTraceLog().clear();
    fw::SetUnhandledExceptionReporter([&](const std::string& title, const std::string& text) {
        result.messages.push_back({title, text});
    });
    result.status = program_run::RunMain([&](Window1& win) {
        if (!during)
            return;
        HostOf(win);
        during(win);
    });
    result.trace = fw::RuntimeTraceLog();
    return result;
}

QWidget* HostOf(Window1& w)
{
    QWidget* host = w.Host();
    if (!host->isVisible())
        host->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(host, 60000));
    return host;
}

QWidget* WidgetOf(const fw::Ref<fw::RectControl>& control)
{
    return fw::NativeWidget(*control);
}

void Click(const fw::Ref<fw::RectControl>& control)
{
    QWidget* w = fw::NativeInputWidget(*control);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
}

void ClickListRow(const fw::Ref<fw::Listbox>& list, int row)
{
    list->AnnouncePendingRows();
    fw::ListView* view = fw::NativeListView(*list);
    QRect r = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

void ClickHeading(const fw::Ref<fw::Listbox>& list, int column)
{
    fw::ListView* view = fw::NativeListView(*list);
    QHeaderView* header = view->horizontalHeader();
    int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); // the sort the click asked for
}

void AnswerDialogs(std::vector<std::string> answers)
{
    fw::testing::AnswerDialogs(std::move(answers));
}

FactorySwap::FactorySwap(fw::ClassTable* table, std::function<fw::Object*()> factory)
    : table_(table), saved_(table->factory)
{
    table_->factory = std::move(factory);
}

FactorySwap::~FactorySwap()
{
    table_->factory = saved_;
}

} // namespace harness
