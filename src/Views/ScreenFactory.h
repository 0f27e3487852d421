#pragma once

#include "Store/Screen.h"
#include "Views/ViewContext.h"

class QWidget;
class ScreenWidget;

// Makes the widget of one screen. Each screen adds its own line to the switch in the .cpp.
ScreenWidget *makeScreen(Screen screen, const ViewContext &context, QWidget *parent = nullptr);
