#pragma once

class AlertCenter;
class AuditStore;
class LiveMonitor;

// The long-lived objects a screen reads. The shell hands the same three to every screen it makes;
// tests hand their own. Views never reach for the application's shared services themselves.
struct ViewContext {
    AuditStore *store = nullptr;
    LiveMonitor *liveMonitor = nullptr;
    AlertCenter *alertCenter = nullptr;
};
