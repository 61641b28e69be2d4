#pragma once
// Runs the real program in-process, from its entry routine to the end of its run, with the
// dialogs answered by the test and every error message recorded instead of shown.
#include "app/Entry.h"
#include "framework/runtime/Runtime.h"
#include "framework/ui/ControlPeer.h"
#include "framework/ui/Dialogs.h"
#include "framework/ui/WindowPrivate.h"
#include "window/Window1.h"

#include <QTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace harness {

struct Message {
    std::string title;
    std::string text;
};

struct RunResult {
    int32_t status = -1;
    std::vector<std::string> trace;
    std::vector<Message> messages;
};

// Runs main. `during` runs inside the event loop once the window is shown and exposed; the
// program is quit afterwards unless `during` quit it already.
RunResult RunProgram(const std::function<void(Window1&)>& during);

// The window's toolkit widget, shown and exposed.
QWidget* HostOf(Window1& w);
QWidget* WidgetOf(const fw::Ref<fw::RectControl>& control);

// Clicks a control's widget at its centre (or at the point given) with real mouse events.
void Click(const fw::Ref<fw::RectControl>& control);
void ClickListRow(const fw::Ref<fw::Listbox>& list, int row);
void ClickHeading(const fw::Ref<fw::Listbox>& list, int column);

// Answers the next dialogs with these paths, in order ("" cancels).
void AnswerDialogs(std::vector<std::string> answers);

// For the length of a scope, the event loop turns at those yields of a long task (a walk, a
// sort, an export) for which `turnNow` answers true, and at no other: the test, not the clock,
// decides when its timers and clicks come.
class TurnWhen {
public:
    explicit TurnWhen(std::function<bool()> turnNow) { fw::testing::SetTurnCondition(std::move(turnNow)); }
    ~TurnWhen() { fw::testing::SetTurnCondition(nullptr); }
    TurnWhen(const TurnWhen&) = delete;
    TurnWhen& operator=(const TurnWhen&) = delete;
};

// A condition for TurnWhen that answers true once, at the next yield.
inline std::function<bool()> AtTheNextYield()
{
    return [done = false]() mutable { return !std::exchange(done, true); };
}

// Swaps a class's factory for the length of a scope (to run a subclass in its place).
class FactorySwap {
public:
    FactorySwap(fw::ClassTable* table, std::function<fw::Object*()> factory);
    ~FactorySwap();

private:
    fw::ClassTable* table_;
    std::function<fw::Object*()> saved_;
};

} // namespace harness
