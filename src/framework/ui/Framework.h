#pragma once
// The framework's own globals, their start-up and their exit hooks.
#include "framework/runtime/Ref.h"
#include "framework/runtime/String.h"

#include <vector>

namespace fw {

class Window;

// Builds the class table of every framework class, and readies the list of windows.
void InitFrameworkClasses();

namespace WindowSupport {
void WindowsInit();                      // the list of windows, empty
void WindowsExit();                      // releases every window in the list
void DirtyWindowsExit();
const std::vector<Ref<Window>>& Windows();
void Register(const Ref<Window>& window);
} // namespace WindowSupport

void ImplicitWindowListExit();
void RegisterImplicitWindow(const String& className, Window* window);
void ForgetImplicitWindow(Window* window);

namespace Introspection {
void ArrayInfoMapExit();
void ClassRefMapExit();
void ClassFQNToRefMapExit();
} // namespace Introspection

} // namespace fw
