// Any bytes handed to the picture decoders give a picture or none, within the memory bounds.
#include "framework/ui/GraphicsPrivate.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "picture-fuzz";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    fw::Ref<fw::Picture> p = fw::DecodePicture(fw::pictures::Bytes{data, size}, fw::ScreenBudget());
    if (p && (p->Width() <= 0 || p->Height() <= 0 || p->Data().image.isNull()))
        __builtin_trap();
    return 0;
}
