#pragma once

#include "Store/Screen.h"
#include "Views/ViewContext.h"

#include <QListWidget>
#include <QWidget>

class QLabel;
class QTimer;

// The window's left column: the ten screens in three sections with their counts, the live-capture
// dot, and the span of the loaded trails at the foot. Its selection is the store's screen.
class Sidebar : public QWidget {
    Q_OBJECT

public:
    enum Roles {
        screenRole = Qt::UserRole, // int of Screen; -1 on section headers
        badgeRole,                 // the count's text; empty: no badge
        badgeAlertRole,            // the count is drawn orange
        liveDotRole,               // the red dot of a running capture
        symbolRole,                // the row's symbol name
    };

    explicit Sidebar(const ViewContext &context, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }
    QListWidgetItem *item(Screen screen) const;
    // The footer's three lines, hidden while no span is known.
    QWidget *footer() const { return m_footer; }

    static constexpr int minimumWidth = 200;
    static constexpr int idealWidth = 220;
    static constexpr int maximumWidth = 280;

private:
    void updateBadges();
    void updateLiveDot();
    void updateFooter();
    void selectCurrentScreen();
    void rowChosen(int row);

    ViewContext m_context;
    QListWidget *m_list;
    QWidget *m_footer;
    QLabel *m_firstLabel;
    QLabel *m_lastLabel;
    QTimer *m_pulse;
    qreal m_pulsePhase = 0;
};
