#pragma once
// A list's rows at the end of the process.
namespace fw {

class Window;

// Hands the rows of the window's lists over to the end of the process: they are never freed.
// Freeing a million rows and the files they refer to takes a good part of a second, for
// nothing, when the process ends right after. The lists' widgets still go with the window.
void KeepListRowsToTheEnd(Window& window);

} // namespace fw
