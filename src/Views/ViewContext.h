#pragma once

class AlertCenter;
class AuditStore;
class LiveMonitor;
class QSettings;

// The long-lived objects a screen reads. The shell hands the same three to every screen it makes;
// tests hand their own. Views never reach for the application's shared services themselves.
// The layout settings keep the widths the user gives the sidebar and the panes for the next
// launch; without them (tests, the snapshot mode) nothing is read or written.
struct ViewContext {
    AuditStore *store = nullptr;
    LiveMonitor *liveMonitor = nullptr;
    AlertCenter *alertCenter = nullptr;
    QSettings *layout = nullptr;
};
