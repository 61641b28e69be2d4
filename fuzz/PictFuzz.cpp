// Any bytes handed to the PICT reader give a picture within its budget or none, without
// reading outside them.
#include "framework/pictures/PictureCodecs.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "pict-fuzz";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    fw::pictures::Budget budget;
    budget.maxSide = 256;
    budget.maxPixels = 16'000'000;
    budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    auto p = fw::pictures::DecodePict({data, size}, budget);
    if (p && (p->width <= 0 || p->height <= 0 || p->image.isNull() ||
              std::max(p->image.width(), p->image.height()) > budget.maxSide))
        __builtin_trap();
    return 0;
}
