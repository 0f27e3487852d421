#include "Views/Components/CaptureControl.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QPushButton>

void CaptureControl::showState(QPushButton *button, const LiveMonitor::State &state, const QString &stopText,
                               ButtonShape shape)
{
    const bool starting = isStarting(state);
    if (isRunning(state) || starting) {
        button->setText(stopText);
        setSymbol(button, QStringLiteral("stop.fill"));
        button->setStyleSheet(QString());
        button->setEnabled(!starting);
        return;
    }
    button->setText(QStringLiteral("Start Monitoring"));
    setSymbol(button, QStringLiteral("play.fill"), Qt::white);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: %2px; "
                                         "padding: %3px %4px; font-weight: 600; }")
                              .arg(Style::fillUnderWhite(Style::accent()).name())
                              .arg(shape.radius)
                              .arg(shape.paddingV)
                              .arg(shape.paddingH));
    button->setEnabled(true);
}
