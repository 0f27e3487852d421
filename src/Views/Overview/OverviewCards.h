#pragma once

#include "Views/Components/Card.h"
#include "Views/Overview/OverviewCardData.h"

#include <functional>

class AuditStore;
class QProgressBar;

// A row whose whole rectangle is one button: the findings list and the classes legend use it.
class ClickableRow : public QWidget {
    Q_OBJECT

public:
    explicit ClickableRow(std::function<void()> action, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::function<void()> m_action;
    bool m_pressed = false;
};

// "Findings": counts per severity, then the notable findings, each leading to the Findings screen.
// They come from a pass over the findings made on the pool (the screen hands the summary in);
// until the first lands the card is empty. While a pass runs, a busy indicator ends its header.
class FindingsCard : public Card {
    Q_OBJECT

public:
    explicit FindingsCard(AuditStore *store, QWidget *parent = nullptr);
    void refresh(const FindingsSummary &summary);
    void setDeriving(bool deriving);

private:
    AuditStore *m_store;
    QProgressBar *m_busy = nullptr;
};

// "Event classes": the first eight classes as a ring of sectors and a legend whose rows filter by
// their class.
class EventClassesCard : public Card {
    Q_OBJECT

public:
    explicit EventClassesCard(AuditStore *store, QWidget *parent = nullptr);
    void refresh();

private:
    AuditStore *m_store;
};

// Removes and deletes everything in a layout, nested layouts included.
void clearLayout(QLayout *layout);
