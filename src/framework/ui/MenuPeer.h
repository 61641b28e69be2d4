#pragma once
#include "MenuItem.h"

#include <QString>

class QMenuBar;
class QWidget;

namespace fw {
// Builds the toolkit's menu bar for a window from the framework's menu tree.
QMenuBar* BuildNativeMenuBar(MenuBar& bar, QWidget* parent);
// "Cmd+Q" and the like in the toolkit's notation ("Ctrl+Q").
QString NativeShortcut(const String& shortcut);
} // namespace fw
