#include "Views/ScreenFactory.h"

#include "Views/Events/EventsView.h"
#include "Views/Reference/ReferenceView.h"
#include "Views/ScreenWidget.h"
#include "Views/Setup/SetupView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

// Stands in for a screen that is not built yet: its title, centred.
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
    case Screen::events:
        return new EventsView(context, parent);
    case Screen::dashboard:
    case Screen::processes:
    case Screen::findings:
    case Screen::network:
    case Screen::live:
    case Screen::monitor:
    case Screen::sources:
        break;
    case Screen::setup:
        return new SetupView(context, parent);
    case Screen::reference:
        return new ReferenceView(context, parent);
    }
    return placeholder(screen, context, parent);
}
