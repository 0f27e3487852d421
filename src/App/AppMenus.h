#pragma once

class AppServices;
class QMainWindow;

// The menu bar of the main window: the trail and export items of File, and Go with one item
// and Ctrl+digit per screen. Enabled states follow the store's signals.
void installMenus(QMainWindow &window, AppServices &services);
