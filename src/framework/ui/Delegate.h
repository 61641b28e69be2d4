#pragma once
// Event handlers: a window method bound through the window's own operations, held with its
// parameter list (one call adapter per list) and its signature text. A control keeps its
// handlers by event name and refuses one whose signature does not fit the event.
#include "framework/runtime/ClassTable.h"
#include "framework/runtime/String.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <variant>

namespace fw {

class Graphics;
class RectControl;
class Window;

// The six parameter lists that control events take.
enum class ParamList { None, Key, Mouse, CellPaint, Compare, Paint };

struct EventDecl {
    std::string name;
    ParamList list;
    std::string signature; // e.g. "( Int32, Int32 ) as Boolean"
};

using NoneCall = std::function<void(RectControl&)>;
using KeyCall = std::function<bool(RectControl&, const String&)>;
using MouseCall = std::function<bool(RectControl&, int32_t, int32_t)>;
using CellPaintCall = std::function<bool(RectControl&, Graphics&, int32_t, int32_t)>;
using CompareCall = std::function<bool(RectControl&, int32_t, int32_t, int32_t, int32_t&)>;
using PaintCall = std::function<void(RectControl&, Graphics&)>;
// A comparison handler bound to one control and its window: a sort makes it once, and each of
// its million calls is then one plain call of the method, with no lookup, no cast and nothing
// allocated: the method and its two objects are kept in the binding itself.
class BoundCompareCall {
public:
    BoundCompareCall() = default;
    template <typename W, typename C>
    BoundCompareCall(bool (W::*m)(C&, int32_t, int32_t, int32_t, int32_t&), W& window, C& control)
        : call_(&CallMethod<W, C>), self_(&window), control_(&control)
    {
        static_assert(sizeof(m) <= sizeof(method_), "a method pointer fits the binding");
        std::memcpy(method_, &m, sizeof(m));
    }
    // The general form, for a handler made of a call adapter alone.
    BoundCompareCall(const CompareCall& call, RectControl& control)
        : call_(&CallAdapter), self_(&call), control_(&control) {}

    explicit operator bool() const { return call_ != nullptr; }
    bool operator()(int32_t a, int32_t b, int32_t column, int32_t& result) const
    {
        return call_(*this, a, b, column, result);
    }

private:
    template <typename W, typename C>
    static bool CallMethod(const BoundCompareCall& c, int32_t a, int32_t b, int32_t column, int32_t& result)
    {
        bool (W::*m)(C&, int32_t, int32_t, int32_t, int32_t&);
        std::memcpy(&m, c.method_, sizeof(m));
        return (static_cast<W*>(const_cast<void*>(c.self_))->*m)(*static_cast<C*>(c.control_), a, b, column, result);
    }
    static bool CallAdapter(const BoundCompareCall& c, int32_t a, int32_t b, int32_t column, int32_t& result)
    {
        return (*static_cast<const CompareCall*>(c.self_))(*static_cast<RectControl*>(c.control_), a, b, column, result);
    }

    bool (*call_)(const BoundCompareCall&, int32_t, int32_t, int32_t, int32_t&) = nullptr;
    const void* self_ = nullptr;
    void* control_ = nullptr;
    alignas(void*) unsigned char method_[2 * sizeof(void*)] = {};
};
using CompareBinder = std::function<BoundCompareCall(RectControl&)>;

class Delegate : public Object {
    FW_DECLARE_CLASS()
public:
    using Call = std::variant<NoneCall, KeyCall, MouseCall, CellPaintCall, CompareCall, PaintCall>;
    Delegate(ParamList list, std::string signature, Call call, CompareBinder binder = {})
        : list_(list), signature_(std::move(signature)), call_(std::move(call)), binder_(std::move(binder)) {}
    ParamList List() const { return list_; }
    const std::string& Signature() const { return signature_; }
    const Call& GetCall() const { return call_; }
    // The comparison bound to the control; valid while the control and the delegate live.
    BoundCompareCall BindCompare(RectControl& control) const
    {
        if (binder_)
            return binder_(control);
        return BoundCompareCall(std::get<CompareCall>(call_), control);
    }

private:
    ParamList list_;
    std::string signature_;
    Call call_;
    CompareBinder binder_;
};

Window* ControlWindow(RectControl& control);

// The call adapters: each takes the control that raised the event, makes the control's window
// the handler's own object and keeps the control at hand as the handler's first argument.
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(void (W::*m)(C&), const std::string& signature)
{
    return MakeRef<Delegate>(ParamList::None, signature, NoneCall([m](RectControl& c) {
        (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c));
    }));
}
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(bool (W::*m)(C&, const String&), const std::string& signature)
{
    return MakeRef<Delegate>(ParamList::Key, signature, KeyCall([m](RectControl& c, const String& k) {
        return (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c), k);
    }));
}
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(bool (W::*m)(C&, int32_t, int32_t), const std::string& signature)
{
    return MakeRef<Delegate>(ParamList::Mouse, signature, MouseCall([m](RectControl& c, int32_t x, int32_t y) {
        return (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c), x, y);
    }));
}
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(bool (W::*m)(C&, Graphics&, int32_t, int32_t), const std::string& signature)
{
    return MakeRef<Delegate>(ParamList::CellPaint, signature,
                             CellPaintCall([m](RectControl& c, Graphics& g, int32_t r, int32_t col) {
                                 return (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c), g, r, col);
                             }));
}
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(bool (W::*m)(C&, int32_t, int32_t, int32_t, int32_t&),
                                    const std::string& signature)
{
    return MakeRef<Delegate>(
        ParamList::Compare, signature,
        CompareCall([m](RectControl& c, int32_t a, int32_t b, int32_t col, int32_t& result) {
            return (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c), a, b, col, result);
        }),
        CompareBinder([m](RectControl& c) {
            return BoundCompareCall(m, dynamic_cast<W&>(*ControlWindow(c)), dynamic_cast<C&>(c));
        }));
}
template <typename W, typename C>
Ref<Delegate> RuntimeCreateDelegate(void (W::*m)(C&, Graphics&), const std::string& signature)
{
    return MakeRef<Delegate>(ParamList::Paint, signature, PaintCall([m](RectControl& c, Graphics& g) {
        (dynamic_cast<W&>(*ControlWindow(c)).*m)(dynamic_cast<C&>(c), g);
    }));
}

// Installs the handler on the control under the event's name. A nil delegate removes it.
// An unknown event, or a handler whose parameter list or signature text does not fit the
// event, is refused with an exception.
void InstallInstanceEventHandler(RectControl& control, const std::string& eventName, const Ref<Delegate>& handler);

} // namespace fw
