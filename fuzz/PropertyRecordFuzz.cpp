// Any byte string, decoded as a property record of any of the framework's classes, is either
// read or refused; it is never read past its end.
#include "framework/ui/Controls.h"
#include "framework/ui/Framework.h"
#include "framework/ui/Listbox.h"
#include "framework/ui/PropertyRecord.h"
#include "framework/ui/Window.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = [] {
        fw::InitFrameworkClasses();
        return true;
    }();
    (void)ready;
    if (size == 0)
        return 0;
    fw::ClassTable* tables[] = {fw::Window::Lookup(), fw::EditField::Lookup(), fw::Listbox::Lookup(),
                                fw::PushButton::Lookup(), fw::StaticText::Lookup(), fw::Canvas::Lookup(),
                                fw::CheckBox::Lookup()};
    fw::ClassTable* cls = tables[data[0] % 7];
    std::string record(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        size_t end = 0;
        for (const fw::DecodedProperty& e : fw::DecodePropertyRecord(cls, record)) {
            if (e.begin != end || e.end <= e.begin)
                __builtin_trap();
            end = e.end;
        }
        if (end != record.size())
            __builtin_trap();
    } catch (const fw::UnsupportedFormatException&) {
    }
    return 0;
}
