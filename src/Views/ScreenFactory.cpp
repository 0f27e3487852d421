#include "Views/ScreenFactory.h"

#include "Views/Events/EventsView.h"
#include "Views/Findings/FindingsView.h"
#include "Views/Live/LiveView.h"
#include "Views/Monitor/MonitorView.h"
#include "Views/Network/NetworkView.h"
#include "Views/Overview/DashboardView.h"
#include "Views/Processes/ProcessesView.h"
#include "Views/Reference/ReferenceView.h"
#include "Views/ScreenWidget.h"
#include "Views/Setup/SetupView.h"
#include "Views/Sources/SourcesView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

// Stands in for a screen whose objects the context lacks: its title, centred.
ScreenWidget *placeholder(Screen screen, const ViewContext &context, QWidget *parent)
{
    auto *widget = new ScreenWidget(context, parent);
    auto *layout = new QVBoxLayout(widget);
    auto *title = new QLabel(QString::fromUtf8(screenTitle(screen)), widget);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    return widget;
}

} // namespace

ScreenWidget *makeScreen(Screen screen, const ViewContext &context, QWidget *parent)
{
    switch (screen) {
    case Screen::dashboard: return new DashboardView(context, parent);
    case Screen::events: return new EventsView(context, parent);
    case Screen::processes: return new ProcessesView(context, parent);
    case Screen::findings: return new FindingsView(context, parent);
    case Screen::network: return new NetworkView(context, parent);
    // The two monitor screens drive objects a context may lack (tests of the shell hand a store only).
    case Screen::live:
        if (context.store && context.liveMonitor) return new LiveView(context, parent);
        break;
    case Screen::monitor:
        if (context.liveMonitor && context.alertCenter) return new MonitorView(context, parent);
        break;
    case Screen::sources: return new SourcesView(context, parent);
    case Screen::setup: return new SetupView(context, parent);
    case Screen::reference: return new ReferenceView(context, parent);
    }
    return placeholder(screen, context, parent);
}
