#pragma once
// The application class: its Open event resets the module's globals.
#include "framework/ui/Application.h"

class App : public fw::Application {
    FW_DECLARE_CLASS()
public:
    virtual void Event_Open();

protected:
    App() = default;
};
