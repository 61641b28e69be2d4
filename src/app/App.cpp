#include "App.h"

#include "Module1.h"

FW_CLASS_TABLE(App, fw::Application, "App")
{
    t.factory = [] { return static_cast<fw::Object*>(new App); };
    t.members = {{"Event_Open", "%%", {{"__Scope", "Public"}}}};
    t.BindEvent("Open", [](fw::Object& self) { static_cast<App&>(self).Event_Open(); });
}

void App::Event_Open()
{
    Module1::InitGlobals();
}
