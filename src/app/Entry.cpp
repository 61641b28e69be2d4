#include "Entry.h"

#include "App.h"
#include "MenuBar1.h"
#include "Module1.h"
#include "framework/runtime/Runtime.h"
#include "framework/ui/Framework.h"
#include "window/Window1.h"

using namespace fw;

namespace zorlin {
namespace {

void InitFileTypes() {} // the program registers no file types

void NewAppInstance()
{
    Ref<App> app = RuntimeCheckCast<App>(RuntimeNewObject(App::Lookup()));
    app->SetMenuBar(MenuBar1::ImplicitInstance());
    RuntimeRegisterAppObject(app);
}

void ApplicationAddMenuHandlers() {} // the application installs no menu handlers

void MakeDefaultView()
{
    Window1::ImplicitInstance();
}

} // namespace

void initialize()
{
    RuntimeTrace("initialize");
    InitFrameworkClasses();
    App::ctblinit();
    Window1::ctblinit();
    MenuBar1::ctblinit();
}

void Main()
{
    RuntimeTrace("Main");
    try {
        RuntimeInitExternalClasses();
        InitPluginEntrypoints();
        InitFileTypes();
        NewAppInstance();
        ApplicationAddMenuHandlers();
        MakeDefaultView();
        RuntimeRun();
    } catch (...) {
        UnhandledException(std::current_exception());
    }
}

void finalize()
{
    RuntimeTrace("finalize");
    ImplicitWindowListExit();
    WindowSupport::DirtyWindowsExit();
    WindowSupport::WindowsExit();
    Introspection::ArrayInfoMapExit();
    Introspection::ClassRefMapExit();
    Introspection::ClassFQNToRefMapExit();
    MenuBar1::implicitInstanceExit();
    Module1::gHintStrgExit();
}

int32_t main(int, char**)
{
    RuntimeInit();
    initialize();
    Main();
    finalize();
    return RuntimeExit();
}

} // namespace zorlin
