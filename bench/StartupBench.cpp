// Start-up: from the start of a process to the first expose of its main window, for the
// program and, as the baseline, for an empty Qt window of the program's size. Each run is a
// fresh process (this benchmark started again in a child mode), timed from the outside until
// the child reports the expose on its standard output.
#include "BenchSupport.h"
#include "Sections.h"

#include "app/Entry.h"
#include "framework/runtime/Runtime.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <cstring>
#include <functional>
#include <tuple>

#include <unistd.h>

namespace bench {
namespace {

constexpr int kRuns = 15;

// Catches the first expose of a top-level window, whoever's it is.
class FirstExpose : public QObject {
public:
    explicit FirstExpose(std::function<void()> then) : then_(std::move(then)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen_ && event->type() == QEvent::Expose && watched->isWindowType()) {
            auto* window = static_cast<QWindow*>(watched);
            if (!window->parent() && window->isExposed()) {
                seen_ = true;
                QByteArray line = "exposed " + QByteArray::number(window->width()) + "x" +
                                  QByteArray::number(window->height()) + " \"" + window->title().toUtf8() + "\"\n";
                (void)!::write(1, line.constData(), size_t(line.size()));
                then_();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> then_;
    bool seen_ = false;
};

int ProgramChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    FirstExpose filter([] { fw::RuntimeQuit(); });
    app.installEventFilter(&filter);
    return zorlin::main(argc, argv);
}

int EmptyWindowChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Queued: the expose may come before the loop runs, and a quit then would be lost.
    FirstExpose filter([] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });
    app.installEventFilter(&filter);
    QWidget window;
    window.resize(1000, 420);
    window.show();
    return app.exec();
}

} // namespace

int StartupChild(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[2], "app") == 0)
        return ProgramChild(argc, argv);
    if (argc >= 3 && std::strcmp(argv[2], "qt") == 0)
        return EmptyWindowChild(argc, argv);
    return 2;
}

void RunStartupSection()
{
    Heading(Format("Start-up: process start to the main window's first expose (%d runs each, median / min)", kRuns));
    ScratchDir scratch("startup");
    std::string self = SelfExe();
    std::string errors = scratch.Path() + "/child-stderr.txt";
    std::vector<std::string> app = {self, "startup-child", "app"};
    std::vector<std::string> qt = {self, "startup-child", "qt"};

    // One of each first, so both find the libraries in the page cache.
    TimeToFirstLine(app, errors);
    TimeToFirstLine(qt, errors);
    std::vector<double> appMs, qtMs;
    std::string appWindow, qtWindow;
    bool ok = true;
    for (int i = 0; i < kRuns && ok; ++i) {
        for (auto [argv, out, window] : {std::tuple{&app, &appMs, &appWindow}, std::tuple{&qt, &qtMs, &qtWindow}}) {
            LineResult r = TimeToFirstLine(*argv, errors);
            if (!Check(r.ms >= 0 && r.line.rfind("exposed ", 0) == 0,
                       "the child \"" + argv->back() + "\" reported its window")) {
                ok = false;
                break;
            }
            out->push_back(r.ms);
            *window = r.line.substr(8);
        }
    }
    if (!ok)
        return;
    Stats a = Summarize(appMs), q = Summarize(qtMs);
    Note("windows seen: the program's " + appWindow + ", the baseline's " + qtWindow);
    Figure("", "program", "baseline: empty Qt window 1000x420");
    Figure("time to the first expose, median", Format("%.1f ms", a.median), Format("%.1f ms", q.median));
    Figure("time to the first expose, min", Format("%.1f ms", a.min), Format("%.1f ms", q.min));
    Figure("time to the first expose, max", Format("%.1f ms", a.max), Format("%.1f ms", q.max));
    Figure("program above the baseline (medians)", Format("%+.1f ms (x%.2f)", a.median - q.median, a.median / q.median));
    Goal(a.median <= 250, "start-up to the main window's first expose <= 250 ms (median)",
         Format("%.1f ms beside an empty Qt window's %.1f ms", a.median, q.median));
}

} // namespace bench
